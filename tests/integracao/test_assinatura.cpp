// Signing: every kind of document is signed where its kind says, the signature verifies with an
// independent verifier (the xmlsec1 command), and signed real documents still validate against
// the official schemas.

#include "../certificados_teste.h"
#include "../esquema.h"
#include "programa.h"
#include "sign/assinatura.h"
#include "sign/repositorio_certificados.h"

#include <QRegularExpression>

using namespace Qt::StringLiterals;
using namespace qel;

namespace {

class Assinatura : public ::testing::Test {
protected:
    static const Certificado* certificado() { return &CertificadosTeste::instancia().empresa(); }
    static QString gerado(const QString& nome) { return CertificadosTeste::instancia().caminho(nome); }

    static ResultadoAssinatura assina(const QString& texto, const QString& chave = {},
                                      const QString& municipio = {}) {
        ContextoAssinatura contexto;
        contexto.certificado = certificado();
        contexto.chave = chave;
        contexto.codigoMunicipio = municipio;
        return assinaXml(texto, contexto);
    }

    // The xmlsec1 command with the test certificate: empty when the signature verifies.
    static QString verifica(const QString& assinado, const QString& elementoId) {
        static QTemporaryDir pasta;
        const QString arquivo = pasta.path() + u"/verificar.xml"_s;
        teste::escreve(arquivo, assinado.toUtf8());
        QProcess xmlsec;
        xmlsec.start(u"xmlsec1"_s, {u"--verify"_s, u"--id-attr:Id"_s, elementoId, u"--pubkey-cert-pem"_s,
                                    gerado(u"empresa.crt"_s), arquivo});
        if (!xmlsec.waitForFinished(30000)) return u"xmlsec1 did not finish"_s;
        if (xmlsec.exitCode() == 0) return {};
        return QString::fromUtf8(xmlsec.readAllStandardError()).right(400);
    }
};

const QString kChave = u"43240112345678000195550010000000011000000016"_s;

struct Caso {
    const char* nome;
    QString texto;
    QString chave;     // the task's CHAVE
    QString municipio; // the task's CODIGO MUNICIPIO
    QString referencia;
    QString raiz; // element whose last child is the Signature
    QString elementoId;
    bool keyInfo;
};

std::vector<Caso> casos() {
    const QString nfe = u"xmlns=\"http://www.portalfiscal.inf.br/nfe\""_s;
    const QString ev = u"ID110111"_s + kChave + u"01"_s;
    return {
        {"MDF-e",
         u"<MDFe xmlns=\"http://www.portalfiscal.inf.br/mdfe\"><infMDFe versao=\"3.00\" Id=\"MDFe"_s +
             kChave + u"\"><ide><cUF>43</cUF></ide></infMDFe></MDFe>"_s,
         {},
         {},
         u"MDFe"_s + kChave,
         u"MDFe"_s,
         u"infMDFe"_s,
         true},
        {"OT",
         u"<OT><infOT Id=\"G-1\"><x>1</x></infOT></OT>"_s,
         u"G-1"_s,
         {},
         u"G-1"_s,
         u"OT"_s,
         u"infOT"_s,
         true},
        {"cancelarOT",
         u"<cancelarOT_envio><infCancOT Id=\"G-2\"><x/></infCancOT></cancelarOT_envio>"_s,
         u"G-2"_s,
         {},
         u"G-2"_s,
         u"cancelarOT_envio"_s,
         u"infCancOT"_s,
         true},
        {"pagamentoOT",
         u"<pagamentoImediatoOT_envio><infPgtoOT Id=\"G-3\"><x/></infPgtoOT></pagamentoImediatoOT_envio>"_s,
         u"G-3"_s,
         {},
         u"G-3"_s,
         u"pagamentoImediatoOT_envio"_s,
         u"infPgtoOT"_s,
         true},
        {"consultarStatusOT",
         u"<consultarStatusOT_envio><infConsultaResumoOT Id=\"G-4\"><x/></infConsultaResumoOT></consultarStatusOT_envio>"_s,
         u"G-4"_s,
         {},
         u"G-4"_s,
         u"consultarStatusOT_envio"_s,
         u"infConsultaResumoOT"_s,
         true},
        {"roteirizador",
         u"<consultarRoteirizador_envio><infConsultarRoteirizador Id=\"G-5\"><x/></infConsultarRoteirizador>"
         "</consultarRoteirizador_envio>"_s,
         u"G-5"_s,
         {},
         u"G-5"_s,
         u"consultarRoteirizador_envio"_s,
         u"infConsultarRoteirizador"_s,
         true},
        {"pagamentoImediato",
         u"<pagamentoImediatoOT_envio><infPagamento Id=\"G-6\"/></pagamentoImediatoOT_envio>"_s,
         u"G-6"_s,
         {},
         u"G-6"_s,
         u"pagamentoImediatoOT_envio"_s,
         u"infPagamento"_s,
         true},
        {"valePedagio",
         u"<operacaoValePedagio_envio><infValePedagio Id=\"G-7\"/></operacaoValePedagio_envio>"_s,
         u"G-7"_s,
         {},
         u"G-7"_s,
         u"operacaoValePedagio_envio"_s,
         u"infValePedagio"_s,
         true},
        {"CT-e",
         u"<CTe xmlns=\"http://www.portalfiscal.inf.br/cte\"><infCte versao=\"4.00\" Id=\"CTe"_s + kChave +
             u"\"><x/></infCte></CTe>"_s,
         {},
         {},
         u"CTe"_s + kChave,
         u"CTe"_s,
         u"infCte"_s,
         true},
        {"CT-e simplificado",
         u"<CTeSimp xmlns=\"http://www.portalfiscal.inf.br/cte\"><infCte versao=\"4.00\" Id=\"CTe"_s +
             kChave + u"\"><x/></infCte></CTeSimp>"_s,
         {},
         {},
         u"CTe"_s + kChave,
         u"CTeSimp"_s,
         u"infCte"_s,
         true},
        {"NF-e",
         u"<NFe "_s + nfe + u"><infNFe versao=\"4.00\" Id=\"NFe"_s + kChave +
             u"\"><ide><cUF>43</cUF></ide></infNFe></NFe>"_s,
         {},
         {},
         u"NFe"_s + kChave,
         u"NFe"_s,
         u"infNFe"_s,
         true},
        {"evento CT-e",
         u"<eventoCTe versao=\"4.00\"><infEvento Id=\"ID110111"_s + kChave +
             u"001\"><x/></infEvento></eventoCTe>"_s,
         {},
         {},
         u"ID110111"_s + kChave + u"001"_s,
         u"eventoCTe"_s,
         u"infEvento"_s,
         true},
        {"evento MDF-e",
         u"<eventoMDFe versao=\"3.00\"><infEvento Id=\""_s + ev + u"\"><x/></infEvento></eventoMDFe>"_s,
         {},
         {},
         ev,
         u"eventoMDFe"_s,
         u"infEvento"_s,
         true},
        {"evento",
         u"<evento "_s + nfe + u" versao=\"1.00\"><infEvento Id=\""_s + ev +
             u"\"><x/></infEvento></evento>"_s,
         {},
         {},
         ev,
         u"evento"_s,
         u"infEvento"_s,
         true},
        {"infEvento",
         u"<infEvento Id=\""_s + ev + u"\"><x/></infEvento>"_s,
         {},
         {},
         ev,
         u"infEvento"_s,
         u"infEvento"_s,
         true},
        {"inutilização CT-e",
         u"<inutCTe versao=\"4.00\"><infInut Id=\"ID432412345678000195570010000000010000000\"><x/>"
         "</infInut></inutCTe>"_s,
         {},
         {},
         u"ID432412345678000195570010000000010000000"_s,
         u"inutCTe"_s,
         u"infInut"_s,
         true},
        {"inutilização NF-e",
         u"<inutNFe "_s + nfe +
             u" versao=\"4.00\"><infInut Id=\"ID43241234567800019555001000000001000000001\">"
             "<x/></infInut></inutNFe>"_s,
         {},
         {},
         u"ID43241234567800019555001000000001000000001"_s,
         u"inutNFe"_s,
         u"infInut"_s,
         true},
        {"Nfpse",
         u"<xmlProcessamentoNfpse><xmlNfpse Id=\"12345\"><x/></xmlNfpse></xmlProcessamentoNfpse>"_s,
         {},
         {},
         u"12345"_s,
         u"xmlProcessamentoNfpse"_s,
         u"xmlNfpse"_s,
         false},
        {"substituição",
         u"<SubstituirNfseEnvio><SubstituicaoNfse Id=\"S1\"><NumeroLote>1</NumeroLote></SubstituicaoNfse>"
         "</SubstituirNfseEnvio>"_s,
         {},
         {},
         u"S1"_s,
         u"SubstituirNfseEnvio"_s,
         u"SubstituicaoNfse"_s,
         false},
        {"lote RPS",
         u"<EnviarLoteRpsEnvio><LoteRps Id=\"L1\"><NumeroLote>1</NumeroLote></LoteRps></EnviarLoteRpsEnvio>"_s,
         {},
         {},
         u"L1"_s,
         u"EnviarLoteRpsEnvio"_s,
         u"LoteRps"_s,
         true},
        {"lote RPS recepcionar",
         u"<RecepcionarLoteRps><LoteRps Id=\"L2\"><NumeroLote>1</NumeroLote></LoteRps></RecepcionarLoteRps>"_s,
         {},
         {},
         u"L2"_s,
         u"RecepcionarLoteRps"_s,
         u"LoteRps"_s,
         true},
        {"declaração",
         u"<tcDeclaracaoPrestacaoServico><InfDeclaracaoPrestacaoServico Id=\"D1\"><x/>"
         "</InfDeclaracaoPrestacaoServico></tcDeclaracaoPrestacaoServico>"_s,
         u"D1"_s,
         {},
         u"D1"_s,
         u"tcDeclaracaoPrestacaoServico"_s,
         u"InfDeclaracaoPrestacaoServico"_s,
         true},
        {"pedido Encantado",
         u"<Pedido Id=\"P1\"><IdentificacaoNfse><Numero>1</Numero></IdentificacaoNfse></Pedido>"_s,
         {},
         u"4306809"_s,
         u"P1"_s,
         u"Pedido"_s,
         u"Pedido"_s,
         true},
        {"pedido ABRASF",
         u"<CancelarNfseEnvio><Pedido Id=\"C1\"><InfPedidoCancelamento><x/></InfPedidoCancelamento>"
         "</Pedido></CancelarNfseEnvio>"_s,
         {},
         u"4311403"_s,
         u"C1"_s,
         u"CancelarNfseEnvio"_s,
         u"Pedido"_s,
         true},
        {"RPS",
         u"<Rps Id=\"R1\"><IdentificacaoRps><Numero>1</Numero></IdentificacaoRps></Rps>"_s,
         {},
         {},
         u"R1"_s,
         u"Rps"_s,
         u"Rps"_s,
         false},
        {"nfse", u"<nfse Id=\"N1\"><nf><x/></nf></nfse>"_s, {}, {}, u"N1"_s, u"nfse"_s, u"nfse"_s, true},
    };
}

TEST_F(Assinatura, CadaTipoNoSeuLugarEVerificavel) {
    for (const Caso& c : casos()) {
        SCOPED_TRACE(c.nome);
        const ResultadoAssinatura r = assina(c.texto, c.chave, c.municipio);
        ASSERT_EQ(r.erro, QString());
        EXPECT_FALSE(r.texto.contains(u'\n'));
        EXPECT_TRUE(r.texto.contains(u"<Reference URI=\"#"_s + c.referencia + u"\">"_s));
        // The signature is the last child of its element, KeyInfo (when present) its last part.
        const QString fim = c.keyInfo
                                ? u"</X509Certificate></X509Data></KeyInfo></Signature></"_s + c.raiz + u'>'
                                : u"</SignatureValue></Signature></"_s + c.raiz + u'>';
        EXPECT_TRUE(r.texto.endsWith(fim)) << r.texto.right(120).toStdString();
        EXPECT_EQ(
            r.texto.contains(u"<KeyInfo><X509Data><X509Certificate>"_s + certificado()->exportaBase64()),
            c.keyInfo);
        EXPECT_EQ(verifica(r.texto, c.elementoId), QString());
        // Signed from UTF-8, as a document read from a file is: the very same bytes.
        ContextoAssinatura contexto;
        contexto.certificado = certificado();
        contexto.chave = c.chave;
        contexto.codigoMunicipio = c.municipio;
        EXPECT_EQ(assinaXmlUtf8(c.texto.toUtf8(), contexto).texto, r.texto.toUtf8());
    }
}

TEST_F(Assinatura, RaizComOutrosNamespacesEIdioma) {
    // Namespaces and xml: attributes in scope of the signed element take part in its inclusive
    // canonical form and in SignedInfo's.
    const QString texto = u"<NFe xmlns=\"http://www.portalfiscal.inf.br/nfe\" "
                          "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" xml:lang=\"pt-BR\">"
                          "<infNFe versao=\"4.00\" Id=\"NFe"_s +
                          kChave + u"\"><ide><cUF>43</cUF></ide></infNFe></NFe>"_s;
    const ResultadoAssinatura r = assina(texto);
    ASSERT_EQ(r.erro, QString());
    EXPECT_EQ(verifica(r.texto, u"infNFe"_s), QString());
}

TEST_F(Assinatura, CteSimplificadoEmQualquerLugarMudaACauda) {
    // "CTeSimp" anywhere in the text (here in a value) keeps ten characters behind the template.
    const LocalAssinatura l = localAssinatura(
        u"<CTe><infCte Id=\"CTe"_s + kChave + u"\"><xObs>CTeSimp</xObs></infCte></CTe>"_s, {}, {});
    EXPECT_EQ(l.cauda, 10);
    EXPECT_EQ(localAssinatura(u"<qualquer/>"_s, {}, {}).reconhecido, false);
}

TEST_F(Assinatura, LimpezaIgualEmTextoEEmUtf8) {
    const struct {
        QString entrada;
        QString limpo;
    } casos[] = {
        {u"x \t y"_s, u"xy"_s},             // the tab goes first, then the two blanks it left
        {u"a\u0001  \u0002  b"_s, u"ab"_s}, // four blanks once the control characters are gone
        {u"a     b"_s, u"a b"_s},           // five: four, then one left
        {u"a   b"_s, u"a b"_s},
        {u"ação  já"_s, u"açãojá"_s},
        {u"limpo"_s, u"limpo"_s},
        {QString(), QString()},
    };
    for (const auto& c : casos) {
        SCOPED_TRACE(c.entrada.toStdString());
        EXPECT_EQ(limpaParaAssinatura(c.entrada), c.limpo);
        EXPECT_EQ(limpaParaAssinatura(c.entrada.toUtf8()), c.limpo.toUtf8());
    }
}

TEST_F(Assinatura, LimpezaAntesDaAssinatura) {
    const QString texto =
        u"<NFe><infNFe Id=\"NFe"_s + kChave + u"\"><xNome>A  B    C\tD\r\nE   F</xNome></infNFe></NFe>"_s;
    const ResultadoAssinatura r = assina(texto);
    ASSERT_EQ(r.erro, QString());
    EXPECT_TRUE(r.texto.contains(u"<xNome>ABCDE F</xNome>"_s));
    EXPECT_EQ(verifica(r.texto, u"infNFe"_s), QString()) << "what is returned is what was signed";
}

TEST_F(Assinatura, Falhas) {
    // No kind matched: the template lands behind the document, which the parser rejects.
    EXPECT_EQ(assina(u"<qualquer Id=\"x\"><a/></qualquer>"_s).erro,
              u"Extra content at the end of the document"_s);
    EXPECT_FALSE(assina(u"<NFe><infNFe Id=\"NFe"_s + kChave + u"\"><a></NFe>"_s).erro.isEmpty());
    // An NF-e inside another root: the six characters kept behind the template cut the root's
    // own closing tag, which the parser rejects.
    const ResultadoAssinatura dentroDeOutro =
        assina(u"<lote><NFe><infNFe Id=\"NFe"_s + kChave + u"\"><a/></infNFe></NFe><x/></lote>"_s);
    EXPECT_FALSE(dentroDeOutro.erro.isEmpty());
    ContextoAssinatura semCertificado;
    EXPECT_FALSE(assinaXml(u"<NFe/>"_s, semCertificado).erro.isEmpty());
    // A document signed already is not signed again over its signature.
    const ResultadoAssinatura primeira =
        assina(u"<NFe><infNFe Id=\"NFe"_s + kChave + u"\"><a/></infNFe></NFe>"_s);
    ASSERT_EQ(primeira.erro, QString());
    const ResultadoAssinatura segunda = assina(primeira.texto);
    EXPECT_TRUE(segunda.texto.isEmpty());
    EXPECT_TRUE(segunda.erro.startsWith(u"o documento já está assinado"_s)) << segunda.erro.toStdString();
}

TEST_F(Assinatura, DocumentosReaisReassinadosValidamNoEsquema) {
    PULA_SEM_REFERENCIA();
    const QString amostras = teste::pastaReferencia() + u"/samples/"_s;
    const QString esquemas = teste::pastaReferencia() + u"/schemas/"_s;
    const struct {
        QString arquivo;
        QString abre, fecha, elementoId;
        QString esquema; // empty: the sample's layout has no schema here
        QString envelope;
    } reais[] = {
        {u"nfe/41180526972743000117550010001220221814026295-procNFe.xml"_s,
         u"<NFe"_s,
         u"</NFe>"_s,
         u"infNFe"_s,
         u"nfe/nfe_v4.00.xsd"_s,
         {}},
        {u"nfe/NF-e Servico.xml"_s, u"<NFe"_s, u"</NFe>"_s, u"infNFe"_s, u"nfe/nfe_v4.00.xsd"_s, {}},
        {u"nfce/41180526972743000117650010001220251914636324-procNFe.xml"_s,
         u"<NFe"_s,
         u"</NFe>"_s,
         u"infNFe"_s,
         u"nfe/nfe_v4.00.xsd"_s,
         {}},
        {u"mdfe/24210131626841000132580010000004881636061008-mdfe.xml"_s,
         u"<MDFe"_s,
         u"</MDFe>"_s,
         u"infMDFe"_s,
         u"mdfe/mdfe_v3.00.xsd"_s,
         {}},
        {u"cte/24210231626841000132570010000007811746401259.xml"_s,
         u"<CTe"_s,
         u"</CTe>"_s,
         u"infCte"_s,
         {},
         {}},
        {u"events/110110-53181011028793000173550010000066701204276800-1-procEventoNfe.xml"_s, u"<evento"_s,
         u"</evento>"_s, u"infEvento"_s, u"nfe/evento_cce/envCCe_v1.00.xsd"_s,
         u"<envEvento xmlns=\"http://www.portalfiscal.inf.br/nfe\" versao=\"1.00\"><idLote>1</idLote>%1</envEvento>"_s},
    };
    for (const auto& r : reais) {
        SCOPED_TRACE(r.arquivo.toStdString());
        const QString documento = teste::semAssinatura(amostras + r.arquivo, r.abre, r.fecha);
        ASSERT_FALSE(documento.isEmpty());
        const ResultadoAssinatura assinado = assina(documento);
        ASSERT_EQ(assinado.erro, QString());
        EXPECT_EQ(verifica(assinado.texto, r.elementoId), QString());
        if (r.esquema.isEmpty()) continue;
        QString completo = r.envelope.isEmpty() ? assinado.texto : r.envelope.arg(assinado.texto);
        // Inside another element the document's namespace is inherited, not repeated.
        EXPECT_EQ(teste::validaEsquema(completo.toUtf8(), esquemas + r.esquema), QString());
    }
}

TEST_F(Assinatura, UtilitarioDeLinhaDeComando) {
    Programa programa;
    const auto roda = [&](const QStringList& args) { return programa.roda(args, {}, false); };
    // The same store as the real user's: the company certificate imported.
    ASSERT_EQ(programa.roda({u"--importar-certificado"_s, gerado(u"empresa.pfx"_s)}, "1234\n", false).codigo,
              0);
    const QString arquivo = programa.raiz() + u"/NFe.xml"_s;
    teste::escreve(
        arquivo,
        ("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<NFe "
         "xmlns=\"http://www.portalfiscal.inf.br/nfe\">\r\n"
         "  <infNFe versao=\"4.00\" Id=\"NFe" +
         kChave.toUtf8() +
         "\">\r\n    <emit><xNome>Jos\xc3\xa9 da Silva</xNome></emit>\r\n  </infNFe>\r\n</NFe>\r\n"));
    const Execucao ok = roda({u"--assinar"_s, arquivo, u"--cnpj"_s, u"12345678000195"_s});
    EXPECT_EQ(ok.codigo, 0) << ok.erros.toStdString();
    EXPECT_EQ(ok.saida.count(u'\n'), 1);
    EXPECT_TRUE(ok.saida.startsWith(u"<?xml version=\"1.0\" encoding=\"UTF-8\"?><NFe xmlns="_s));
    EXPECT_TRUE(ok.saida.contains(u"<xNome>José da Silva</xNome>"_s)) << "UTF-8 document read as UTF-8";
    EXPECT_EQ(verifica(ok.saida.trimmed(), u"infNFe"_s), QString());

    const Execucao outra = roda({u"--assinar"_s, arquivo, u"--cnpj"_s, u"98765432000110"_s});
    EXPECT_EQ(outra.codigo, 1);
    EXPECT_TRUE(outra.saida.isEmpty());
    EXPECT_TRUE(outra.erros.contains(
        u"Não foi possível selecionar um certificado digital para o CNPJ 98765432000110"_s));

    teste::escreve(programa.raiz() + u"/x.xml"_s, "<qualquer><a/></qualquer>");
    const Execucao desconhecido =
        roda({u"--assinar"_s, programa.raiz() + u"/x.xml"_s, u"--cnpj"_s, u"12345678000195"_s});
    EXPECT_EQ(desconhecido.codigo, 1);
    EXPECT_TRUE(desconhecido.erros.contains(u"não é de um tipo que o Qel DFe assina"_s))
        << desconhecido.erros.toStdString();

    teste::escreve(programa.raiz() + u"/quebrado.xml"_s,
                   "<NFe><infNFe Id=\"NFe" + kChave.toUtf8() + "\"><a></NFe>");
    const Execucao quebrado =
        roda({u"--assinar"_s, programa.raiz() + u"/quebrado.xml"_s, u"--cnpj"_s, u"12345678000195"_s});
    EXPECT_EQ(quebrado.codigo, 1);
    EXPECT_EQ(quebrado.erros.count(u"Houve um erro: "_s), 1) << quebrado.erros.toStdString();
}

} // namespace
