#include "flows/diario_envio.h"

#include "flows/arquivo_documentos.h"
#include "util/arquivos.h"
#include "util/erros.h"

#include <QDir>
#include <QFile>
#include <algorithm>

using namespace Qt::StringLiterals;

namespace qel {

namespace {

// One "KEY value" line per field, in UTF-8; the signed document last, on its own line.
QByteArray escreve(const Pendente& p) {
    QString saida;
    const auto linha = [&](const char16_t* chave, const QString& valor) {
        saida += QString::fromUtf16(chave) + u' ' + valor + u'\n';
    };
    linha(u"CHAVE", p.chave);
    linha(u"TIPO", texto(p.tipo));
    linha(u"CNPJ", p.cnpj);
    linha(u"TAREFA", p.tarefa);
    linha(u"ARQUIVO", p.arquivo);
    linha(u"RECIBO", p.recibo);
    if (!p.operacao.isEmpty()) linha(u"OPERACAO", p.operacao);
    linha(u"ENVIADO", p.enviado.toUTC().toString(Qt::ISODate));
    linha(u"SITUACAO", p.situacao);
    if (!p.contingencia.isEmpty()) linha(u"CONTINGENCIA", p.contingencia);
    if (!p.transmitido) linha(u"TRANSMITIDO", u"NAO"_s);
    linha(u"DOCUMENTO", p.assinado);
    return saida.toUtf8();
}

std::optional<Pendente> le(const QString& caminho) {
    QFile arquivo(caminho);
    if (!arquivo.open(QIODevice::ReadOnly)) return std::nullopt;
    Pendente p;
    for (const QByteArray& bruta : arquivo.readAll().split('\n')) {
        const QString linha = QString::fromUtf8(bruta);
        const qsizetype espaco = linha.indexOf(u' ');
        const QString chave = espaco < 0 ? linha : linha.left(espaco);
        const QString valor = espaco < 0 ? QString() : linha.mid(espaco + 1);
        if (chave == u"CHAVE"_s)
            p.chave = valor;
        else if (chave == u"TIPO"_s)
            p.tipo = tipoDocumento(valor);
        else if (chave == u"CNPJ"_s)
            p.cnpj = valor;
        else if (chave == u"TAREFA"_s)
            p.tarefa = valor;
        else if (chave == u"ARQUIVO"_s)
            p.arquivo = valor;
        else if (chave == u"RECIBO"_s)
            p.recibo = valor;
        else if (chave == u"OPERACAO"_s)
            p.operacao = valor;
        else if (chave == u"ENVIADO"_s)
            p.enviado = QDateTime::fromString(valor, Qt::ISODate);
        else if (chave == u"SITUACAO"_s)
            p.situacao = valor;
        else if (chave == u"CONTINGENCIA"_s)
            p.contingencia = valor;
        else if (chave == u"TRANSMITIDO"_s)
            p.transmitido = valor != u"NAO"_s;
        else if (chave == u"DOCUMENTO"_s)
            p.assinado = valor;
    }
    // An entry without its document or key is no entry (it cannot be half written, but a hand
    // may have touched it).
    if (p.chave.isEmpty() || p.assinado.isEmpty() || p.tipo == TipoDocumento::Nenhum) return std::nullopt;
    return p;
}

} // namespace

QString DiarioEnvio::pasta(const QString& cnpj) const {
    return ArquivoDocumentos(pastaTrabalho_).pastaEmpresa(cnpj) + u"Pendentes/"_s;
}

QString DiarioEnvio::arquivoDe(const QString& cnpj, const QString& chave) const {
    return pasta(cnpj) + chave + u".pendente"_s;
}

bool DiarioEnvio::registra(const Pendente& pendente) const {
    const QString caminho = arquivoDe(pendente.cnpj, pendente.chave);
    try {
        Prepara_Pasta(caminho, u"N"_s);
    } catch (const ErroInesperado&) {
        return false;
    }
    return gravaBytes(caminho, escreve(pendente));
}

std::optional<Pendente> DiarioEnvio::procura(const QString& cnpj, const QString& chave) const {
    const QString caminho = arquivoDe(cnpj, chave);
    if (!existeArquivo(caminho)) return std::nullopt;
    return le(localizaCaminho(caminho));
}

QList<Pendente> DiarioEnvio::daEmpresa(const QString& cnpj) const {
    QList<Pendente> pendentes;
    const QString local = localizaCaminho(pasta(cnpj));
    for (const QString& nome : listaPorPadrao(local, u"*.pendente"_s))
        if (const std::optional<Pendente> p = le(local + nome)) pendentes.append(*p);
    std::sort(pendentes.begin(), pendentes.end(),
              [](const Pendente& a, const Pendente& b) { return a.enviado < b.enviado; });
    return pendentes;
}

QList<Pendente> DiarioEnvio::aTransmitir(const QString& cnpj) const {
    QList<Pendente> pendentes = daEmpresa(cnpj);
    pendentes.removeIf([](const Pendente& p) { return p.transmitido; });
    return pendentes;
}

void DiarioEnvio::encerra(const QString& cnpj, const QString& chave) const {
    apagaArquivo(arquivoDe(cnpj, chave));
}

} // namespace qel
