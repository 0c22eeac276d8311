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

} // namespace

QString elementoCompleto(const QString& texto, const QString& nome, qsizetype desde, qsizetype* fim) {
    if (nome.isEmpty()) return {};
    const QString abre = u'<' + nome;
    for (qsizetype inicio = texto.indexOf(abre, desde); inicio >= 0;
         inicio = texto.indexOf(abre, inicio + 1)) {
        const qsizetype posicao = inicio + abre.size();
        const QChar depois = posicao < texto.size() ? texto.at(posicao) : QChar();
        if (depois != u'>' && !depois.isSpace()) continue;
        const QString fecha = u"</"_s + nome + u'>';
        const qsizetype final = texto.indexOf(fecha, inicio);
        if (final < 0) return {};
        if (fim) *fim = final + fecha.size();
        return texto.mid(inicio, final + fecha.size() - inicio);
    }
    return {};
}

QString comNamespace(const QString& elemento, const QString& nome, const QString& ns) {
    const qsizetype fimTag = elemento.indexOf(u'>');
    if (fimTag < 0) return elemento;
    QString atributos = elemento.mid(nome.size() + 1, fimTag - nome.size() - 1);
    static const QRegularExpression declaracao(uR"(\s*xmlns\s*=\s*("[^"]*"|'[^']*'))"_s);
    atributos.remove(declaracao);
    return u'<' + nome + u" xmlns=\""_s + ns + u'"' + atributos + elemento.mid(fimTag);
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

QString primeiroDocZip(const QString& resposta) {
    const QString elemento = elementoCompleto(resposta, u"docZip"_s);
    const qsizetype inicio = elemento.indexOf(u'>');
    if (elemento.isEmpty() || inicio < 0) return {};
    return elemento.mid(inicio + 1, elemento.size() - inicio - 1 - QStringLiteral("</docZip>").size());
}

QString valorElemento(const QString& texto, const QString& nome) {
    const QString abre = u'<' + nome + u'>';
    const qsizetype inicio = texto.indexOf(abre);
    if (inicio < 0) return {};
    const qsizetype fim = texto.indexOf(u"</"_s + nome + u'>', inicio);
    return fim < 0 ? QString() : texto.mid(inicio + abre.size(), fim - inicio - abre.size());
}

QString versaoDe(const QString& documento) {
    return Copia(documento, Posicao(u"versao=\""_s, documento) + 8, 4);
}

QString protocoloDaResposta(TipoDocumento tipo, const QString& resposta) {
    return elementoCompleto(resposta, nomeProtocolo(tipo));
}

QString chaveDoProtocolo(const QString& protocolo) {
    for (const QString& nome : {u"chNFe"_s, u"chCTe"_s, u"chMDFe"_s})
        if (const QString chave = valorElemento(protocolo, nome).trimmed(); !chave.isEmpty()) return chave;
    return {};
}

bool protocoloDaChave(const QString& protocolo, const QString& documento) {
    const QString chave = chaveDoProtocolo(protocolo);
    if (chave.size() != 44) return false;
    for (const QString& prefixo : {u"NFe"_s, u"CTe"_s, u"MDFe"_s})
        if (documento.contains(u"Id=\""_s + prefixo + chave + u'"')) return true;
    return false;
}

QString situacaoDoProtocolo(const QString& protocolo) {
    return valorElemento(protocolo, u"cStat"_s);
}

bool protocoloDoDocumento(const QString& protocolo, const QString& documento) {
    const QString digVal = valorElemento(protocolo, u"digVal"_s).trimmed();
    const QString digest = valorElemento(documento, u"DigestValue"_s).trimmed();
    return digVal.isEmpty() || digest.isEmpty() || digVal == digest;
}

QString montaRaiz(const QString& raiz, TipoDocumento tipo, const QString& documento, const QString& resposta,
                  const QString& nomeResposta) {
    const QString ns = namespaceDoTipo(tipo);
    return QString::fromUtf16(kDeclaracaoXml) + u'<' + raiz + u" xmlns=\""_s + ns + u"\" versao=\""_s +
           versaoDe(documento) + u"\">"_s + documento + comNamespace(resposta, nomeResposta, ns) + u"</"_s +
           raiz + u'>';
}

std::optional<QString> montaProc(TipoDocumento tipo, bool simplificado, const QString& documento,
                                 const QString& resposta) {
    const QString protocolo = protocoloDaResposta(tipo, resposta);
    if (protocolo.isEmpty() || documento.trimmed().isEmpty()) return std::nullopt;
    // The last guard before the archive: a proc whose protocol names another key would pass for
    // the authorisation of a document that has none.
    if (!protocoloDaChave(protocolo, documento)) return std::nullopt;
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
    return montaRaiz(raiz, tipo, documento, protocolo, nomeProtocolo(tipo));
}

} // namespace qel
