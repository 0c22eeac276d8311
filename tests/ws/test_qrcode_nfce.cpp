// The NFC-e QR code text: versions 2 and 3, on line and in contingency, both environments; the
// fields read from a signed document; the version table per state. The expected texts and
// hashes were worked out apart from the program (SHA-1 of the parameters and the CSC).

#include "ws/qrcode_nfce.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using namespace qel;

namespace {

const QString kPagina = u"https://www.sefaz.rs.gov.br/NFCE/NFCE-COM.aspx"_s;
// An alphanumeric-CNPJ issuer on line (tpEmis 1), a numeric one in contingency (tpEmis 9).
const QString kChaveOnline = u"43251212ABC34501DE35650010000001231000001231"_s;
const QString kChaveOffline = u"43251212345678000195650010000001249000001242"_s;
const QString kCsc = u"0123456789ABCDEF0123456789ABCDEF0123"_s;
const QString kDigest = u"Jk2d8pL0mYQn3vB6cX9zR1tW5eA="_s;
const QString kDigestHex = u"4a6b326438704c306d59516e337642366358397a523174573565413d"_s;

struct CasoQr {
    int versao;
    bool offline;
    const char* tpAmb;
    QString esperado;      // the whole qrCode text
    QString textoAssinado; // what the certificate is asked to sign (version 3 off line)
};

} // namespace

TEST(QrCodeNfce, TextoPorVersaoFormaEAmbiente) {
    const QString cpf = u"12345678909"_s;
    const QList<CasoQr> casos{
        {2,
         false,
         "1",
         kPagina + u"?p="_s + kChaveOnline + u"|2|1|1|ABBE6E06ECEF530944E3FE5072AE3702E9358303"_s,
         {}},
        {2,
         false,
         "2",
         kPagina + u"?p="_s + kChaveOnline + u"|2|2|1|F60F9DB44B675CF011618B83CAC898A844CD6494"_s,
         {}},
        {2,
         true,
         "1",
         kPagina + u"?p="_s + kChaveOffline + u"|2|1|05|21.00|"_s + kDigestHex +
             u"|1|0C805591DE182382466DA908499F7614B935D670"_s,
         {}},
        {2,
         true,
         "2",
         kPagina + u"?p="_s + kChaveOffline + u"|2|2|05|21.00|"_s + kDigestHex +
             u"|1|6B56735553ED4A74531047872B84C70EE093CA72"_s,
         {}},
        // Version 3 on line: no CSC, no hash, nothing signed.
        {3, false, "1", kPagina + u"?p="_s + kChaveOnline + u"|3|1"_s, {}},
        {3, false, "2", kPagina + u"?p="_s + kChaveOnline + u"|3|2"_s, {}},
        // Version 3 off line: the parameters signed as they stand, separators included.
        {3, true, "1", kPagina + u"?p="_s + kChaveOffline + u"|3|1|05|21.00|2|"_s + cpf + u"|QUJDRA=="_s,
         kChaveOffline + u"|3|1|05|21.00|2|"_s + cpf},
        {3, true, "2", kPagina + u"?p="_s + kChaveOffline + u"|3|2|05|21.00|2|"_s + cpf + u"|QUJDRA=="_s,
         kChaveOffline + u"|3|2|05|21.00|2|"_s + cpf},
    };
    for (const CasoQr& c : casos) {
        DadosQrNfce d;
        d.pagina = kPagina;
        d.chave = c.offline ? kChaveOffline : kChaveOnline;
        d.tpAmb = QString::fromLatin1(c.tpAmb);
        d.versao = c.versao;
        d.documento.offline = c.offline;
        d.documento.diaEmissao = u"05"_s;
        d.documento.vNF = u"21.00"_s;
        d.documento.digestValue = kDigest;
        d.idCsc = u"000001"_s;
        d.csc = u"  "_s + kCsc + u" "_s;
        d.documento.tipoDestinatario = u"2"_s;
        d.documento.destinatario = cpf;
        QByteArray assinado;
        const QString texto = textoQrNfce(d, [&assinado](const QByteArray& t) {
            assinado = t;
            return u"QUJDRA=="_s;
        });
        EXPECT_EQ(texto, c.esperado) << c.versao << (c.offline ? " off line " : " on line ") << c.tpAmb;
        EXPECT_EQ(QString::fromUtf8(assinado), c.textoAssinado) << c.versao << c.offline << c.tpAmb;
    }
}

TEST(QrCodeNfce, AssinaturaQueFalhaNaoDaTexto) {
    DadosQrNfce d;
    d.pagina = kPagina;
    d.chave = kChaveOffline;
    d.tpAmb = u"2"_s;
    d.versao = 3;
    d.documento.offline = true;
    d.documento.diaEmissao = u"31"_s;
    d.documento.vNF = u"0.10"_s;
    EXPECT_TRUE(textoQrNfce(d, [](const QByteArray&) { return QString(); }).isEmpty());
    EXPECT_TRUE(textoQrNfce(d, {}).isEmpty());
    // A recipient left out leaves both of its parameters blank, the separators kept.
    EXPECT_EQ(parametrosQrNfce(d), kChaveOffline + u"|3|2|31|0.10||"_s);
}

