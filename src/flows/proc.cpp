#include "flows/proc.h"

#include "util/posicoes.h"
#include "ws/enderecos.h"

#include <QRegularExpression>

using namespace Qt::StringLiterals;

namespace qel {

namespace {

QString nomeProtocolo(TipoDocumento tipo) {
    switch (tipo) {
    case TipoDocumento::NFe:
    case TipoDocumento::NFCe:
        return u"protNFe"_s;
    case TipoDocumento::CTe:
        return u"protCTe"_s;
    case TipoDocumento::MDFe:
        return u"protMDFe"_s;
    default:
        return {};
    }
}

QString namespaceDoTipo(TipoDocumento tipo) {
    switch (tipo) {
    case TipoDocumento::CTe:
        return kNsCTe;
    case TipoDocumento::MDFe:
        return kNsMDFe;
    default:
        return kNsNFe;
    }
}

QString conteudo(const QString& texto, const QString& elemento) {
    const QString abre = u'<' + elemento + u'>';
    const qsizetype inicio = texto.indexOf(abre);
    if (inicio < 0) return {};
    const qsizetype fim = texto.indexOf(u"</"_s + elemento + u'>', inicio);
    return fim < 0 ? QString() : texto.mid(inicio + abre.size(), fim - inicio - abre.size());
}

// The protocol with its start tag rewritten: the kind's namespace first and once, whatever the
// service sent (before or after versao, or none).
QString comNamespace(const QString& protocolo, const QString& nome, const QString& ns) {
    const qsizetype fimTag = protocolo.indexOf(u'>');
    if (fimTag < 0) return protocolo;
    QString atributos = protocolo.mid(nome.size() + 1, fimTag - nome.size() - 1);
    static const QRegularExpression declaracao(uR"(\s*xmlns\s*=\s*("[^"]*"|'[^']*'))"_s);
    atributos.remove(declaracao);
    return u'<' + nome + u" xmlns=\""_s + ns + u'"' + atributos + protocolo.mid(fimTag);
}

} // namespace

QString protocoloDaResposta(TipoDocumento tipo, const QString& resposta) {
    const QString nome = nomeProtocolo(tipo);
    if (nome.isEmpty()) return {};
    // The start tag is "<protNFe" followed by a blank or ">", never a longer name.
    for (qsizetype inicio = resposta.indexOf(u'<' + nome); inicio >= 0;
         inicio = resposta.indexOf(u'<' + nome, inicio + 1)) {
        const qsizetype posicao = inicio + nome.size() + 1;
        const QChar depois = posicao < resposta.size() ? resposta.at(posicao) : QChar();
        if (depois != u'>' && !depois.isSpace()) continue;
        const QString fecha = u"</"_s + nome + u'>';
        const qsizetype fim = resposta.indexOf(fecha, inicio);
        if (fim < 0) return {};
        return resposta.mid(inicio, fim + fecha.size() - inicio);
    }
    return {};
}

QString situacaoDoProtocolo(const QString& protocolo) {
    return conteudo(protocolo, u"cStat"_s);
}

bool protocoloDoDocumento(const QString& protocolo, const QString& documento) {
    const QString digVal = conteudo(protocolo, u"digVal"_s).trimmed();
    const QString digest = conteudo(documento, u"DigestValue"_s).trimmed();
    return digVal.isEmpty() || digest.isEmpty() || digVal == digest;
}

std::optional<QString> montaProc(TipoDocumento tipo, bool simplificado, const QString& documento,
                                 const QString& resposta) {
    const QString protocolo = protocoloDaResposta(tipo, resposta);
    if (protocolo.isEmpty() || documento.trimmed().isEmpty()) return std::nullopt;
    QString raiz;
    switch (tipo) {
    case TipoDocumento::NFe:
    case TipoDocumento::NFCe:
        raiz = u"nfeProc"_s;
        break;
    case TipoDocumento::CTe:
        // The official name of the simplified CT-e's proc (procCTeSimp_v4.00.xsd) is cteProcSimp.
        raiz = simplificado ? u"cteProcSimp"_s : u"cteProc"_s;
        break;
    case TipoDocumento::MDFe:
        raiz = u"mdfeProc"_s;
        break;
    default:
        return std::nullopt;
    }
    const QString ns = namespaceDoTipo(tipo);
    const QString versao = Copia(documento, Posicao(u"versao=\""_s, documento) + 8, 4);
    return u"<?xml version=\"1.0\" encoding=\"UTF-8\"?><"_s + raiz + u" xmlns=\""_s + ns + u"\" versao=\""_s +
           versao + u"\">"_s + documento + comNamespace(protocolo, nomeProtocolo(tipo), ns) + u"</"_s + raiz +
           u'>';
}

} // namespace qel
