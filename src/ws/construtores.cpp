#include "ws/construtores.h"

#include "util/compactacao.h"
#include "util/numeros.h"
#include "util/posicoes.h"
#include "util/texto.h"
#include "ws/enderecos.h"

#include <QRegularExpression>

using namespace Qt::StringLiterals;

namespace qel {

namespace {

const QString kInicioId = u"Id=\""_s;

QString raiz(const QString& nome, const QString& ns, const QString& versao, const QString& conteudo) {
    return u'<' + nome + u" xmlns=\""_s + ns + u"\" versao=\""_s + versao + u"\">"_s + conteudo + u"</"_s +
           nome + u'>';
}

// The declaration cannot stand inside the lot or the envelope that will hold the document.
QString semDeclaracao(const QString& texto) {
    static const QRegularExpression declaracao(u"<\\?xml[^>]*\\?>"_s);
    QString limpo = texto;
    return limpo.remove(declaracao);
}

struct Assinado {
    QString texto;
    bool falhou = false;
};

Assinado assinaELimpa(const PedidoCorpo& p) {
    // A document kept signed from an earlier send goes out again exactly as it was signed.
    const QString assinado = p.jaAssinado ? p.documento : p.assina ? p.assina(p.documento) : QString();
    return {semDeclaracao(assinado), assinado.isEmpty()};
}

QString chaveDoId(const QString& texto, qsizetype deslocamento) {
    const qsizetype p = Posicao(kInicioId, texto);
    return p == 0 ? QString() : Copia(texto, p + deslocamento, 44);
}

QString antesDaAssinatura(const QString& texto, const QString& grupo) {
    const qsizetype p = texto.indexOf(u"<Signature"_s);
    QString resultado = texto;
    return resultado.insert(p < 0 ? 0 : p, grupo);
}

// infNFeSupl of an NFC-e: the QR code and the consultation address by key; empty when the
// contingency's QR signature could not be made.
QString grupoQrNfce(const PedidoCorpo& p, const QString& chave, const QString& assinado) {
    DadosQrNfce d;
    d.pagina = p.paginaQr;
    d.chave = chave;
    // The environment of the run: a homologation document must not point to production.
    d.tpAmb = codigo(p.ambiente);
    d.documento = leDocumentoQrNfce(assinado);
    d.versao = versaoQrDoDocumento(p.versaoQr, d.documento);
    d.idCsc = p.idToken;
    d.csc = p.token;
    const QString qr = textoQrNfce(d, p.assinaQr);
    if (qr.isEmpty()) return {};
    const QString urlChave = p.paginaChave.isEmpty() ? p.paginaQr : p.paginaChave;
    return u"<infNFeSupl><qrCode><![CDATA["_s + qr + u"]]></qrCode><urlChave>"_s + escapaXml(urlChave) +
           u"</urlChave></infNFeSupl>"_s;
}

CorpoConstruido autorizacaoNFe(const PedidoCorpo& p) {
    CorpoConstruido c;
    c.autorizacao = true;
    const Assinado a = assinaELimpa(p);
    c.assinaturaFalhou = a.falhou;
    QString texto = a.texto;
    QString chave = p.chave;
    if (const QString doId = chaveDoId(texto, 7); !doId.isEmpty()) chave = doId;
    c.chave = chave;
    if (p.tipo == TipoDocumento::NFCe && !c.assinaturaFalhou && !texto.contains(u"<infNFeSupl>"_s)) {
        // Made from the signed text: the contingency's QR code carries its digest (version 2) or
        // a signature of its own (version 3), and infNFeSupl stays outside the signed infNFe.
        const QString grupo = grupoQrNfce(p, chave, texto);
        if (grupo.isEmpty()) c.assinaturaFalhou = true;
        texto = antesDaAssinatura(texto, grupo);
    }
    // The document as it goes out, QR group included: the NFC-e is stored and printed with it.
    c.documento = texto;
    const QString lote = u"1"_s + Copia(chave, 36, 8);
    c.corpo = raiz(u"enviNFe"_s, kNsNFe, p.versao,
                   elementoXml(u"idLote"_s, lote) +
                       elementoXml(u"indSinc"_s, p.tipo == TipoDocumento::NFCe ? u"1"_s : u"0"_s) + texto);
    return c;
}

CorpoConstruido autorizacaoCTeMDFe(const PedidoCorpo& p) {
    CorpoConstruido c;
    c.autorizacao = true;
    const bool mdfe = p.tipo == TipoDocumento::MDFe;
    const Assinado a = assinaELimpa(p);
    c.assinaturaFalhou = a.falhou;
    QString chave = p.chave;
    if (const QString doId = chaveDoId(a.texto, mdfe ? 8 : 7); !doId.isEmpty()) chave = doId;
    c.chave = chave;
    const QString grupo = mdfe ? u"<infMDFeSupl><qrCodMDFe><![CDATA["_s + p.paginaQr + u"?chMDFe="_s + chave +
                                     u"&tpAmb="_s + codigo(p.ambiente) + u"]]></qrCodMDFe></infMDFeSupl>"_s
                               : u"<infCTeSupl><qrCodCTe><![CDATA["_s + p.paginaQr + u"?chCTe="_s + chave +
                                     u"&tpAmb="_s + codigo(p.ambiente) + u"]]></qrCodCTe></infCTeSupl>"_s;
    const bool temGrupo = a.texto.contains(mdfe ? u"<infMDFeSupl>"_s : u"<infCTeSupl>"_s);
    const QString texto = temGrupo ? a.texto : antesDaAssinatura(a.texto, grupo);
    c.documento = texto;
    // The document goes out as UTF-8 inside the gzip member: that is what its declaration and
    // the authority expect (code page 1252 would break every accented name).
    c.corpo = Compacta(texto.toUtf8());
    return c;
}

// A ready-made signed document that is the body itself (or goes inside a lot).
CorpoConstruido assinadoComoCorpo(const PedidoCorpo& p,
                                  const std::function<QString(const QString&)>& envolve) {
    CorpoConstruido c;
    const Assinado a = assinaELimpa(p);
    c.assinaturaFalhou = a.falhou;
    c.documento = a.texto;
    c.corpo = envolve ? envolve(a.texto) : a.texto;
    return c;
}

CorpoConstruido corpoNFe(const PedidoCorpo& p) {
    const Servico s = p.servico;
    const QString tpAmb = codigo(p.ambiente);
    CorpoConstruido c;
    if (s == Servico::Status)
        c.corpo = raiz(u"consStatServ"_s, kNsNFe, p.versao,
                       elementoXml(u"tpAmb"_s, tpAmb) + elementoXml(u"cUF"_s, p.cUF) +
                           elementoXml(u"xServ"_s, u"STATUS"_s));
    else if (s == Servico::Consultar)
        c.corpo = raiz(u"consSitNFe"_s, kNsNFe, p.versao,
                       elementoXml(u"tpAmb"_s, tpAmb) + elementoXml(u"xServ"_s, u"CONSULTAR"_s) +
                           elementoXml(u"chNFe"_s, p.chave));
    else if (s == Servico::Download) {
        // The document asked for is the task's key; the author's state is the company's (the
        // run's state code), the national service answers for any.
        const QString autor = p.cUF.size() == 2 ? p.cUF : u"43"_s;
        c.corpo = raiz(u"distDFeInt"_s, kNsNFe, u"1.01"_s,
                       elementoXml(u"tpAmb"_s, tpAmb) + elementoXml(u"cUFAutor"_s, autor) +
                           elementoXml(u"CNPJ"_s, CnpjSemPontuacao(p.cnpj)) + u"<consChNFe>"_s +
                           elementoXml(u"chNFe"_s, p.chave) + u"</consChNFe>"_s);
    } else if (s == Servico::Inutilizar)
        return assinadoComoCorpo(p, {});
    else if (s == Servico::RetRecepcao)
        c.corpo = raiz(u"consReciNFe"_s, kNsNFe, p.versao,
                       elementoXml(u"tpAmb"_s, tpAmb) + elementoXml(u"nRec"_s, p.chave));
    else if (s == Servico::Evento)
        return assinadoComoCorpo(p, [&](const QString& evento) {
            return raiz(u"envEvento"_s, kNsNFe, p.versao, elementoXml(u"idLote"_s, u"1"_s) + evento);
        });
    else if (s == Servico::Recepcao)
        return autorizacaoNFe(p);
    return c;
}

CorpoConstruido corpoCTe(const PedidoCorpo& p) {
    const Servico s = p.servico;
    const QString tpAmb = codigo(p.ambiente);
    const QString v = u"4.00"_s;
    CorpoConstruido c;
    if (s == Servico::Status)
        c.corpo = raiz(u"consStatServCTe"_s, kNsCTe, v,
                       elementoXml(u"tpAmb"_s, tpAmb) + elementoXml(u"cUF"_s, p.cUF) +
                           elementoXml(u"xServ"_s, u"STATUS"_s));
    else if (s == Servico::Consultar)
        c.corpo = raiz(u"consSitCTe"_s, kNsCTe, v,
                       elementoXml(u"tpAmb"_s, tpAmb) + elementoXml(u"xServ"_s, u"CONSULTAR"_s) +
                           elementoXml(u"chCTe"_s, p.chave));
    else if (s == Servico::RetRecepcao)
        c.corpo = raiz(u"consReciCTe"_s, kNsCTe, v,
                       elementoXml(u"tpAmb"_s, tpAmb) + elementoXml(u"nRec"_s, p.chave));
    else if (s == Servico::Inutilizar || s == Servico::Evento)
        return assinadoComoCorpo(p, {});
    else if (s == Servico::Recepcao || s == Servico::Simplificado)
        return autorizacaoCTeMDFe(p);
    return c;
}

CorpoConstruido corpoMDFe(const PedidoCorpo& p) {
    const Servico s = p.servico;
    const QString tpAmb = codigo(p.ambiente);
    CorpoConstruido c;
    if (s == Servico::Status)
        c.corpo = raiz(u"consStatServMDFe"_s, kNsMDFe, p.versao,
                       elementoXml(u"tpAmb"_s, tpAmb) + elementoXml(u"xServ"_s, u"STATUS"_s));
    else if (s == Servico::Consultar)
        c.corpo = raiz(u"consSitMDFe"_s, kNsMDFe, p.versao,
                       elementoXml(u"tpAmb"_s, tpAmb) + elementoXml(u"xServ"_s, u"CONSULTAR"_s) +
                           elementoXml(u"chMDFe"_s, p.chave));
    else if (s == Servico::NaoEncerrados)
        c.corpo =
            raiz(u"consMDFeNaoEnc"_s, kNsMDFe, p.versao,
                 elementoXml(u"tpAmb"_s, tpAmb) + elementoXml(u"xServ"_s, u"CONSULTAR NÃO ENCERRADOS"_s) +
                     elementoXml(u"CNPJ"_s, CnpjSemPontuacao(p.cnpj)));
    else if (s == Servico::Recepcao)
        return autorizacaoCTeMDFe(p);
    else if (s == Servico::Evento)
        return assinadoComoCorpo(p, {});
    return c;
}

// The registry is asked by CNPJ (14 characters, letters too since the alphanumeric CNPJ), CPF
// (11 digits) or state registration (anything else).
QString documentoConsultado(const QString& documento) {
    const QString d = documento.trimmed();
    const bool numeros = std::all_of(d.begin(), d.end(), [](QChar c) { return c.isDigit(); });
    if (FormaDeCnpj(d)) return elementoXml(u"CNPJ"_s, d);
    if (numeros && d.size() == 11) return elementoXml(u"CPF"_s, d);
    return elementoXml(u"IE"_s, d);
}

} // namespace

QString escapaXml(const QString& valor) {
    return valor.toHtmlEscaped();
}

QString elementoXml(const QString& nome, const QString& valor) {
    return u'<' + nome + u'>' + escapaXml(valor) + u"</"_s + nome + u'>';
}

CorpoConstruido constroiCorpo(const PedidoCorpo& pedido) {
    PedidoCorpo p = pedido;
    if (p.servico == Servico::Status || p.servico == Servico::Consultar || p.servico == Servico::Cadastro ||
        p.servico == Servico::Download)
        p.documento.clear();
    if (p.servico == Servico::Cadastro) {
        CorpoConstruido c;
        c.tipo = TipoDocumento::NFe;
        c.corpo = raiz(u"ConsCad"_s, kNsNFe, u"2.00"_s,
                       u"<infCons>"_s + elementoXml(u"xServ"_s, u"CONS-CAD"_s) +
                           elementoXml(u"UF"_s, p.ufConsulta) + documentoConsultado(p.docConsulta) +
                           u"</infCons>"_s);
        return c;
    }
    switch (p.tipo) {
    case TipoDocumento::NFe:
    case TipoDocumento::NFCe:
        return corpoNFe(p);
    case TipoDocumento::CTe:
        return corpoCTe(p);
    case TipoDocumento::MDFe:
        return corpoMDFe(p);
    default:
        return {};
    }
    return {};
}

} // namespace qel
