#include "util/codificacao.h"
#include "util/erros.h"
#include "util/leitor_xml.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <ostream>

using namespace Qt::StringLiterals;

void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}

namespace {

const QString kChave = u"35240112345678000195650010000012341000012345"_s;

// An authorised NFC-e as the archive keeps it: one line, the QR text in CDATA, two protocols.
const QString kNfeProc =
    u"<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
    "<nfeProc versao=\"4.00\" xmlns=\"http://www.portalfiscal.inf.br/nfe\"><NFe>"
    "<infNFe versao=\"4.00\" Id=\"NFe35240112345678000195650010000012341000012345\">"
    "<ide><cUF>35</cUF><nNF>1234</nNF></ide>"
    "<emit><CNPJ>12345678000195</CNPJ><xNome>Empresa Emitente Ltda</xNome>"
    "<enderEmit><xLgr>Rua A</xLgr><xCpl></xCpl><xMun>São Paulo</xMun></enderEmit></emit>"
    "<dest><CPF>12345678901</CPF><xNome>Maria [Teste] da Silva</xNome>"
    "<enderDest><xLgr>Rua B</xLgr><xMun>Campinas</xMun></enderDest></dest>"
    "<det nItem=\"1\"><prod><xProd>Parafuso</xProd><vProd>10.00</vProd></prod></det>"
    "<det nItem=\"2\"><prod><xProd>Porca</xProd><vProd>5.50</vProd></prod></det>"
    "<infAdic><obsCont xCampo=\"Pedido\"><xTexto>123</xTexto></obsCont>"
    "<obsCont xCampo=\"Vendedor\"><xTexto>Ana</xTexto></obsCont></infAdic>"
    "</infNFe><infNFeSupl><qrCode><![CDATA[https://www.sefaz.rs.gov.br/NFCE/NFCE-COM.aspx?p="
    "35240112345678000195650010000012341000012345|2|1|1|ABCDEF]]></qrCode></infNFeSupl></NFe>"
    "<protNFe versao=\"4.00\"><infProt><nProt>135240000000001</nProt><cStat>100</cStat></infProt></protNFe>"
    "<retEvento versao=\"1.00\"><infEvento Id=\"ID2\"><nProt>135240000000002</nProt><cStat>135</cStat>"
    "</infEvento></retEvento></nfeProc>"_s;

class leitorXmlNfe : public testing::Test {
protected:
    void SetUp() override { leitor.Carrega_XML(kNfeProc); }
    qel::LeitorXml leitor{u"NFCe"_s};
};

TEST_F(leitorXmlNfe, UmElementoPorLinha) {
    const QStringList& l = leitor.linhas();
    ASSERT_GE(l.size(), 10);
    EXPECT_EQ(l.at(0), u"<?xml version=\"1.0\" encoding=\"UTF-8\"?>"_s);
    EXPECT_TRUE(l.contains(u"<emit>"_s));
    EXPECT_TRUE(l.contains(u"<xNome>Empresa Emitente Ltda</xNome>"_s));
    EXPECT_TRUE(l.contains(u"<xCpl>"_s)); // an empty element splits in two
    EXPECT_TRUE(l.contains(u"</xCpl>"_s));
    for (const QString& linha : l)
        EXPECT_FALSE(linha.contains(u"><"_s)) << linha.toStdString();
}

TEST_F(leitorXmlNfe, GruposEmitEDest) {
    ASSERT_TRUE(leitor.Seleciona_Grupo(u"emit"_s));
    EXPECT_EQ(leitor.Busca_Valor(u"xNome"_s, QString(), 0), u"Empresa Emitente Ltda"_s);
    // Tags and attributes are upper-cased, element text keeps its case.
    EXPECT_TRUE(leitor.linhasGrupo().contains(u"<XNOME>Empresa Emitente Ltda</XNOME>"_s));
    EXPECT_FALSE(leitor.linhasGrupo().contains(u"<emit>"_s));
    EXPECT_EQ(leitor.Busca_Valor(u"xMun"_s, u"enderEmit"_s, 0), u"São Paulo"_s);
    EXPECT_EQ(leitor.Busca_Valor(u"XMUN"_s), u"São Paulo"_s); // names compare without case
    EXPECT_EQ(leitor.Busca_Valor(u"xCpl"_s), QString());      // empty element, no crash

    ASSERT_TRUE(leitor.Seleciona_Grupo(u"dest"_s));
    // "[" and "]" never reach a printout.
    EXPECT_EQ(leitor.Busca_Valor(u"xNome"_s, QString(), 0), u"Maria Teste da Silva"_s);
    EXPECT_EQ(leitor.Busca_Valor(u"CNPJ"_s), QString());
    EXPECT_EQ(leitor.Busca_Valor(u"CPF"_s), u"12345678901"_s);
}

TEST_F(leitorXmlNfe, OcorrenciaESubgrupo) {
    ASSERT_TRUE(leitor.Seleciona_Grupo(u"infNFe"_s));
    const struct {
        QString nome;
        QString grupo;
        int indice;
        QString esperado;
    } casos[] = {
        {u"xProd"_s, QString(), 0, u"Parafuso"_s},
        {u"xProd"_s, QString(), 1, u"Parafuso"_s},
        {u"xProd"_s, QString(), 2, u"Porca"_s},
        {u"xProd"_s, QString(), 3, QString()},
        {u"xMun"_s, u"enderEmit"_s, 0, u"São Paulo"_s},
        {u"xMun"_s, u"enderDest"_s, 0, u"Campinas"_s},
        // The search stays inside the sub-group: the first xMun is not in "ide".
        {u"xMun"_s, u"ide"_s, 0, QString()},
        {u"xLgr"_s, u"enderDest"_s, 2, QString()},
        {u"xMun"_s, u"transp"_s, 0, QString()},
    };
    for (const auto& c : casos) {
        SCOPED_TRACE(c.nome.toStdString() + " em " + c.grupo.toStdString() + " #" + std::to_string(c.indice));
        EXPECT_EQ(leitor.Busca_Valor(c.nome, c.grupo, c.indice), c.esperado);
    }
}

TEST_F(leitorXmlNfe, GrupoComAtributoEscolheOItem) {
    ASSERT_TRUE(leitor.Seleciona_Grupo(u"det nItem=\"2\""_s));
    EXPECT_EQ(leitor.Busca_Valor(u"xProd"_s), u"Porca"_s);
    EXPECT_EQ(leitor.Busca_Valor(u"vProd"_s), u"5.50"_s);
    ASSERT_TRUE(leitor.Seleciona_Grupo(u"det"_s));
    EXPECT_EQ(leitor.Busca_Valor(u"xProd"_s), u"Parafuso"_s); // the first element only
}

TEST_F(leitorXmlNfe, GrupoAusente) {
    ASSERT_TRUE(leitor.Seleciona_Grupo(u"emit"_s));
    EXPECT_FALSE(leitor.Seleciona_Grupo(u"transp"_s));
    EXPECT_TRUE(leitor.linhasGrupo().isEmpty());
    EXPECT_EQ(leitor.Busca_Valor(u"xNome"_s), QString());
}

TEST_F(leitorXmlNfe, NomesEspeciais) {
    EXPECT_EQ(leitor.Busca_Valor(u"QRCode"_s),
              u"https://www.sefaz.rs.gov.br/NFCE/NFCE-COM.aspx?p="_s + kChave + u"|2|1|1|ABCDEF"_s);
    EXPECT_EQ(leitor.Busca_Valor(u"Tipo de Documento"_s), u"NFe"_s);

    EXPECT_EQ(leitor.Busca_Valor(u"Nome xCampo"_s, QString(), 0), u"Pedido"_s);
    EXPECT_EQ(leitor.Busca_Valor(u"Nome xCampo"_s, QString(), 1), u"Pedido"_s);
    EXPECT_EQ(leitor.Busca_Valor(u"Nome xCampo"_s, QString(), 2), u"Vendedor"_s);
    EXPECT_EQ(leitor.Busca_Valor(u"Nome xCampo"_s, QString(), 3), QString());

    // Whole document, without a selected group.
    EXPECT_EQ(leitor.Busca_Valor(u"*nProt"_s), u"135240000000001"_s);
    EXPECT_EQ(leitor.Busca_Valor(u"*nProt"_s, u"Ultimo"_s), u"135240000000002"_s);
    EXPECT_EQ(leitor.Busca_Valor(u"* cstat "_s, u"Ultimo"_s), u"135"_s);
    EXPECT_EQ(leitor.Busca_Valor(u"<infEvento"_s), u"<infEvento Id=\"ID2\">"_s);
    EXPECT_EQ(leitor.Busca_Valor(u"<INFPROT"_s), u"<infProt>"_s);
    EXPECT_EQ(leitor.Busca_Valor(u"nProt"_s, u"EVT"_s), u"135240000000001"_s);
    EXPECT_EQ(leitor.Busca_Valor(u"NPROT"_s, u"EVT"_s), QString()); // case-sensitive there
}

TEST_F(leitorXmlNfe, ChaveEVersaoDependemDoTipo) {
    const struct {
        QString tipo;
        QString chave;
        QString versao;
    } casos[] = {
        {u"NFCe"_s, kChave, u"4.00"_s},
        {u" nfe "_s, kChave, u"4.00"_s},
        {u"CTe"_s, QString(), QString()}, // no infCte line
        {QString(), QString(), QString()},
    };
    for (const auto& c : casos) {
        SCOPED_TRACE(c.tipo.toStdString());
        leitor.defineTipo(c.tipo);
        EXPECT_EQ(leitor.Busca_Valor(u"Chave de Acesso"_s), c.chave);
        EXPECT_EQ(leitor.Busca_Valor(u"Versao"_s), c.versao);
    }
}

TEST(leitorXml, ChaveDeOutrosModelos) {
    const QString chaveMdfe = u"35240112345678000195580010000000011000000019"_s;
    qel::LeitorXml leitor(u"MDFe"_s);
    leitor.Carrega_XML(
        u"<mdfeProc><MDFe><infMDFe versao=\"3.00\" Id=\"MDFe"_s + chaveMdfe +
        u"\"><ide/></infMDFe><infMDFeSupl><qrCodMDFe><![CDATA[https://x/mdfe/qrCode?chMDFe="_s + chaveMdfe +
        u"&tpAmb=1]]></qrCodMDFe></infMDFeSupl></MDFe></mdfeProc>"_s);
    EXPECT_EQ(leitor.Busca_Valor(u"Chave de Acesso"_s), chaveMdfe);
    EXPECT_EQ(leitor.Busca_Valor(u"Versao"_s), u"3.00"_s);
    EXPECT_EQ(leitor.Busca_Valor(u"Tipo de Documento"_s), u"MDFe"_s);
    EXPECT_EQ(leitor.Busca_Valor(u"QRCode"_s),
              u"https://x/mdfe/qrCode?chMDFe="_s + chaveMdfe + u"&tpAmb=1"_s);

    // An Id that is not prefix + 44 digits gives nothing rather than a wrong key.
    leitor.defineTipo(u"CTe"_s);
    leitor.Carrega_XML(u"<CTe><infCte versao=\"4.00\" Id=\"CTe3524011234567800019557001000000001100000001\">"
                       "<ide/></infCte></CTe>"_s);
    EXPECT_EQ(leitor.Busca_Valor(u"Tipo de Documento"_s), u"CTe"_s);
    EXPECT_EQ(leitor.Busca_Valor(u"Chave de Acesso"_s), QString());
    EXPECT_EQ(leitor.Busca_Valor(u"QRCode"_s), QString()); // no CDATA anywhere
}

TEST(leitorXml, ElementoAninhadoDeMesmoNome) {
    // As in an ABRASF RPS: <Rps> inside the declaration inside <Rps>.
    qel::LeitorXml leitor;
    leitor.Carrega_XML(u"<Rps><InfDeclaracaoPrestacaoServico><Rps><IdentificacaoRps><Numero>15</Numero>"
                       "</IdentificacaoRps><DataEmissao>2024-01-02</DataEmissao></Rps>"
                       "<Competencia>2024-01-01</Competencia></InfDeclaracaoPrestacaoServico></Rps>"_s);
    ASSERT_TRUE(leitor.Seleciona_Grupo(u"Rps"_s));
    // The inner opening line is not taken and the inner closing line ends the group.
    EXPECT_EQ(
        leitor.linhasGrupo(),
        QStringList({u"<INFDECLARACAOPRESTACAOSERVICO>"_s, u"<IDENTIFICACAORPS>"_s, u"<NUMERO>15</NUMERO>"_s,
                     u"</IDENTIFICACAORPS>"_s, u"<DATAEMISSAO>2024-01-02</DATAEMISSAO>"_s}));
    EXPECT_EQ(leitor.Busca_Valor(u"Numero"_s, u"IdentificacaoRps"_s), u"15"_s);
    EXPECT_EQ(leitor.Busca_Valor(u"Competencia"_s), QString());
}

TEST(leitorXml, BrancosETabulacoesEntreElementos) {
    const struct {
        QString fonte;
        QStringList linhas;
    } casos[] = {
        {u"<a>   <b>x y</b>\t<c/></a>"_s, {u"<a>"_s, u"<b>x y</b>"_s, u"<c/>"_s, u"</a>"_s}},
        // Tabs go after the blanks: a tab then a blank leaves "> <" on one line.
        {u"<a>\t <b>1</b></a>"_s, {u"<a> <b>1</b>"_s, u"</a>"_s}},
        {u"<a>\r\n  <b>1</b>\r\n</a>\r\n"_s, {u"<a>"_s, u"  <b>1</b>"_s, u"</a>"_s}},
    };
    for (const auto& c : casos) {
        SCOPED_TRACE(c.fonte.toStdString());
        qel::LeitorXml leitor;
        leitor.Carrega_XML(c.fonte);
        EXPECT_EQ(leitor.linhas(), c.linhas);
    }
}

TEST(leitorXml, DocumentoIndentadoDeArquivo) {
    QTemporaryDir raiz;
    ASSERT_TRUE(raiz.isValid());
    qputenv("QEL_DFE_RAIZ", raiz.path().toLocal8Bit());
    ASSERT_TRUE(QDir(raiz.path()).mkpath(u"Qel/XML"_s));
    QFile arquivo(raiz.path() + u"/Qel/XML/nota.xml"_s);
    ASSERT_TRUE(arquivo.open(QIODevice::WriteOnly));
    arquivo.write(
        qel::paraCp1252(u"<nfeProc>\r\n  <NFe>\r\n    <emit>\r\n      <xNome>Padaria Pão Bom</xNome>\r\n"
                        "    </emit>\r\n  </NFe>\r\n  <protNFe>\r\n    <nProt>135</nProt>\r\n"
                        "  </protNFe>\r\n</nfeProc>\r\n"_s));
    arquivo.close();

    const QString fontes[] = {u"C:\\Qel\\XML\\nota.xml"_s, raiz.path() + u"/Qel/XML/nota.xml"_s};
    for (const QString& fonte : fontes) {
        SCOPED_TRACE(fonte.toStdString());
        qel::LeitorXml leitor;
        leitor.Carrega_XML(fonte);
        ASSERT_TRUE(leitor.Seleciona_Grupo(u"emit"_s));
        EXPECT_EQ(leitor.Busca_Valor(u"xNome"_s), u"Padaria Pão Bom"_s);
        EXPECT_EQ(leitor.Busca_Valor(u"*nProt"_s), u"135"_s);
    }

    qel::LeitorXml leitor;
    EXPECT_THROW(leitor.Carrega_XML(u"C:\\Qel\\XML\\falta.xml"_s), qel::ErroInesperado);
    qunsetenv("QEL_DFE_RAIZ");
}

TEST(leitorXml, FonteQueNaoEhXmlNemCaminhoEsvaziaAsListas) {
    qel::LeitorXml leitor;
    leitor.Carrega_XML(kNfeProc);
    ASSERT_TRUE(leitor.Seleciona_Grupo(u"emit"_s));
    const QString fontes[] = {u"nota.xml"_s, QString(), u"<a>sem fim"_s};
    for (const QString& fonte : fontes) {
        SCOPED_TRACE(fonte.toStdString());
        leitor.Carrega_XML(fonte);
        EXPECT_TRUE(leitor.linhas().isEmpty());
        EXPECT_TRUE(leitor.linhasGrupo().isEmpty());
        EXPECT_EQ(leitor.Busca_Valor(u"*nProt"_s), QString());
    }
    // XML text followed by a line break is still XML text.
    leitor.Carrega_XML(kNfeProc + u"\r\n"_s);
    EXPECT_EQ(leitor.Busca_Valor(u"*nProt"_s), u"135240000000001"_s);
}

} // namespace
