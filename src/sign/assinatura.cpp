#include "sign/assinatura.h"

#include "util/arquivos.h"
#include "util/posicoes.h"
#include "util/tabelas.h"

#include <QCryptographicHash>
#include <QStringList>
#include <libxml/c14n.h>
#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/valid.h>
#include <libxml/xmlerror.h>
#include <mutex>
#include <openssl/evp.h>
#include <xmlsec/base64.h>
#include <xmlsec/crypto.h>
#include <xmlsec/errors.h>
#include <xmlsec/nodeset.h>
#include <xmlsec/openssl/evp.h>
#include <xmlsec/transforms.h>
#include <xmlsec/xmlsec.h>

using namespace Qt::StringLiterals;

namespace qel {

namespace {

const QString kInicioId = u"Id=\""_s;

// Which of the tag markers ("<" and a name) a text holds, found in one pass over its "<"
// characters instead of one search of the whole text per marker.
class Marcas {
public:
    explicit Marcas(const QString& texto) : texto_(texto) {
        const QList<QList<QString>>& porLetra = porPrimeiraLetra();
        const auto* dados = reinterpret_cast<const char16_t*>(texto.utf16());
        const qsizetype n = texto.size();
        for (qsizetype p = 0; p + 1 < n; ++p) {
            if (dados[p] != u'<' || dados[p + 1] >= 128) continue;
            const QStringView resto(dados + p, n - p);
            for (const QString& m : porLetra.at(dados[p + 1]))
                if (resto.startsWith(m) && !presentes_.contains(m)) presentes_.append(m);
        }
    }
    // A marker that begins with "<" is looked up; any other text is searched in the text given.
    bool tem(QStringView marca, const QString& texto) const {
        if (marca.startsWith(u'<')) {
            Q_ASSERT(conhecidas().contains(marca));
            for (const QString& m : presentes_)
                if (m == marca) return true;
            return false;
        }
        return texto.contains(marca);
    }
    bool tem(QStringView marca) const { return tem(marca, texto_); }

private:
    static const QStringList& conhecidas() {
        static const QStringList todas{u"<infMDFe"_s,
                                       u"<infOT"_s,
                                       u"<infCancOT"_s,
                                       u"<infPgtoOT"_s,
                                       u"<infConsultaResumoOT"_s,
                                       u"<consultarRoteirizador_envio"_s,
                                       u"<pagamentoImediatoOT_envio"_s,
                                       u"<operacaoValePedagio_envio"_s,
                                       u"<infCte"_s,
                                       u"<infNFe"_s,
                                       u"<eventoCTe"_s,
                                       u"<eventoMDFe"_s,
                                       u"<evento"_s,
                                       u"<infEvento"_s,
                                       u"<inutCTe"_s,
                                       u"<inutNFe"_s,
                                       u"<xmlProcessamentoNfpse"_s,
                                       u"<SubstituirNfseEnvio"_s,
                                       u"<LoteRps"_s,
                                       u"<tcDeclaracaoPrestacaoServico"_s,
                                       u"<Pedido"_s,
                                       u"<Rps"_s,
                                       u"<nfse"_s,
                                       u"<CTeSimp"_s,
                                       u"<CTe"_s};
        return todas;
    }
    // The markers by the letter that follows "<".
    static const QList<QList<QString>>& porPrimeiraLetra() {
        static const QList<QList<QString>> tabela = [] {
            QList<QList<QString>> t(128);
            for (const QString& m : conhecidas())
                t[m.at(1).unicode()].append(m);
            return t;
        }();
        return tabela;
    }

