// Measures the signing of a typical NF-e of about 10 KB against its unavoidable core: the
// RSA-2048 private-key operation plus the canonicalisation of the signed element, in the same
// run. Prints both and their ratio.

#include "sign/assinatura.h"

#include <QElapsedTimer>
#include <QString>
#include <cstdio>
#include <libxml/c14n.h>
#include <libxml/parser.h>
#include <openssl/evp.h>
#include <openssl/rsa.h>
#include <openssl/x509.h>

using namespace Qt::StringLiterals;

namespace {

qel::Certificado certificadoDeTeste() {
    EVP_PKEY* chave = EVP_RSA_gen(2048);
    X509* x = X509_new();
    ASN1_INTEGER_set(X509_get_serialNumber(x), 1);
    X509_gmtime_adj(X509_getm_notBefore(x), 0);
    X509_gmtime_adj(X509_getm_notAfter(x), 86400);
    X509_set_pubkey(x, chave);
    X509_NAME* nome = X509_get_subject_name(x);
    X509_NAME_add_entry_by_txt(nome, "CN", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char*>("BENCH:12345678000195"), -1, -1, 0);
    X509_set_issuer_name(x, nome);
    X509_sign(x, chave, EVP_sha256());
    return qel::Certificado(x, chave);
}

QString nfe(int itens) {
    QString det;
    for (int i = 1; i <= itens; ++i)
        det +=
            u"<det nItem=\"%1\"><prod><cProd>%1</cProd><cEAN>SEM GTIN</cEAN><xProd>PRODUTO DE TESTE NUMERO %1"
            "</xProd><NCM>84713012</NCM><CFOP>5102</CFOP><uCom>UN</uCom><qCom>1.0000</qCom><vUnCom>10.00</"
            "vUnCom>"
            "<vProd>10.00</vProd><cEANTrib>SEM GTIN</cEANTrib><uTrib>UN</uTrib><qTrib>1.0000</qTrib>"
            "<vUnTrib>10.00</vUnTrib><indTot>1</indTot></prod><imposto><ICMS><ICMSSN102><orig>0</orig>"
            "<CSOSN>102</CSOSN></ICMSSN102></ICMS></imposto></det>"_s.arg(i);
    return u"<NFe xmlns=\"http://www.portalfiscal.inf.br/nfe\"><infNFe versao=\"4.00\" "
           "Id=\"NFe43240112345678000195550010000000011000000016\"><ide><cUF>43</cUF><natOp>VENDA</natOp></"
           "ide>"
           "<emit><CNPJ>12345678000195</CNPJ><xNome>EMPRESA</xNome></emit>"_s +
           det + u"<total><ICMSTot><vNF>10.00</vNF></ICMSTot></total></infNFe></NFe>"_s;
}

// Visible in the canonical form: the signed element and what it holds.
int dentroDe(void* alvo, xmlNodePtr no, xmlNodePtr pai) {
    for (xmlNodePtr p = no->type == XML_NAMESPACE_DECL ? pai : no; p; p = p->parent)
        if (p == alvo) return 1;
    return 0;
}

} // namespace

int main() {
    const qel::Certificado certificado = certificadoDeTeste();
    const QString texto = nfe(20);
    const QByteArray bytes = texto.toUtf8();
    qel::ContextoAssinatura contexto;
    contexto.certificado = &certificado;
    // Warm up (library set-up happens once per process).
    if (!qel::assinaXml(texto, contexto).erro.isEmpty()) return 1;

    const int n = qEnvironmentVariableIntValue("BENCH_N") > 0 ? qEnvironmentVariableIntValue("BENCH_N") : 400;
    // The core: the text read into a tree and the signed element canonicalised (there is no
    // canonical form of a text without reading it), then the RSA-2048 private-key operation.
    QElapsedTimer relogio;
    relogio.start();
    for (int i = 0; i < n; ++i) {
        xmlDocPtr doc = xmlReadMemory(bytes.constData(), static_cast<int>(bytes.size()), "b.xml", "UTF-8", 0);
        xmlNodePtr infNFe = xmlDocGetRootElement(doc)->children;
        xmlChar* c14n = nullptr;
        xmlOutputBufferPtr saida = xmlAllocOutputBuffer(nullptr);
        xmlC14NExecute(doc, dentroDe, infNFe, XML_C14N_1_0, nullptr, 0, saida);
        const int tamanhoC14n = static_cast<int>(xmlOutputBufferGetSize(saida));
        c14n = xmlStrndup(xmlOutputBufferGetContent(saida), tamanhoC14n);
        xmlOutputBufferClose(saida);
        xmlFreeDoc(doc);
        unsigned char assinatura[512];
        size_t tamanhoAssinatura = sizeof assinatura;
        EVP_MD_CTX* md = EVP_MD_CTX_new();
        EVP_DigestSignInit(md, nullptr, EVP_sha1(), nullptr, certificado.chavePrivada());
        EVP_DigestSign(md, assinatura, &tamanhoAssinatura, c14n, static_cast<size_t>(tamanhoC14n));
        EVP_MD_CTX_free(md);
        xmlFree(c14n);
    }
    const double nucleo = static_cast<double>(relogio.nsecsElapsed()) / n / 1000.0;

    relogio.restart();
    for (int i = 0; i < n; ++i)
        if (!qel::assinaXml(texto, contexto).erro.isEmpty()) return 1;
    const double completo = static_cast<double>(relogio.nsecsElapsed()) / n / 1000.0;

    std::printf("documento: %lld bytes, %d assinaturas\n", static_cast<long long>(bytes.size()), n);
    std::printf("leitura + C14N do elemento assinado + RSA-2048: %.1f us por assinatura\n", nucleo);
    std::printf("Assinar_XML:     %.1f us por assinatura\n", completo);
    std::printf("razão: %.2f (limite 1.30)\n", completo / nucleo);
    return completo / nucleo <= 1.3 ? 0 : 3;
}
