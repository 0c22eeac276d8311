// Choosing the company certificate for the task run.

#include "flows/operacoes.h"
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

bool Operacoes::Selecionar_Certificado(UsoCertificado uso, bool comSeletor) {
    QString& campo = uso == UsoCertificado::Servico ? cfg_.Certificado_NFSe : cfg_.Certificado_DFe;
    const bool interativo = comSeletor && ctx_.Tarefa == u"Configurar"_s;
    if (interativo) campo.clear();
    // The root of the CNPJ as every certificate of the company names it, whatever punctuation
    // the task wrote the CNPJ with.
    if (campo.trimmed().isEmpty()) campo = RaizCnpj(ctx_.CNPJ);

    // A key or password others could have read is no longer the company's alone: nothing is
    // signed or sent with it until the store is private again.
    if (const QString indevido = recursos_.certificados.acessoIndevido(); !indevido.isEmpty()) {
        mensagem(indevido);
        return false;
    }

    QList<Certificado> achados;
    if (interativo) {
        const QList<Certificado> todos = recursos_.certificados.lista();
        QList<ResumoCertificado> resumos;
        for (const Certificado& c : todos)
            resumos.append({c.nomeSujeito(), c.nomeEmissor(), c.validoDe(), c.validoAte()});
        const std::optional<qsizetype> escolhido = ui_.escolheCertificado(resumos);
        if (!escolhido || *escolhido < 0 || *escolhido >= todos.size()) {
            mensagem(u"Erro ao selecionar certificado"_s);
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
        if (!texto.isEmpty()) achados = recursos_.certificados.busca(texto, agora());
    }
    if (achados.isEmpty()) {
        falhaSelecao();
        return false;
    }
    certificado_ = achados.first();
    campo = certificado_.nomeSujeito();
    certificadoPronto_ = true;
    return true;
}

void Operacoes::falhaSelecao() {
    if (ctx_.Tarefa.trimmed().toUpper() == u"VALIDADE DO CERTIFICADO (ARQUIVO)"_s) {
        ctx_.LbRetorno = QStringList{u"CNPJ "_s + ctx_.CNPJ, QString(),
                                     u"Não foi possível selecionar o Certificado Digital"_s};
        gravaRetorno();
        return;
    }
    mensagem(u"Não foi possível selecionar um certificado digital para o CNPJ "_s + ctx_.CNPJ);
}

} // namespace qel