    const QString& texto_;
    QStringList presentes_;
};

// The characters right behind the first Id attribute of the text.
QString idComprimento(const QString& texto, qsizetype comprimento) {
    const qsizetype p = Posicao(kInicioId, texto);
    return p == 0 ? QString() : Copia(texto, p + 4, comprimento);
}

// From right behind the first Id attribute up to the first occurrence of the marker.
QString idAte(const QString& texto, const QString& marca) {
    const qsizetype p = Posicao(kInicioId, texto);
    const qsizetype m = Posicao(marca, texto);
    if (p == 0 || m == 0) return {};
    return Copia(texto, p + 4, m - (p + 4));
}

bool municipioComPedido(const QString& codigoMunicipio) {
    static const QStringList municipios{u"Arroio do Meio"_s, u"Cruzeiro do Sul"_s, u"Marques de Souza"_s,
                                        u"Encantado"_s};
    return municipios.contains(Nome_Municipio(codigoMunicipio));
}

QString modelo(const QString& idReferencia) {
    return u"<Signature xmlns=\"http://www.w3.org/2000/09/xmldsig#\"><SignedInfo>"
           "<CanonicalizationMethod Algorithm=\"http://www.w3.org/TR/2001/REC-xml-c14n-20010315\"/>"
           "<SignatureMethod Algorithm=\"http://www.w3.org/2000/09/xmldsig#rsa-sha1\"/>"
           "<Reference URI=\"#"_s +
           idReferencia +
           u"\"><Transforms><Transform Algorithm=\"http://www.w3.org/2000/09/xmldsig#enveloped-signature\"/>"
           "<Transform Algorithm=\"http://www.w3.org/TR/2001/REC-xml-c14n-20010315\"/></Transforms>"
           "<DigestMethod Algorithm=\"http://www.w3.org/2000/09/xmldsig#sha1\"/><DigestValue></DigestValue>"
           "</Reference></SignedInfo><SignatureValue></SignatureValue></Signature>"_s;
}

// The closing sequence whose "</Signature>" receives KeyInfo; empty when nothing is inserted.
// The tag markers of the signed text are those of the text before signing (the signature adds
// none of them); markers without "<" are searched in the signed text itself.
QString sequenciaFechamento(const QString& texto, const Marcas& marcas, const QString& codigoMunicipio) {
    const auto tem = [&](const char16_t* marca) { return marcas.tem(QStringView(marca), texto); };
    static const std::pair<const char16_t*, const char16_t*> linhas[] = {
        {u"<CTeSimp", u"</Signature></CTeSimp>"},
        {u"<CTe", u"</Signature></CTe>"},
        {u"<eventoCTe", u"</Signature></eventoCTe>"},
        {u"<eventoMDFe", u"</Signature></eventoMDFe>"},
        {u"<evento", u"</Signature></evento>"},
        {u"infMDFe", u"</Signature></MDFe>"},
        {u"<infEvento", u"</Signature></infEvento>"},
        {u"inutCTe", u"</Signature></inutCTe>"},
        {u"inutNFe", u"</Signature></inutNFe>"},
        {u"infNFe", u"</Signature></NFe>"},
        {u"infOT", u"</Signature></OT>"},
        {u"<infCancOT", u"</Signature></cancelarOT_envio>"},
        {u"<infPgtoOT", u"</Signature></pagamentoImediatoOT_envio>"},
        {u"<consultarRoteirizador_envio", u"</Signature></consultarRoteirizador_envio>"},
        {u"<pagamentoImediatoOT_envio", u"</Signature></pagamentoImediatoOT_envio>"},
        {u"<operacaoValePedagio_envio", u"</Signature></operacaoValePedagio_envio>"},
        {u"infConsultaResumoOT", u"</Signature></consultarStatusOT_envio>"},
        {u"<nfse", u"</Signature></nfse>"},
        {u"tcDeclaracaoPrestacaoServico", u"</Signature></tcDeclaracaoPrestacaoServico>"},
    };
    for (const auto& [marca, sequencia] : linhas)
        if (tem(marca)) return QString::fromUtf16(sequencia);
    if (tem(u"LoteRps")) {
        if (tem(u"EnviarLoteRpsEnvio")) return u"</Signature></EnviarLoteRpsEnvio>"_s;
        if (tem(u"RecepcionarLoteRps")) return u"</Signature></RecepcionarLoteRps>"_s;
        return {};
    }
    if (tem(u"<Rps")) return u"</Signature></ListaRps>"_s;
    if (tem(u"Pedido"))
        return municipioComPedido(codigoMunicipio) ? u"</Signature></Pedido>"_s
                                                   : u"</Signature></CancelarNfseEnvio>"_s;
    return {};
}

// xmlsec and libxml2 are set up once per process.
void iniciaXmlsec() {
    static std::once_flag uma;
    std::call_once(uma, [] {
        carregaProvedoresOpenSsl();
        xmlInitParser();
        xmlSecInit();
        xmlSecCryptoAppInit(nullptr);
        xmlSecCryptoInit();
        // One-line Base64 values: the text that is sent is one line.
        xmlSecBase64SetDefaultLineSize(0);
        // Errors are reported to the user through the result, not printed.
        xmlSecErrorsSetCallback(
            [](const char*, int, const char*, const char*, const char*, int, const char*) {});
    });
}

QString ultimoErroXml() {
    const xmlError* erro = xmlGetLastError();
    if (!erro || !erro->message) return u"documento XML inválido"_s;
    return QString::fromUtf8(erro->message).trimmed();
}

xmlNodePtr filhoAssinatura(xmlNodePtr raiz) {
    for (xmlNodePtr filho = raiz ? raiz->children : nullptr; filho; filho = filho->next)
        if (filho->type == XML_ELEMENT_NODE && xmlStrEqual(filho->name, BAD_CAST "Signature")) return filho;
    return nullptr;
}

// Id attributes are what the Reference points to: registered on every element that has one.
void registraIds(xmlDocPtr doc, xmlNodePtr no) {
    for (; no; no = no->next) {
        if (no->type != XML_ELEMENT_NODE) continue;
        if (xmlAttrPtr id = xmlHasProp(no, BAD_CAST "Id"); id && id->children) {
            xmlChar* valor = xmlNodeListGetString(doc, id->children, 1);
            if (valor && !xmlGetID(doc, valor)) xmlAddID(nullptr, doc, valor, id);
            xmlFree(valor);
        }
        registraIds(doc, no->children);
    }
}

// The certificate's private key as xmlsec holds it (the context that signs owns and frees it).
// The key itself is shared, not copied: a copy would set up its blinding and Montgomery values
// again for each signature, which costs about as much as the signature.
xmlSecKeyPtr chaveXmlsec(const Certificado& certificado) {
    EVP_PKEY* chavePrivada = certificado.chavePrivada();
    if (!chavePrivada || EVP_PKEY_up_ref(chavePrivada) != 1) return nullptr;
    xmlSecKeyDataPtr dados = xmlSecOpenSSLEvpKeyAdopt(chavePrivada);
    if (!dados) {
        EVP_PKEY_free(chavePrivada);
        return nullptr;
    }
    xmlSecKeyPtr chave = xmlSecKeyCreate();
    if (!chave || xmlSecKeySetValue(chave, dados) < 0) {
        xmlSecKeyDataDestroy(dados);
        if (chave) xmlSecKeyDestroy(chave);
        return nullptr;
    }
    return chave;
}

struct Valores {
    QString digest;
    QString assinatura;
    QString erro;
};

// The enveloped-signature transform followed by inclusive Canonical XML 1.0: the referenced
// element and everything in it, less the Signature element and what it holds.
struct Visibilidade {
    xmlNodePtr referenciado;
    xmlNodePtr assinatura;
};

int visivel(void* dados, xmlNodePtr no, xmlNodePtr pai) {
    const auto* v = static_cast<const Visibilidade*>(dados);
    for (xmlNodePtr p = no->type == XML_NAMESPACE_DECL ? pai : no; p; p = p->parent) {
        if (p == v->assinatura) return 0;
        if (p == v->referenciado) return 1;
    }
    return 0;
}

xmlNodePtr filhoElemento(xmlNodePtr no, const char* nome) {
    for (xmlNodePtr filho = no ? no->children : nullptr; filho; filho = filho->next) {
        if (filho->type != XML_ELEMENT_NODE) continue;
        if (xmlStrEqual(filho->name, BAD_CAST nome)) return filho;
        if (xmlNodePtr achado = filhoElemento(filho, nome)) return achado;
    }
    return nullptr;
}

// The digest of the referenced element, with libxml2's canonicalisation and SHA-1. It is
// computed here rather than through xmlsec's reference processing, whose general node sets
// cost about as much as the RSA operation itself on a document of ordinary size.
QString digestReferencia(xmlDocPtr doc, xmlNodePtr referenciado, xmlNodePtr assinatura) {
    xmlOutputBufferPtr saida = xmlAllocOutputBuffer(nullptr);
    Visibilidade v{referenciado, assinatura};
    const int r = xmlC14NExecute(doc, visivel, &v, XML_C14N_1_0, nullptr, 0, saida);
    QByteArray digest;
    if (r >= 0) {
        const auto* dados = reinterpret_cast<const char*>(xmlOutputBufferGetContent(saida));
        digest = QCryptographicHash::hash(
            QByteArrayView(dados, static_cast<qsizetype>(xmlOutputBufferGetSize(saida))),
            QCryptographicHash::Sha1);
    }
    xmlOutputBufferClose(saida);
    return QString::fromLatin1(digest.toBase64());
}

// The signature value: xmlsec canonicalises SignedInfo and signs it with RSA-SHA1.
QString valorAssinatura(xmlDocPtr doc, xmlNodePtr signedInfo, const Certificado& certificado) {
    xmlSecKeyPtr chave = chaveXmlsec(certificado);
    if (!chave) return {};
    xmlSecTransformCtxPtr ctx = xmlSecTransformCtxCreate();
    QString valor;
    xmlSecTransformPtr rsa = nullptr;
    if (ctx && xmlSecTransformCtxCreateAndAppend(ctx, xmlSecTransformInclC14NId) &&
        (rsa = xmlSecTransformCtxCreateAndAppend(ctx, xmlSecTransformRsaSha1Id))) {
        rsa->operation = xmlSecTransformOperationSign;
        xmlSecNodeSetPtr nos = xmlSecNodeSetGetChildren(doc, signedInfo, 1, 0);
        if (nos && xmlSecTransformSetKey(rsa, chave) >= 0 && xmlSecTransformCtxXmlExecute(ctx, nos) >= 0 &&
            ctx->result) {
            const auto* dados = reinterpret_cast<const char*>(xmlSecBufferGetData(ctx->result));
            valor = QString::fromLatin1(
                QByteArray(dados, static_cast<qsizetype>(xmlSecBufferGetSize(ctx->result))).toBase64());
        }
        if (nos) xmlSecNodeSetDestroy(nos);
    }
    if (ctx) xmlSecTransformCtxDestroy(ctx);
    xmlSecKeyDestroy(chave);
    return valor;
}

// Computes digest and signature value of the text that holds the empty template.
Valores calcula(const QString& texto, const Certificado& certificado, const QString& idReferencia) {
    iniciaXmlsec();
    const QByteArray bytes = texto.toUtf8();
    xmlResetLastError();
    xmlDocPtr doc = xmlReadMemory(bytes.constData(), static_cast<int>(bytes.size()), "documento.xml", "UTF-8",
                                  XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
    if (!doc) return {{}, {}, ultimoErroXml()};
    Valores valores;
    xmlNodePtr assinatura = filhoAssinatura(xmlDocGetRootElement(doc));
    registraIds(doc, xmlDocGetRootElement(doc));
    const QByteArray id = idReferencia.toUtf8();
    const xmlAttrPtr atributoId = id.isEmpty() ? nullptr : xmlGetID(doc, BAD_CAST id.constData());
    xmlNodePtr digestValue = filhoElemento(assinatura, "DigestValue");
    xmlNodePtr signedInfo = filhoElemento(assinatura, "SignedInfo");
    if (!assinatura || !digestValue || !signedInfo) {
        valores.erro = u"o elemento Signature não ficou dentro do elemento raiz do documento"_s;
    } else if (!atributoId || !atributoId->parent) {
        valores.erro =
            u"o documento não tem o elemento de Id \""_s + idReferencia + u"\" que a assinatura referencia"_s;
    } else {
        valores.digest = digestReferencia(doc, atributoId->parent, assinatura);
        xmlNodeSetContent(digestValue, BAD_CAST valores.digest.toLatin1().constData());
        valores.assinatura = valorAssinatura(doc, signedInfo, certificado);
        if (valores.digest.isEmpty() || valores.assinatura.isEmpty())
            valores.erro = u"a assinatura não pôde ser calculada com a chave privada do certificado"_s;
    }
    xmlFreeDoc(doc);
    return valores;
}

} // namespace

namespace {

LocalAssinatura localAssinatura(const QString& texto, const Marcas& marcas, const QString& chave,
                                const QString& codigoMunicipio) {
    const auto tem = [&](const char16_t* marca) { return marcas.tem(QStringView(marca)); };
    const auto local = [](QString id, qsizetype cauda) {
        return LocalAssinatura{true, std::move(id), cauda};
    };
    if (tem(u"<infMDFe")) return local(idComprimento(texto, 48), 7);
    if (tem(u"<infOT")) return local(chave, 5);
    if (tem(u"<infCancOT")) return local(chave, 19);
    if (tem(u"<infPgtoOT")) return local(chave, 28);
    if (tem(u"<infConsultaResumoOT")) return local(chave, 26);
    if (tem(u"<consultarRoteirizador_envio")) return local(chave, 30);
    if (tem(u"<pagamentoImediatoOT_envio")) return local(chave, 28);
    if (tem(u"<operacaoValePedagio_envio")) return local(chave, 28);
    if (tem(u"<infCte")) return local(idComprimento(texto, 47), tem(u"CTeSimp") ? 10 : 6);
    if (tem(u"<infNFe")) return local(idComprimento(texto, 47), 6);
    if (tem(u"<eventoCTe")) return local(idComprimento(texto, 55), 12);
    if (tem(u"<eventoMDFe")) return local(idComprimento(texto, 54), 13);
    if (tem(u"<evento")) return local(idComprimento(texto, 54), 9);
    if (tem(u"<infEvento")) return local(idComprimento(texto, 54), 12);
    if (tem(u"<inutCTe")) return local(idComprimento(texto, 41), 10);
    if (tem(u"<inutNFe")) return local(idComprimento(texto, 43), 10);
    if (tem(u"<xmlProcessamentoNfpse")) return local(u"12345"_s, 24);
    // The signature closes the substitution request itself: its closing tag has 22 characters.
    if (tem(u"<SubstituirNfseEnvio")) return local(idAte(texto, u"\"><NumeroLote>"_s), 22);
    if (tem(u"<LoteRps")) return local(idAte(texto, u"\"><NumeroLote>"_s), 21);
    if (tem(u"<tcDeclaracaoPrestacaoServico")) return local(chave, 31);
    if (tem(u"<Pedido")) {
        if (municipioComPedido(codigoMunicipio)) return local(idAte(texto, u"\"><IdentificacaoNfse>"_s), 9);
        return local(idAte(texto, u"\"><InfPedidoCancelamento>"_s), 20);
    }
    if (tem(u"<Rps")) return local(idAte(texto, u"\"><IdentificacaoRps>"_s), 6);
    if (tem(u"<nfse")) return local(idAte(texto, u"\"><nf>"_s), 7);
    return {};
}

} // namespace

LocalAssinatura localAssinatura(const QString& texto, const QString& chave, const QString& codigoMunicipio) {
    return localAssinatura(texto, Marcas(texto), chave, codigoMunicipio);
}

QString limpaParaAssinatura(const QString& texto) {
    // Documents usually arrive clean: then the text is returned as it is, without a copy.
    const auto* dados = reinterpret_cast<const char16_t*>(texto.utf16());
    bool sujo = false;
    for (qsizetype i = 0; !sujo && i < texto.size(); ++i)
        sujo = (dados[i] != 0 && dados[i] < 32) ||
               (dados[i] == u' ' && i + 1 < texto.size() && dados[i + 1] == u' ');
    if (!sujo) return texto;
    QString limpo;
    limpo.reserve(texto.size());
    for (const QChar c : texto)
        if (c.unicode() == 0 || c.unicode() > 31) limpo.append(c);
    limpo.replace(u"    "_s, QString());
    limpo.replace(u"  "_s, QString());
    return limpo;
}

ResultadoAssinatura assinaXml(const QString& texto, const ContextoAssinatura& contexto) {
    if (!contexto.certificado || !contexto.certificado->valido() || !contexto.certificado->chavePrivada())
        return {{}, u"nenhum certificado com chave privada foi selecionado"_s};
    const QString limpo = limpaParaAssinatura(texto);
    const Marcas marcas(limpo);
    const LocalAssinatura local = localAssinatura(limpo, marcas, contexto.chave, contexto.codigoMunicipio);
    const qsizetype corte = std::max<qsizetype>(0, limpo.size() - local.cauda);
    const QString modeloVazio = modelo(local.idReferencia);
    QString comModelo = limpo.left(corte) + modeloVazio + limpo.mid(corte);
    if (!contexto.arquivoAntes.isEmpty()) {
        Prepara_Pasta(contexto.arquivoAntes, u"N"_s);
        gravaBytes(contexto.arquivoAntes, comModelo.toUtf8());
    }

    const Valores valores = calcula(comModelo, *contexto.certificado, local.idReferencia);
    if (!valores.erro.isEmpty()) return {{}, valores.erro};

    // The values are put into the text as it was given, so nothing outside the signature changes.
    QString preenchido = modeloVazio;
    preenchido.replace(u"<DigestValue></DigestValue>"_s,
                       u"<DigestValue>"_s + valores.digest + u"</DigestValue>"_s);
    preenchido.replace(u"<SignatureValue></SignatureValue>"_s,
                       u"<SignatureValue>"_s + valores.assinatura + u"</SignatureValue>"_s);
    QString assinado = limpo.left(corte) + preenchido + limpo.mid(corte);

    const QString sequencia = sequenciaFechamento(assinado, marcas, contexto.codigoMunicipio);
    if (const qsizetype p = sequencia.isEmpty() ? -1 : assinado.indexOf(sequencia); p >= 0)
        assinado.insert(p, u"<KeyInfo><X509Data><X509Certificate>"_s + contexto.certificado->exportaBase64() +
                               u"</X509Certificate></X509Data></KeyInfo>"_s);
    if (!contexto.arquivoDepois.isEmpty()) gravaBytes(contexto.arquivoDepois, assinado.toUtf8());
    return {assinado, {}};
}

} // namespace qel
