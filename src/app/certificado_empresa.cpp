// Choosing the company certificate for the task run.

#include "app/execucao.h"
#include "util/posicoes.h"
#include "util/texto.h"

using namespace Qt::StringLiterals;

namespace qel {

namespace {

// The subject text a remembered identity is searched by: the value of its leading "CN=" part.
QString textoBusca(const QString& campo) {
    const qsizetype virgula = Posicao(u","_s, campo);
    return Copia(campo, 4, virgula - 4);
}

} // namespace

bool ExecucaoTarefa::Selecionar_Certificado(const QString& Mostrar) {
    QString& campo = Copia(Mostrar, 2, 3) == u"NFS"_s ? cfg_.Certificado_NFSe : cfg_.Certificado_DFe;
    const bool interativo = Mostrar.startsWith(u'S') && ctx_.Tarefa == u"Configurar"_s;
    if (interativo) campo.clear();
    if (campo.trimmed().isEmpty()) campo = Copia(ctx_.CNPJ, 1, 8);

    QList<Certificado> achados;
    if (interativo) {
        const QList<Certificado> todos = repositorio_.lista();
        QList<ResumoCertificado> resumos;
        for (const Certificado& c : todos)
            resumos.append({c.nomeSujeito(), c.nomeEmissor(), c.validoDe(), c.validoAte()});
        const std::optional<qsizetype> escolhido = ui_.escolheCertificado(resumos);
        if (!escolhido || *escolhido < 0 || *escolhido >= todos.size()) {
            Mostra_Mensagem(u"Mensagem"_s, QString(), QString(), u"Erro ao selecionar certificado"_s);
            return false;
        }
        achados.append(todos.at(*escolhido));
    } else {
        // A field without a subject (the CNPJ root after "Automatico", or the root filled in
        // for a blank field) gives no subject text. Searching for nothing would take whichever
        // certificate comes first, maybe another company's: the root itself is searched, which
        // the subject of an e-CNPJ certificate holds.
        QString texto = textoBusca(campo);
        if (texto.trimmed().isEmpty()) texto = campo.trimmed();
        if (!texto.isEmpty()) achados = repositorio_.busca(texto, relogio_());
    }
    if (achados.isEmpty()) {
        falhaSelecao();
        return false;
    }
    certificado_ = achados.first();
    campo = certificado_.nomeSujeito();
    certificadoPronto_ = u"OK"_s;
    return true;
}

void ExecucaoTarefa::falhaSelecao() {
    if (ctx_.Tarefa.trimmed().toUpper() == u"VALIDADE DO CERTIFICADO (ARQUIVO)"_s) {
        ctx_.LbRetorno = QStringList{u"CNPJ "_s + ctx_.CNPJ, QString(),
                                     u"Não foi possível selecionar o Certificado Digital"_s};
        Salva_Arquivo(ctx_.PastaLocal + u"Retorno_DFe.Qel"_s, ctx_.LbRetorno);
        return;
    }
    Mostra_Mensagem(u"Mensagem"_s, QString(), QString(),
                    u"Não foi possível selecionar um certificado digital para o CNPJ "_s + ctx_.CNPJ);
}

} // namespace qel
