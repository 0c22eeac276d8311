// The authorised document: the proc of each kind, the protocol's namespace, the digest check.

#include "flows/proc.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using namespace qel;

namespace {

constexpr char16_t kChave[] = u"43261212345678000195550010000000011000000010";

const QString kNFe = u"<NFe xmlns=\"http://www.portalfiscal.inf.br/nfe\"><infNFe versao=\"4.00\" "
                     u"Id=\"NFe43261212345678000195550010000000011000000010\">"
                     "<a/></infNFe><Signature><SignedInfo><Reference><DigestValue>ABC=</DigestValue>"
                     "</Reference></SignedInfo></Signature></NFe>"_s;

QString protocolo(const QString& atributos, const QString& digVal = u"ABC="_s) {
    return u"<protNFe"_s + atributos + u"><infProt Id=\"ID1\"><chNFe>"_s + QString::fromUtf16(kChave) +
           u"</chNFe><cStat>100</cStat><digVal>"_s + digVal + u"</digVal></infProt></protNFe>"_s;
}

TEST(Proc, ProtocoloComONamespaceUmaVezEPrimeiro) {
    const QString esperado =
        u"<protNFe xmlns=\"http://www.portalfiscal.inf.br/nfe\" versao=\"4.00\"><infProt"_s;
    // Whatever the service sent: the namespace after versao, before it, or none.
    for (const QString& atributos :
         {u" versao=\"4.00\" xmlns=\"http://www.portalfiscal.inf.br/nfe\""_s,
          u" xmlns=\"http://www.portalfiscal.inf.br/nfe\" versao=\"4.00\""_s, u" versao=\"4.00\""_s}) {
        SCOPED_TRACE(atributos.toStdString());
        const auto proc = montaProc(TipoDocumento::NFe, false, kNFe,
                                    u"<retConsReciNFe><cStat>104</cStat>"_s + protocolo(atributos) +
                                        u"</retConsReciNFe>"_s);
        ASSERT_TRUE(proc);
        EXPECT_TRUE(proc->startsWith(u"<?xml version=\"1.0\" encoding=\"UTF-8\"?><nfeProc "
                                     "xmlns=\"http://www.portalfiscal.inf.br/nfe\" versao=\"4.00\">"_s +
                                     kNFe + esperado))
            << proc->toStdString();
        EXPECT_TRUE(proc->endsWith(u"</protNFe></nfeProc>"_s));
        EXPECT_EQ(proc->count(u"xmlns="_s), 3) << "nfeProc, NFe and protNFe, once each";
    }
}

TEST(Proc, RaizPorTipoESemProtocoloNada) {
    const QString cte = u"<CTe xmlns=\"http://www.portalfiscal.inf.br/cte\"><infCte versao=\"4.00\" "
                        u"Id=\"CTe43261212345678000195550010000000011000000010\"/>"
                        "</CTe>"_s;
    const QString protCTe = u"<protCTe "
                            u"versao=\"4.00\"><infProt><chCTe>43261212345678000195550010000000011000000010</"
                            u"chCTe><cStat>100</cStat>"
                            "</infProt></protCTe>"_s;
    EXPECT_TRUE(montaProc(TipoDocumento::CTe, false, cte, protCTe)
                    ->contains(u"<cteProc xmlns=\"http://www.portalfiscal.inf.br/cte\" versao=\"4.00\">"_s));
    EXPECT_TRUE(montaProc(TipoDocumento::CTe, true, cte, protCTe)->contains(u"<cteProcSimp "_s));
    const QString mdfe = u"<MDFe xmlns=\"http://www.portalfiscal.inf.br/mdfe\"><infMDFe versao=\"3.00\" "
                         "Id=\"MDFe43261212345678000195550010000000011000000010\"/></MDFe>"_s;
    const auto proc =
        montaProc(TipoDocumento::MDFe, false, mdfe,
                  u"<protMDFe "
                  u"versao=\"3.00\"><infProt><chMDFe>43261212345678000195550010000000011000000010</"
                  u"chMDFe><cStat>100</cStat></infProt>"
                  "</protMDFe>"_s);
    ASSERT_TRUE(proc);
    EXPECT_TRUE(
        proc->contains(u"<mdfeProc xmlns=\"http://www.portalfiscal.inf.br/mdfe\" versao=\"3.00\">"_s));
    EXPECT_TRUE(
        proc->contains(u"<protMDFe xmlns=\"http://www.portalfiscal.inf.br/mdfe\" versao=\"3.00\">"_s));
    // No protocol (or only an element whose name begins the same): no proc.
    EXPECT_FALSE(montaProc(TipoDocumento::NFe, false, kNFe, u"<ret><cStat>104</cStat></ret>"_s));
    EXPECT_FALSE(montaProc(TipoDocumento::NFe, false, kNFe, u"<protNFeX><cStat>1</cStat></protNFeX>"_s));
    EXPECT_FALSE(montaProc(TipoDocumento::NFe, false, kNFe, u"<protNFe versao=\"4.00\"><cStat>"_s));
}

TEST(Proc, ProtocoloDesteDocumentoPeloDigVal) {
    EXPECT_TRUE(protocoloDoDocumento(protocolo({}), kNFe));
    EXPECT_FALSE(protocoloDoDocumento(protocolo({}, u"OUTRO="_s), kNFe));
    EXPECT_TRUE(protocoloDoDocumento(u"<protNFe><infProt/></protNFe>"_s, kNFe))
        << "no digVal: not told apart";
    EXPECT_EQ(situacaoDoProtocolo(protocolo({})), u"100"_s);
}

TEST(Proc, ProtocoloDeOutraChaveNuncaViraProc) {
    const QString resposta =
        u"<retEnviNFe><cStat>104</cStat>"_s + protocolo(u" versao=\"4.00\""_s) + u"</retEnviNFe>"_s;
    ASSERT_TRUE(montaProc(TipoDocumento::NFe, false, kNFe, resposta));
    const struct {
        const char* caso;
        QString resposta;
    } casos[] = {
        {"another key", QString(resposta).replace(QString::fromUtf16(kChave),
                                                  u"43261212345678000195550010000000021000000025"_s)},
        {"no key",
         QString(resposta).replace(u"<chNFe>"_s + QString::fromUtf16(kChave) + u"</chNFe>"_s, QString())},
        {"key cut short",
         QString(resposta).replace(QString::fromUtf16(kChave), QString::fromUtf16(kChave).left(43))},
    };
    for (const auto& c : casos) {
        SCOPED_TRACE(c.caso);
        EXPECT_FALSE(montaProc(TipoDocumento::NFe, false, kNFe, c.resposta));
        EXPECT_FALSE(protocoloDaChave(protocoloDaResposta(TipoDocumento::NFe, c.resposta), kNFe));
    }
    EXPECT_EQ(chaveDoProtocolo(protocolo({})), QString::fromUtf16(kChave));
}

} // namespace
