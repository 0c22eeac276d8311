// Request bodies and envelopes: each body validates against its official schema, envelopes are
// compared as text.

#include "certificados_teste.h"
#include "esquema.h"
#include "sign/assinatura.h"
#include "sign/assinatura_texto.h"
#include "util/compactacao.h"
#include "ws/construtores.h"
#include "ws/envelope.h"

#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using namespace qel;

namespace {

const QString kChaveNFe = u"43240112345678000195550010000000011000000016"_s;

PedidoCorpo pedido(const QString& tipo, const QString& servico, const QString& versao) {
    PedidoCorpo p;
    p.tipo = tipoDocumento(tipo);
    p.servico = servicoDoNome(servico).value();
    p.versao = versao;
    p.ambiente = Ambiente::Homologacao;
    p.paginaQr = u"https://www.sefaz.rs.gov.br/NFCE/NFCE-COM.aspx"_s;
    p.cUF = u"43"_s;
    p.chave = kChaveNFe;
    p.cnpj = u"12.345.678/0001-95"_s;
    p.ufConsulta = u"RS"_s;
    p.docConsulta = u"12345678000195"_s;
    p.assina = [](const QString& texto) {
        ContextoAssinatura c;
        c.certificado = &CertificadosTeste::instancia().empresa();
        return assinaXml(texto, c).texto;
    };
    return p;
}

// A real document as the calling application sends it: no signature, no QR-code group.
QString documentoReal(const QString& arquivo, const QString& raiz, const QString& grupo) {
    QString texto = teste::semAssinatura(teste::pastaReferencia() + u"/samples/"_s + arquivo, u'<' + raiz,
                                         u"</"_s + raiz + u'>');
    const qsizetype a = texto.indexOf(u'<' + grupo + u'>');
    const qsizetype f = texto.indexOf(u"</"_s + grupo + u'>');
    if (a >= 0 && f > a) texto.remove(a, f + grupo.size() + 3 - a);
    return texto;
}

QString esquema(const QString& relativo) {
    return teste::pastaReferencia() + u"/schemas/"_s + relativo;
}

TEST(Construtores, ConsultasValidamNoEsquema) {
    PULA_SEM_REFERENCIA();
    const struct {
        const char* tipo;
        const char* servico;
        const char* versao;
        const char* esquema;
    } casos[] = {
        {"NFe", "Status", "4.00", "nfe/consStatServ_v4.00.xsd"},
        {"NFCe", "Consultar", "4.00", "nfe/consSitNFe_v4.00.xsd"},
        {"NFe", "RetRecepcao", "4.00", "nfe/consReciNFe_v4.00.xsd"},
        {"NFe", "Download", "1.01", "dfe/distDFeInt_v1.01.xsd"},
        {"CTe", "Cadastro", "2.00", "dfe/consCad_v2.00.xsd"},
        {"CTe", "Status", "2.00", "cte/consStatServCTe_v4.00.xsd"},
        {"CTe", "Consultar", "4.00", "cte/consSitCTe_v4.00.xsd"},
        {"MDFe", "Status", "3.00", "mdfe/consStatServMDFe_v3.00.xsd"},
        {"MDFe", "Consultar", "3.00", "mdfe/consSitMDFe_v3.00.xsd"},
        {"MDFe", "NaoEncerrados", "3.00", "mdfe/consMDFeNaoEnc_v3.00.xsd"},
    };
    for (const auto& c : casos) {
        SCOPED_TRACE(c.esquema);
        PedidoCorpo p =
            pedido(QString::fromUtf8(c.tipo), QString::fromUtf8(c.servico), QString::fromUtf8(c.versao));
        p.documento = u"<qualquer/>"_s;                                        // queries ignore the document
        if (p.servico == Servico::RetRecepcao) p.chave = u"431000012345678"_s; // a receipt number
        const CorpoConstruido corpo = constroiCorpo(p);
        EXPECT_FALSE(corpo.corpo.contains(u"qualquer"_s));
        EXPECT_EQ(teste::validaEsquema(corpo.corpo.toUtf8(), esquema(QString::fromUtf8(c.esquema))),
                  QString());
    }
}

TEST(Construtores, TextosExatos) {
    EXPECT_EQ(constroiCorpo(pedido(u"NFe"_s, u"Status"_s, u"4.00"_s)).corpo,
              u"<consStatServ xmlns=\"http://www.portalfiscal.inf.br/nfe\" versao=\"4.00\"><tpAmb>2</tpAmb>"
              "<cUF>43</cUF><xServ>STATUS</xServ></consStatServ>"_s);
    EXPECT_EQ(
        constroiCorpo(pedido(u"MDFe"_s, u"Status"_s, u"3.00"_s)).corpo,
        u"<consStatServMDFe xmlns=\"http://www.portalfiscal.inf.br/mdfe\" versao=\"3.00\"><tpAmb>2</tpAmb>"
        "<xServ>STATUS</xServ></consStatServMDFe>"_s);
    // The CT-e layout is 4.00 whatever the service's own version.
    EXPECT_TRUE(constroiCorpo(pedido(u"CTe"_s, u"Status"_s, u"2.00"_s)).corpo.contains(u"versao=\"4.00\""_s));
    const CorpoConstruido cadastro = constroiCorpo(pedido(u"CTe"_s, u"Cadastro"_s, u"2.00"_s));
    EXPECT_EQ(cadastro.tipo, TipoDocumento::NFe);
    EXPECT_EQ(cadastro.corpo,
              u"<ConsCad xmlns=\"http://www.portalfiscal.inf.br/nfe\" versao=\"2.00\"><infCons>"
              "<xServ>CONS-CAD</xServ><UF>RS</UF><CNPJ>12345678000195</CNPJ></infCons></ConsCad>"_s);
    // The registry is asked by CNPJ, CPF or state registration as the document asked about has
    // the shape of one: an alphanumeric CNPJ is a CNPJ, not a registration.
    const struct {
        const char16_t* documento;
        const char16_t* elemento;
    } consultados[] = {{u"12ABC34501DE35", u"<CNPJ>12ABC34501DE35</CNPJ>"},
                       {u"12345678909", u"<CPF>12345678909</CPF>"},
                       {u"0960000000", u"<IE>0960000000</IE>"},
                       {u"P012345678901", u"<IE>P012345678901</IE>"},
                       {u"12ABC34501DEAB", u"<IE>12ABC34501DEAB</IE>"}};
    for (const auto& c : consultados) {
        PedidoCorpo consulta = pedido(u"NFe"_s, u"Cadastro"_s, u"2.00"_s);
        consulta.docConsulta = QString::fromUtf16(c.documento);
        EXPECT_TRUE(constroiCorpo(consulta).corpo.contains(QString::fromUtf16(c.elemento)))
            << QString::fromUtf16(c.documento).toStdString();
    }
    // Values are escaped: a task value cannot break the request.
    PedidoCorpo estranho = pedido(u"NFe"_s, u"Consultar"_s, u"4.00"_s);
    estranho.chave = u"1<2&3"_s;
    EXPECT_TRUE(constroiCorpo(estranho).corpo.contains(u"<chNFe>1&lt;2&amp;3</chNFe>"_s));
}

TEST(Construtores, AutorizacaoNFeENFCe) {
    PULA_SEM_REFERENCIA();
    const QString amostras = teste::pastaReferencia() + u"/samples/"_s;
    PedidoCorpo p = pedido(u"NFe"_s, u"Recepcao"_s, u"4.00"_s);
    p.chave.clear();
    p.documento =
        u"<?xml version=\"1.0\" encoding=\"UTF-8\"?>"_s +
        teste::semAssinatura(amostras + u"nfe/41180526972743000117550010001220221814026295-procNFe.xml"_s,
                             u"<NFe"_s, u"</NFe>"_s);
    const CorpoConstruido nfe = constroiCorpo(p);
    EXPECT_TRUE(nfe.autorizacao);
    EXPECT_EQ(nfe.chave, u"41180526972743000117550010001220221814026295"_s);
    // The lot number: "1" and the numeric code of the key (positions 36 to 43).
    EXPECT_TRUE(nfe.corpo.contains(u"<idLote>181402629</idLote><indSinc>0</indSinc><NFe"_s))
        << nfe.corpo.left(200).toStdString();
    EXPECT_FALSE(nfe.corpo.contains(u"<?xml"_s));
    EXPECT_EQ(teste::validaEsquema(nfe.corpo.toUtf8(), esquema(u"nfe/enviNFe_v4.00.xsd"_s)), QString());

    PedidoCorpo c = pedido(u"NFCe"_s, u"Recepcao"_s, u"4.00"_s);
    c.token = u"  0123456789ABCDEF  "_s;
    c.idToken = u"000001"_s;
    c.documento = documentoReal(u"nfce/41180526972743000117650010001220251914636324-procNFe.xml"_s, u"NFe"_s,
                                u"infNFeSupl"_s);
    const CorpoConstruido nfce = constroiCorpo(c);
    const QString chave = u"41180526972743000117650010001220251914636324"_s;
    const QString parametros = chave + u"|2|2|1"_s;
    EXPECT_TRUE(nfce.corpo.contains(u"<indSinc>1</indSinc>"_s));
    EXPECT_TRUE(nfce.corpo.contains(u"?p="_s + parametros + u'|' +
                                    Calcula_Sha1(parametros + u"0123456789ABCDEF"_s) +
                                    u"]]></qrCode><urlChave>"_s));
    EXPECT_TRUE(nfce.corpo.contains(u"</infNFeSupl><Signature"_s));
    // Without the state's consultation address, the QR page stands for it.
    EXPECT_TRUE(
        nfce.corpo.contains(u"<urlChave>https://www.sefaz.rs.gov.br/NFCE/NFCE-COM.aspx</urlChave>"_s));
    c.paginaChave = u"www.sefaz.rs.gov.br/nfce/consulta"_s;
    EXPECT_TRUE(constroiCorpo(c).corpo.contains(
        u"<urlChave>www.sefaz.rs.gov.br/nfce/consulta</urlChave></infNFeSupl>"_s));
    c.paginaChave.clear();
    EXPECT_EQ(teste::validaEsquema(nfce.corpo.toUtf8(), esquema(u"nfe/enviNFe_v4.00.xsd"_s)), QString());

    // A blank CSC id counts as 1, in the parameters and in the hashed text.
    c.idToken.clear();
    EXPECT_TRUE(constroiCorpo(c).corpo.contains(u"?p="_s + parametros + u'|'));
}

// An NFC-e in contingency (tpEmis 9): its QR group is made from the signed document. Version 2
// carries the signature's digest; version 3 a signature of the parameters by the company
// certificate, which the certificate's public key verifies (checked with the openssl command).
TEST(Construtores, NFCeEmContingenciaQrDoDocumentoAssinado) {
    PULA_SEM_REFERENCIA();
    PedidoCorpo c = pedido(u"NFCe"_s, u"Recepcao"_s, u"4.00"_s);
    c.token = u"0123456789ABCDEF"_s;
    c.idToken = u"2"_s;
    c.documento = documentoReal(u"nfce/41180526972743000117650010001220251914636324-procNFe.xml"_s, u"NFe"_s,
                                u"infNFeSupl"_s)
                      .replace(u"<tpEmis>1</tpEmis>"_s, u"<tpEmis>9</tpEmis>"_s)
                      .replace(u"<cDV>4</cDV>"_s, u"<cDV>0</cDV>"_s)
                      .replace(u"NFe41180526972743000117650010001220251914636324"_s,
                               u"NFe41180526972743000117650010001220259914636320"_s);
    c.paginaChave = u"https://www.fazenda.pr.gov.br/nfce/consulta"_s;
    c.assinaQr = [](const QByteArray& texto) {
        return assinaTextoSha1(CertificadosTeste::instancia().empresa(), texto);
    };
    // The key of a contingency document (tpEmis 9 at position 35, check digit worked out apart).
    const QString chave = u"41180526972743000117650010001220259914636320"_s;
    const QString pagina = u"https://www.sefaz.rs.gov.br/NFCE/NFCE-COM.aspx?p="_s;

    const CorpoConstruido v2 = constroiCorpo(c);
    ASSERT_FALSE(v2.assinaturaFalhou);
    const QString d2 = v2.documento.value_or(QString());
    const qsizetype inicioDigest = d2.indexOf(u"<DigestValue>"_s) + 13;
    const QString digest = d2.mid(inicioDigest, d2.indexOf(u"</DigestValue>"_s) - inicioDigest);
    ASSERT_EQ(digest.size(), 28);
    const QString parametros2 =
        chave + u"|2|2|14|400.00|"_s + QString::fromLatin1(digest.toLatin1().toHex()) + u"|2"_s;
    EXPECT_TRUE(d2.contains(u"<infNFeSupl><qrCode><![CDATA["_s + pagina + parametros2 + u'|' +
                            Calcula_Sha1(parametros2 + u"0123456789ABCDEF"_s) +
                            u"]]></qrCode><urlChave>https://www.fazenda.pr.gov.br/nfce/consulta</urlChave>"
                            "</infNFeSupl><Signature"_s))
        << d2.right(1500).toStdString();
    EXPECT_EQ(teste::validaEsquema(v2.corpo.toUtf8(), esquema(u"nfe/enviNFe_v4.00.xsd"_s)), QString());

    c.versaoQr = 3;
    const CorpoConstruido v3 = constroiCorpo(c);
    ASSERT_FALSE(v3.assinaturaFalhou);
    const QString d3 = v3.documento.value_or(QString());
    const QString assinado = chave + u"|3|2|14|400.00|2|27933300944"_s;
    const QString marca = u"<qrCode><![CDATA["_s + pagina + assinado + u'|';
    const qsizetype inicio = d3.indexOf(marca);
    ASSERT_GE(inicio, 0) << d3.right(1500).toStdString();
    const qsizetype inicioAssinatura = inicio + marca.size();
    const QByteArray assinatura = QByteArray::fromBase64(
        d3.mid(inicioAssinatura, d3.indexOf(u"]]>"_s, inicioAssinatura) - inicioAssinatura).toLatin1(),
        QByteArray::AbortOnBase64DecodingErrors);
    ASSERT_EQ(assinatura.size(), 256) << "RSA 2048";
    QTemporaryDir pasta;
    const auto grava = [&pasta](const char* nome, const QByteArray& dados) {
        QFile f(pasta.filePath(QString::fromLatin1(nome)));
        return f.open(QIODevice::WriteOnly) && f.write(dados) == dados.size();
    };
    ASSERT_TRUE(grava("cert.pem", CertificadosTeste::instancia().empresa().materialTls().certificadoPem));
    ASSERT_TRUE(grava("texto", assinado.toUtf8()));
    ASSERT_TRUE(grava("assinatura", assinatura));
    QProcess chavePublica;
    chavePublica.start(u"openssl"_s,
                       {u"x509"_s, u"-pubkey"_s, u"-noout"_s, u"-in"_s, pasta.filePath(u"cert.pem"_s)});
    ASSERT_TRUE(chavePublica.waitForFinished(30000));
    ASSERT_TRUE(grava("pub.pem", chavePublica.readAllStandardOutput()));
    QProcess verifica;
    verifica.start(u"openssl"_s,
                   {u"dgst"_s, u"-sha1"_s, u"-verify"_s, pasta.filePath(u"pub.pem"_s), u"-signature"_s,
                    pasta.filePath(u"assinatura"_s), pasta.filePath(u"texto"_s)});
    ASSERT_TRUE(verifica.waitForFinished(30000));
    EXPECT_EQ(verifica.exitCode(), 0)
        << verifica.readAllStandardOutput().toStdString() << verifica.readAllStandardError().toStdString();

    // Without a key that can sign the parameters, nothing goes out.
    c.assinaQr = [](const QByteArray&) { return QString(); };
    EXPECT_TRUE(constroiCorpo(c).assinaturaFalhou);
    // On line, version 3 signs nothing and needs no CSC.
    c.documento.replace(u"<tpEmis>9</tpEmis>"_s, u"<tpEmis>1</tpEmis>"_s);
    c.token.clear();
    const CorpoConstruido online = constroiCorpo(c);
    EXPECT_FALSE(online.assinaturaFalhou);
    EXPECT_TRUE(online.corpo.contains(u"<qrCode><![CDATA["_s + pagina + chave + u"|3|2]]></qrCode>"_s));
}

TEST(Construtores, AutorizacaoMDFeCompactadaEEventos) {
    PULA_SEM_REFERENCIA();
    const QString amostras = teste::pastaReferencia() + u"/samples/"_s;
    PedidoCorpo m = pedido(u"MDFe"_s, u"Recepcao"_s, u"3.00"_s);
    m.documento = documentoReal(u"mdfe/24210131626841000132580010000004881636061008-mdfe.xml"_s, u"MDFe"_s,
                                u"infMDFeSupl"_s);
    const CorpoConstruido mdfe = constroiCorpo(m);
    EXPECT_EQ(mdfe.chave, u"24210131626841000132580010000004881636061008"_s);
    EXPECT_TRUE(mdfe.corpo.startsWith(u"H4sIAAAAAAAA/"_s)) << "Base64 of a gzip member with our header";
    const QByteArray documento = DescompactaBytes(mdfe.corpo);
    EXPECT_TRUE(documento.contains("<infMDFeSupl><qrCodMDFe><![CDATA[https://"));
    EXPECT_TRUE(documento.contains("?chMDFe=24210131626841000132580010000004881636061008&tpAmb=2]]>"));
    EXPECT_EQ(teste::validaEsquema(documento, esquema(u"mdfe/mdfe_v3.00.xsd"_s)), QString());

    PedidoCorpo e = pedido(u"NFe"_s, u"Evento"_s, u"1.00"_s);
    e.documento = teste::semAssinatura(
        amostras + u"events/110110-53181011028793000173550010000066701204276800-1-procEventoNfe.xml"_s,
        u"<evento"_s, u"</evento>"_s);
    const CorpoConstruido evento = constroiCorpo(e);
    EXPECT_TRUE(
        evento.corpo.startsWith(u"<envEvento xmlns=\"http://www.portalfiscal.inf.br/nfe\" versao=\"1.00\">"
                                "<idLote>1</idLote><evento"_s));
    EXPECT_EQ(
        teste::validaEsquema(evento.corpo.toUtf8(), esquema(u"nfe/evento_generico/envEvento_v1.00.xsd"_s)),
        QString());

    PedidoCorpo i = pedido(u"NFe"_s, u"Inutilizar"_s, u"4.00"_s);
    i.documento =
        teste::semAssinatura(amostras + u"requests/request_inut_cnpj.xml"_s, u"<inutNFe"_s, u"</inutNFe>"_s);
    const CorpoConstruido inut = constroiCorpo(i);
    EXPECT_TRUE(inut.corpo.startsWith(u"<inutNFe"_s));
    EXPECT_EQ(teste::validaEsquema(inut.corpo.toUtf8(), esquema(u"nfe/inutNFe_v4.00.xsd"_s)), QString());
}

TEST(Construtores, AssinaturaQueFalhaSegueComTextoVazio) {
    PedidoCorpo p = pedido(u"CTe"_s, u"Evento"_s, u"4.00"_s);
    p.documento = u"<eventoCTe><infEvento Id=\"x\"></eventoCTe>"_s;
    const CorpoConstruido c = constroiCorpo(p);
    EXPECT_TRUE(c.assinaturaFalhou);
    EXPECT_TRUE(c.corpo.isEmpty());
}

TEST(Envelopes, FamiliasECabecalho) {
    Endpoint nfe{u"https://h/x"_s, u"a"_s, u"http://www.portalfiscal.inf.br/nfe/wsdl/NFeStatusServico4"_s,
                 u"4.00"_s};
    EXPECT_EQ(
        envelopeSefaz(TipoDocumento::NFe, nfe, u"43"_s, u"<c/>"_s),
        u"<?xml version=\"1.0\" encoding=\"UTF-8\"?><soap:Envelope "
        "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
        "xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\" "
        "xmlns:soap=\"http://www.w3.org/2003/05/soap-envelope\"><soap:Body><nfeDadosMsg "
        "xmlns=\"http://www.portalfiscal.inf.br/nfe/wsdl/NFeStatusServico4\"><c/></nfeDadosMsg></soap:Body>"
        "</soap:Envelope>"_s);
    Endpoint mdfe{u"https://h/x"_s, u"a"_s, u"http://www.portalfiscal.inf.br/mdfe/wsdl/MDFeStatusServico"_s,
                  u"3.00"_s};
    EXPECT_TRUE(
        envelopeSefaz(TipoDocumento::MDFe, mdfe, u"43"_s, u"<c/>"_s)
            .contains(u"<soap:Header><mdfeCabecMsg xmlns=\"http://www.portalfiscal.inf.br/mdfe/wsdl/"
                      "MDFeStatusServico\"><cUF>43</cUF><versaoDados>3.00</versaoDados></mdfeCabecMsg>"
                      "</soap:Header><soap:Body><mdfeDadosMsg"_s));
    Endpoint cte{u"https://h/x"_s, u"a"_s, u"http://www.portalfiscal.inf.br/cte/wsdl/CTeRecepcaoSincV4"_s,
                 u"4.00"_s};
    EXPECT_TRUE(envelopeSefaz(TipoDocumento::CTe, cte, u"43"_s, u"H4sIAAAA"_s)
                    .contains(u"<soap:Body><cteDadosMsg xmlns=\"http://www.portalfiscal.inf.br/cte/wsdl/"
                              "CTeRecepcaoSincV4\">H4sIAAAA</cteDadosMsg>"_s));
    Endpoint dist{u"https://h/x"_s, u"a"_s, u"http://www.portalfiscal.inf.br/nfe/wsdl/NFeDistribuicaoDFe"_s,
                  u"1.01"_s};
    EXPECT_TRUE(
        envelopeDistribuicao(dist, u"<d/>"_s)
            .contains(u"<soap:Body><nfeDistDFeInteresse xmlns=\"http://www.portalfiscal.inf.br/nfe/wsdl/"
                      "NFeDistribuicaoDFe\"><nfeDadosMsg xmlns=\"http://www.portalfiscal.inf.br/nfe/wsdl/"
                      "NFeDistribuicaoDFe\"><d/></nfeDadosMsg></nfeDistDFeInteresse></soap:Body>"_s));
    EXPECT_TRUE(
        envelopeNddCargo(u"<message/>"_s)
            .endsWith(u"<soap12:Body><Send xmlns=\"http://tempuri.org/\"><message/></Send></soap12:Body>"
                      "</soap12:Envelope>"_s));
}

TEST(Envelopes, MensagemEscapadaNaRespostaDesfeitaUmaVez) {
    // A message that travels as text inside the body: undone once, its own escapes kept.
    const QString escapada =
        u"<soap:Body><r>&lt;retEvento versao=&quot;1.00&quot;&gt;&lt;cStat&gt;135&lt;/cStat&gt;"
        "&lt;xMotivo&gt;Evento registrado &amp;amp; vinculado &#233;&lt;/xMotivo&gt;"
        "&lt;/retEvento&gt;</r></soap:Body>"_s;
    EXPECT_EQ(xmlDaResposta(escapada),
              u"<soap:Body><r><retEvento versao=\"1.00\"><cStat>135</cStat><xMotivo>Evento registrado &amp; "
              "vinculado é</xMotivo></retEvento></r></soap:Body>"_s);
    // A message that is XML already is not touched: its escapes belong to its values.
    const QString xml = u"<retEvento><cStat>135</cStat><xMotivo>A &amp; B &lt;C&gt;</xMotivo></retEvento>"_s;
    EXPECT_EQ(xmlDaResposta(xml), xml);
}

} // namespace