TEST(QrCodeNfce, CamposDoDocumentoAssinado) {
    const auto documento = [](const QString& tpEmis, const QString& emitente, const QString& dest) {
        return u"<NFe xmlns=\"http://www.portalfiscal.inf.br/nfe\"><infNFe versao=\"4.00\" Id=\"NFe"_s +
               kChaveOffline + u"\"><ide><cUF>43</cUF><dhEmi>2025-12-05T23:30:00-03:00</dhEmi><tpEmis>"_s +
               tpEmis + u"</tpEmis></ide><emit>"_s + emitente + u"<xNome>LOJA</xNome></emit>"_s + dest +
               u"<det nItem=\"1\"><prod><vProd>21.00</vProd></prod></det><total><ICMSTot><vBC>0.00</vBC>"
               "<vNF>21.00</vNF></ICMSTot></total><pag><detPag><vPag>21.00</vPag></detPag></pag></infNFe>"
               "<Signature xmlns=\"http://www.w3.org/2000/09/xmldsig#\"><SignedInfo><Reference URI=\"#NFe"_s +
               kChaveOffline + u"\"><DigestValue>"_s + kDigest +
               u"</DigestValue></Reference></SignedInfo></Signature></NFe>"_s;
    };
    struct Caso {
        QString tpEmis, emitente, dest;
        bool offline, pessoaFisica;
        QString tipo, destinatario;
    };
    const QString cnpjEmit = u"<CNPJ>12345678000195</CNPJ>"_s;
    const QList<Caso> casos{
        {u"9"_s, cnpjEmit, u"<dest><CNPJ>12abc34501de35</CNPJ><xNome>CLIENTE</xNome></dest>"_s, true, false,
         u"1"_s, u"12ABC34501DE35"_s},
        {u"9"_s, cnpjEmit, u"<dest><CPF>12345678909</CPF><xNome>CLIENTE</xNome></dest>"_s, true, false,
         u"2"_s, u"12345678909"_s},
        {u"9"_s,
         cnpjEmit,
         u"<dest><idEstrangeiro>AB123456</idEstrangeiro></dest>"_s,
         true,
         false,
         u"3"_s,
         {}},
        {u"9"_s, cnpjEmit, u"<dest><idEstrangeiro/><xNome>TURISTA</xNome></dest>"_s, true, false, u"3"_s, {}},
        {u"1"_s, cnpjEmit, {}, false, false, {}, {}},
        // A person issuing (a rural producer by CPF); the recipient's CPF is not the issuer's.
        {u"1"_s, u"<CPF>98765432100</CPF>"_s, {}, false, true, {}, {}},
    };
    for (const Caso& c : casos) {
        const DocumentoQrNfce d = leDocumentoQrNfce(documento(c.tpEmis, c.emitente, c.dest));
        EXPECT_EQ(d.offline, c.offline) << c.dest.toStdString();
        EXPECT_EQ(d.emitentePessoaFisica, c.pessoaFisica) << c.emitente.toStdString();
        EXPECT_EQ(d.tipoDestinatario, c.tipo) << c.dest.toStdString();
        EXPECT_EQ(d.destinatario, c.destinatario) << c.dest.toStdString();
        // The day as written, though it is the 6th in UTC; vNF of the totals, not a payment's.
        EXPECT_EQ(d.diaEmissao, u"05"_s);
        EXPECT_EQ(d.vNF, u"21.00"_s);
        EXPECT_EQ(d.digestValue, kDigest);
    }
}

TEST(QrCodeNfce, VersaoPorEstado) {
    // The shipped table: every state still on version 2 unless its row says otherwise.
    const VersoesQrNfce embutida = VersoesQrNfce::carrega({});
    EXPECT_TRUE(embutida.erros().isEmpty()) << embutida.erros().join(u'\n').toStdString();
    for (const char* uf : {"43", "35", "41", "53", "99"})
        EXPECT_EQ(embutida.versao(QString::fromLatin1(uf)), 2);

    // The installation's file: a state moving to version 3 is one row; malformed rows are told.
    QTemporaryDir pasta;
    const QString arquivo = pasta.path() + u"/versoes.conf"_s;
    QFile f(arquivo);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("# local\r\n35 3\r\n43   3\r\nRS 3\r\n41 4\r\n42\r\n");
    f.close();
    const VersoesQrNfce local = VersoesQrNfce::carrega(arquivo);
    EXPECT_EQ(local.versao(u"35"_s), 3);
    EXPECT_EQ(local.versao(u"43"_s), 3);
    EXPECT_EQ(local.versao(u"41"_s), 2);
    EXPECT_EQ(local.erros(),
              (QStringList{arquivo + u":4: RS 3"_s, arquivo + u":5: 41 4"_s, arquivo + u":6: 42"_s}));

    VersoesQrNfce todas;
    todas.le(u"* 3\n43 2\n"_s, u"t"_s);
    EXPECT_EQ(todas.versao(u"35"_s), 3);
    EXPECT_EQ(todas.versao(u"43"_s), 2);
}
