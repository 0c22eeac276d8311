// The authorised document: the proc of each kind, the protocol's namespace, the digest check.

#include "flows/proc.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using namespace qel;

namespace {

const QString kNFe = u"<NFe xmlns=\"http://www.portalfiscal.inf.br/nfe\"><infNFe versao=\"4.00\" Id=\"NFe1\">"
                     "<a/></infNFe><Signature><SignedInfo><Reference><DigestValue>ABC=</DigestValue>"
                     "</Reference></SignedInfo></Signature></NFe>"_s;

QString protocolo(const QString& atributos, const QString& digVal = u"ABC="_s) {
    return u"<protNFe"_s + atributos + u"><infProt Id=\"ID1\"><cStat>100</cStat><digVal>"_s + digVal +
           u"</digVal></infProt></protNFe>"_s;
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
    const QString cte =
        u"<CTe xmlns=\"http://www.portalfiscal.inf.br/cte\"><infCte versao=\"4.00\" Id=\"CTe1\"/>"
        "</CTe>"_s;
    const QString protCTe = u"<protCTe versao=\"4.00\"><infProt><cStat>100</cStat></infProt></protCTe>"_s;
    EXPECT_TRUE(montaProc(TipoDocumento::CTe, false, cte, protCTe)
                    ->contains(u"<cteProc xmlns=\"http://www.portalfiscal.inf.br/cte\" versao=\"4.00\">"_s));
    EXPECT_TRUE(montaProc(TipoDocumento::CTe, true, cte, protCTe)->contains(u"<cteProcSimp "_s));
    const QString mdfe = u"<MDFe xmlns=\"http://www.portalfiscal.inf.br/mdfe\"><infMDFe versao=\"3.00\" "
                         "Id=\"MDFe1\"/></MDFe>"_s;
    const auto proc =
        montaProc(TipoDocumento::MDFe, false, mdfe,
                  u"<protMDFe versao=\"3.00\"><infProt><cStat>100</cStat></infProt></protMDFe>"_s);
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

} // namespace
