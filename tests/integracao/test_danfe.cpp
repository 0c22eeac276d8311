// The DANFE through the real program: "GERAR PDF" of real NF-e and of a generated one with many
// items, checked by the PDF's text and page count and by its barcode read back from renders the
// way a scanner would see a print; "IMPRIMIR" without a window.

#include "programa.h"

#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>

using namespace Qt::StringLiterals;

namespace {

QString comando(const QString& programa, const QStringList& argumentos) {
    QProcess p;
    p.start(programa, argumentos);
    p.waitForFinished(60000);
    return QString::fromUtf8(p.readAllStandardOutput());
}

int paginasDoPdf(const QString& arquivo) {
    const auto achado = QRegularExpression(u"Pages:\\s+(\\d+)"_s).match(comando(u"pdfinfo"_s, {arquivo}));
    return achado.hasMatch() ? achado.captured(1).toInt() : 0;
}

bool temPrograma(const QString& programa) {
    return !QStandardPaths::findExecutable(programa).isEmpty();
}

// What an independent reader (zbarimg) finds on page 1 of the PDF rendered at `dpi`: one line
// per symbol, "CODE-128:..." or "QR-Code:...".
QStringList codigosLidos(const QString& pdf, int dpi) {
    QTemporaryDir pasta;
    const QString imagem = pasta.path() + u"/pagina"_s;
    QProcess::execute(u"pdftoppm"_s, {u"-r"_s, QString::number(dpi), u"-f"_s, u"1"_s, u"-l"_s, u"1"_s,
                                      u"-singlefile"_s, u"-png"_s, pdf, imagem});
    return comando(u"zbarimg"_s, {u"-q"_s, imagem + u".png"_s}).split(u'\n', Qt::SkipEmptyParts);
}

QString primeiro(const QString& xml, const QString& elemento, qsizetype depois = 0) {
    const qsizetype a = xml.indexOf(u'<' + elemento + u'>', depois);
    if (a < 0) return {};
    const qsizetype inicio = a + elemento.size() + 2;
    return xml.mid(inicio, xml.indexOf(u"</"_s + elemento + u'>', inicio) - inicio);
}

QString chaveAgrupada(const QString& c) {
    return c.left(2) + u'.' + c.mid(2, 4) + u'.' + c.mid(6, 14) + u'.' + c.mid(20, 2) + u'.' + c.mid(22, 3) +
           u'.' + c.mid(25, 9) + u'.' + c.mid(34, 9) + u'-' + c.mid(43, 1);
}

// An NF-e of many items, as a calling application would store it; `ide`, `cobr`/`pag` and the
// protocol can be replaced to try the rules of the boxes.
QByteArray
nfeComItens(int itens, const QByteArray& ideExtra = {}, const QByteArray& cobranca = {},
            const QByteArray& protocolo = "<protNFe versao=\"4.00\"><infProt><nProt>143240000012345</nProt>"
                                          "<dhRecbto>2024-01-15T10:01:00-03:00</dhRecbto><cStat>100</cStat>"
                                          "</infProt></protNFe>") {
    QByteArray det;
    for (int i = 1; i <= itens; ++i)
        det += "<det nItem=\"" + QByteArray::number(i) + "\"><prod><cProd>COD" + QByteArray::number(i) +
               "</cProd><cEAN>SEM GTIN</cEAN><xProd>PRODUTO NUMERO " + QByteArray::number(i) +
               "</xProd><NCM>84713012</NCM><CFOP>5102</CFOP><uCom>UN</uCom><qCom>2.0000</qCom><vUnCom>10.50</"
               "vUnCom>"
               "<vProd>21.00</vProd><uTrib>UN</uTrib><qTrib>2.0000</qTrib><vUnTrib>10.50</vUnTrib><indTot>1</"
               "indTot>"
               "</prod><imposto><ICMS><ICMSSN102><orig>0</orig><CSOSN>102</CSOSN></ICMSSN102></ICMS></"
               "imposto></det>";
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?><nfeProc xmlns=\"http://www.portalfiscal.inf.br/nfe\" "
           "versao=\"4.00\"><NFe><infNFe versao=\"4.00\" "
           "Id=\"NFe43240112345678000195550010000012341000012349\"><ide>"
           "<cUF>43</cUF><natOp>VENDA</natOp><mod>55</mod><serie>1</serie><nNF>1234</nNF>"
           "<dhEmi>2024-01-15T10:00:00-03:00</dhEmi><tpNF>1</tpNF>" +
           (ideExtra.isEmpty() ? QByteArray("<tpEmis>1</tpEmis>") : ideExtra) +
           "<finNFe>1</finNFe></ide><emit>"
           "<CNPJ>12345678000195</CNPJ><xNome>EMPRESA EMITENTE LTDA</xNome><enderEmit><xLgr>RUA "
           "A</xLgr><nro>1</nro>"
           "<xBairro>CENTRO</xBairro><xMun>LAJEADO</xMun><UF>RS</UF><CEP>95900000</CEP></enderEmit><IE>123</"
           "IE></emit>"
           "<dest><CNPJ>98765432000110</CNPJ><xNome>CLIENTE DESTINATARIO SA</xNome><enderDest><xLgr>AV "
           "B</xLgr>"
           "<nro>2</nro><xBairro>BAIRRO</xBairro><xMun>ESTRELA</xMun><UF>RS</UF><CEP>95880000</CEP></"
           "enderDest></dest>" +
           det + "<total><ICMSTot><vBC>0.00</vBC><vICMS>0.00</vICMS><vProd>" +
           QByteArray::number(itens * 21) + ".00</vProd><vNF>" + QByteArray::number(itens * 21) +
           ".00</vNF></ICMSTot></total><transp><modFrete>9</modFrete></transp>" +
           (cobranca.isEmpty() ? QByteArray("<pag><detPag><tPag>01</tPag></detPag></pag>") : cobranca) +
           "</infNFe></NFe>" + protocolo + "</nfeProc>";
}

class Danfe : public ::testing::Test, protected Programa {
protected:
    Execucao gera(const QString& arquivo, const QByteArray& pdf = {},
                  const QByteArray& tarefa = "GERAR PDF") {
        noLocal(u"Qel_DFe.Qel"_s, "TAREFA " + tarefa + "\r\nARQUIVO " + arquivo.toUtf8() + "\r\n" +
                                      (pdf.isEmpty() ? QByteArray() : "PDF " + pdf + "\r\n"));
        return roda();
    }
};

TEST_F(Danfe, AmostrasReaisViramPdfComSeusDados) {
    PULA_SEM_REFERENCIA();
    const QDir amostras(teste::pastaReferencia() + u"/samples/nfe"_s);
    for (const QString& nome : amostras.entryList({u"*.xml"_s}, QDir::Files)) {
        SCOPED_TRACE(nome.toStdString());
        const QString xml = QString::fromUtf8(teste::le(amostras.filePath(nome)));
        const QString chave = QRegularExpression(u"Id=\"NFe(\\d{44})\""_s).match(xml).captured(1);
        const int nNF = primeiro(xml, u"nNF"_s).toInt();
        const Execucao r = gera(amostras.filePath(nome));
        EXPECT_EQ(r.codigo, 0) << r.saida.toStdString() << r.erros.toStdString();
        const QString pdf = raiz() + u"/Qel/Danfe"_s + QString::number(nNF) + u"-1.PDF"_s;
        ASSERT_TRUE(QFile::exists(pdf)) << r.saida.toStdString();
        QString texto;
        for (int p = 1; QFile::exists(raiz() + u"/Qel/Danfe"_s + QString::number(nNF) + u'-' +
                                      QString::number(p) + u".PDF"_s);
             ++p)
            texto += comando(u"pdftotext"_s, {u"-layout"_s,
                                              raiz() + u"/Qel/Danfe"_s + QString::number(nNF) + u'-' +
                                                  QString::number(p) + u".PDF"_s,
                                              u"-"_s});
        EXPECT_TRUE(texto.contains(chaveAgrupada(chave))) << texto.left(2000).toStdString();
        const QString numero = QString::number(nNF).rightJustified(9, u'0');
        EXPECT_TRUE(texto.contains(numero.left(3) + u'.' + numero.mid(3, 3) + u'.' + numero.mid(6, 3)));
        const QString emitente = primeiro(xml, u"xNome"_s, xml.indexOf(u"<emit>"_s));
        const QString destinatario = primeiro(xml, u"xNome"_s, xml.indexOf(u"<dest>"_s));
        EXPECT_TRUE(texto.contains(emitente.left(20))) << emitente.toStdString();
        EXPECT_TRUE(texto.contains(destinatario.left(20))) << destinatario.toStdString();
        // Every item's code is on some page.
        for (qsizetype de = xml.indexOf(u"<det "_s); de >= 0; de = xml.indexOf(u"<det "_s, de + 1)) {
            const QString codigo = primeiro(xml, u"cProd"_s, de);
            const QString ean = primeiro(xml, u"cEAN"_s, de);
            EXPECT_TRUE(texto.contains(codigo) || (!ean.isEmpty() && texto.contains(ean)))
                << codigo.toStdString();
        }
        // The key's barcode reads back, as a scan of a print or a fax would show it.
        if (!temPrograma(u"zbarimg"_s)) continue;
        for (const int dpi : {300, 150})
            EXPECT_EQ(codigosLidos(pdf, dpi), QStringList{u"CODE-128:"_s + chave}) << dpi << " dpi";
    }
    if (!temPrograma(u"zbarimg"_s)) GTEST_SKIP() << "zbarimg not found (zbar-tools): barcodes not read back";
}

TEST_F(Danfe, MuitosItensEmUmArquivoDePaginasNumeradas) {
    teste::escreve(raiz() + u"/nfe300.xml"_s, nfeComItens(300));
    const QString pdf = raiz() + u"/saida/danfe.pdf"_s;
    const Execucao r = gera(raiz() + u"/nfe300.xml"_s, pdf.toUtf8());
    EXPECT_EQ(r.codigo, 0) << r.saida.toStdString() << r.erros.toStdString();
    ASSERT_TRUE(QFile::exists(pdf)) << r.saida.toStdString();
    const QString texto = comando(u"pdftotext"_s, {pdf, u"-"_s});
    const auto total = QRegularExpression(u"Pagina 1 de (\\d+)"_s).match(texto);
    ASSERT_TRUE(total.hasMatch()) << texto.left(3000).toStdString();
    const int paginas = total.captured(1).toInt();
    EXPECT_GE(paginas, 4);
    EXPECT_EQ(paginasDoPdf(pdf), paginas);
    EXPECT_TRUE(
        texto.contains(u"Pagina "_s + QString::number(paginas) + u" de "_s + QString::number(paginas)));
    for (int i = 1; i <= 300; ++i)
        EXPECT_TRUE(texto.contains(u"PRODUTO NUMERO "_s + QString::number(i) + u'\n')) << i;
    EXPECT_TRUE(texto.contains(u"43.2401.12345678000195.55.001.000001234.100001234-9"_s));
    EXPECT_TRUE(texto.contains(u"6.300,00"_s)) << "the total";
    const QString info = comando(u"pdfinfo"_s, {pdf});
    EXPECT_TRUE(info.contains(QRegularExpression(u"Author: +Qel DFe"_s))) << info.toStdString();
    EXPECT_TRUE(info.contains(
        QRegularExpression(u"Subject: +DANFE da NF-e 43240112345678000195550010000012341000012349"_s)));
}

QByteArray duplicatas(int n) {
    QByteArray dup = "<cobr>";
    for (int i = 1; i <= n; ++i)
        dup += "<dup><nDup>00" + QByteArray::number(i) + "</nDup><dVenc>2024-0" + QByteArray::number(i) +
               "-10</dVenc><vDup>" + QByteArray::number(100 + i) + ".00</vDup></dup>";
    return dup + "</cobr><pag><detPag><tPag>15</tPag></detPag></pag>";
}

TEST_F(Danfe, ParcelasEPalavrasDeAviso) {
    const struct {
        const char* caso;
        QByteArray xml;
        QStringList presentes;
        QStringList ausentes;
    } casos[] = {
        {"three instalments",
         nfeComItens(1, {}, duplicatas(3)),
         {u"10/01/2024"_s, u"10/03/2024"_s, u"103,00"_s, u"Vencimentos 10/01/2024 10/02/2024 10/03/2024"_s},
         {u"A Vista"_s}},
        {"seven instalments",
         nfeComItens(1, {}, duplicatas(7)),
         {u"10/06/2024"_s, u"10/07/2024"_s, u"107,00"_s},
         {}},
        {"no instalments, paid on sight", nfeComItens(1), {u"A Vista"_s}, {u"A Prazo"_s}},
        {"no instalments, on credit",
         nfeComItens(1, {}, "<pag><detPag><tPag>05</tPag></detPag></pag>"),
         {u"A Prazo"_s},
         {u"A Vista"_s}},
        {"no payment",
         nfeComItens(1, {}, "<pag><detPag><tPag>90</tPag></detPag></pag>"),
         {},
         {u"A Vista"_s, u"A Prazo"_s}},
        {"never transmitted", nfeComItens(1, {}, {}, {}), {u"Não Transmitida"_s}, {u"143240000012345"_s}},
        {"denied",
         nfeComItens(1, {}, {}, "<protNFe><infProt><nProt>1</nProt><cStat>302</cStat></infProt></protNFe>"),
         {u"Denegada"_s},
         {}},
        {"authorised in EPEC", nfeComItens(1, "<tpEmis>4</tpEmis>"), {u"Contingencia"_s}, {}},
        {"authorised in SVC-AN", nfeComItens(1, "<tpEmis>6</tpEmis>"), {u"Contingencia"_s}, {}},
        {"authorised in SVC-RS", nfeComItens(1, "<tpEmis>7</tpEmis>"), {u"Contingencia"_s}, {}},
        {"issued offline", nfeComItens(1, "<tpEmis>9</tpEmis>"), {u"Contingencia"_s}, {}},
        {"normal emission", nfeComItens(1, "<tpEmis>1</tpEmis>"), {}, {u"Contingencia"_s}},
        {"denied in contingency: contingency is written last",
         nfeComItens(1, "<tpEmis>5</tpEmis>", {},
                     "<protNFe><infProt><nProt>1</nProt><cStat>302</cStat></infProt></protNFe>"),
         {u"Contingencia"_s},
         {u"Denegada"_s}},
    };
    for (const auto& c : casos) {
        SCOPED_TRACE(c.caso);
        teste::escreve(raiz() + u"/nfe.xml"_s, c.xml);
        const QString pdf = raiz() + u"/caso.pdf"_s;
        QFile::remove(pdf);
        const Execucao r = gera(raiz() + u"/nfe.xml"_s, pdf.toUtf8());
        ASSERT_EQ(r.codigo, 0) << r.saida.toStdString();
        const QString texto = comando(u"pdftotext"_s, {pdf, u"-"_s});
        for (const QString& t : c.presentes)
            EXPECT_TRUE(texto.contains(t)) << t.toStdString();
        for (const QString& t : c.ausentes)
            EXPECT_FALSE(texto.contains(t)) << t.toStdString();
    }
}

// A document of the tax reform (NT 2025.002: IBSCBSTot and vNFTot in total) prints its IBS and
// CBS totals as a third row of the tax block, between the totals and the carrier; one without
// them keeps the block as it was. With instalments the block has moved down already.
TEST_F(Danfe, TotaisDoIbsECbsNoQuadroDoImposto) {
    const QByteArray reforma =
        "</ICMSTot><IBSCBSTot><vBCIBSCBS>63.00</vBCIBSCBS><gIBS><gIBSUF><vDif>0.00</vDif>"
        "<vDevTrib>0.00</vDevTrib><vIBSUF>0.04</vIBSUF></gIBSUF><gIBSMun><vDif>0.00</vDif>"
        "<vDevTrib>0.00</vDevTrib><vIBSMun>0.02</vIBSMun></gIBSMun><vIBS>0.06</vIBS><vCredPres>0.00</"
        "vCredPres>"
        "<vCredPresCondSus>0.00</vCredPresCondSus></gIBS><gCBS><vDif>0.00</vDif><vDevTrib>0.00</vDevTrib>"
        "<vCBS>1234.57</vCBS><vCredPres>0.00</vCredPres><vCredPresCondSus>0.00</vCredPresCondSus></gCBS>"
        "</IBSCBSTot><vNFTot>1297.63</vNFTot></total>";
    const auto comReforma = [&](QByteArray xml) { return xml.replace("</ICMSTot></total>", reforma); };
    const struct {
        const char* caso;
        QByteArray xml;
        bool reforma;
    } casos[] = {
        {"IBS and CBS totals", comReforma(nfeComItens(3)), true},
        {"IBS and CBS totals below a grown instalment box", comReforma(nfeComItens(3, {}, duplicatas(7))),
         true},
        {"no reform groups", nfeComItens(3), false},
    };
    for (const auto& c : casos) {
        SCOPED_TRACE(c.caso);
        teste::escreve(raiz() + u"/nfe.xml"_s, c.xml);
        const QString pdf = raiz() + u"/reforma.pdf"_s;
        QFile::remove(pdf);
        const Execucao r = gera(raiz() + u"/nfe.xml"_s, pdf.toUtf8());
        ASSERT_EQ(r.codigo, 0) << r.saida.toStdString();
        const QString texto = comando(u"pdftotext"_s, {u"-layout"_s, pdf, u"-"_s});
        const qsizetype totais = texto.indexOf(u"VALOR TOTAL DA NOTA"_s);
        const qsizetype linha = texto.indexOf(u"BASE DE CÁLCULO DO IBS/CBS"_s);
        const qsizetype transportador = texto.indexOf(u"TRANSPORTADOR"_s);
        ASSERT_GE(totais, 0) << texto.toStdString();
        ASSERT_GE(transportador, 0) << texto.toStdString();
        if (!c.reforma) {
            EXPECT_LT(linha, 0);
            EXPECT_FALSE(texto.contains(u"VALOR DA CBS"_s));
            continue;
        }
        EXPECT_GT(linha, totais);
        EXPECT_LT(linha, transportador);
        // The captions in their order, then the values under them, in the same order.
        EXPECT_TRUE(texto.contains(QRegularExpression(
            u"BASE DE CÁLCULO DO IBS/CBS\\s+VALOR DO IBS ESTADUAL\\s+VALOR DO IBS MUNICIPAL\\s+"
            "VALOR TOTAL DO IBS\\s+VALOR DA CBS\\s+V. TOTAL NOTA C/ IBS/CBS/IS\\s*\\n\\s*63,00\\s+0,04\\s+"
            "0,02\\s+0,06\\s+1.234,57\\s+1.297,63\\s*\\n"_s)))
            << texto.mid(totais, transportador - totais).toStdString();
        // Every item is still printed, none hidden under the row the item area gave up.
        for (const char* item : {"PRODUTO NUMERO 1", "PRODUTO NUMERO 3"})
            EXPECT_TRUE(texto.contains(QString::fromLatin1(item))) << item;
    }
}

TEST_F(Danfe, InformacoesLongasVaoParaAPaginaDeMensagens) {
    QByteArray linhas;
    for (int i = 1; i <= 30; ++i)
        linhas += "Observacao numero " + QByteArray::number(i) + "|";
    QByteArray xml = nfeComItens(2);
    xml.replace("</infNFe>", "<infAdic><infCpl>" + linhas + "RNTRC (12345678)</infCpl></infAdic></infNFe>");
    teste::escreve(raiz() + u"/nfe.xml"_s, xml);
    const QString pdf = raiz() + u"/longo.pdf"_s;
    ASSERT_EQ(gera(raiz() + u"/nfe.xml"_s, pdf.toUtf8()).codigo, 0);
    EXPECT_EQ(paginasDoPdf(pdf), 2) << "the DANFE page and the message page";
    const QString texto = comando(u"pdftotext"_s, {pdf, u"-"_s});
    EXPECT_TRUE(texto.contains(u"AVISO: Mensagens em Folha adicional"_s));
    EXPECT_TRUE(texto.contains(u"Página adicional de Mensagens"_s)) << texto.toStdString();
    for (int i = 1; i <= 30; ++i)
        EXPECT_TRUE(texto.contains(u"Observacao numero "_s + QString::number(i) + u'\n')) << i;
    EXPECT_TRUE(texto.contains(u"12345678"_s)) << "the RNTRC line goes to the ANTT box";
}

TEST_F(Danfe, NFCeEmA4ComQrCode) {
    PULA_SEM_REFERENCIA();
    teste::escreve(local(u"INI/26972743000117.ini"_s), "NFCE A4\r\n");
    const QString nfce = teste::pastaReferencia() +
                         u"/samples/nfce/41180526972743000117650010001220251914636324-procNFe.xml"_s;
    const QString pdf = raiz() + u"/nfce.pdf"_s;
    noLocal(u"Qel_DFe.Qel"_s, "TAREFA GERAR PDF\r\nCNPJ 26972743000117\r\nARQUIVO " + nfce.toUtf8() +
                                  "\r\nPDF " + pdf.toUtf8() + "\r\n");
    const Execucao r = roda();
    EXPECT_EQ(r.codigo, 0) << r.saida.toStdString();
    const QString texto = comando(u"pdftotext"_s, {pdf, u"-"_s});
    EXPECT_TRUE(texto.contains(u"DANFE NFC-e"_s)) << texto.left(1500).toStdString();
    EXPECT_TRUE(texto.contains(u"NFC-e - Não permite aproveitamento de crédito de ICMS."_s));
    // Without the setting the NFC-e is printed on the roll.
    QFile::remove(local(u"INI/26972743000117.ini"_s));
    noLocal(u"Qel_DFe.Qel"_s, "TAREFA GERAR PDF\r\nCNPJ 26972743000117\r\nARQUIVO " + nfce.toUtf8() +
                                  "\r\nPDF " + pdf.toUtf8() + "\r\n");
    ASSERT_EQ(roda().codigo, 0);
    EXPECT_TRUE(comando(u"pdfinfo"_s, {pdf}).contains(QRegularExpression(u"Page size:\\s+224 x"_s)));
}

TEST_F(Danfe, ImprimirSemJanelaEArquivoQueFalta) {
    teste::escreve(raiz() + u"/nfe.xml"_s, nfeComItens(3));
    // What an earlier export left: a print removes it, an export keeps it.
    teste::escreve(raiz() + u"/nfe.xml.EML"_s, "x");
    teste::escreve(raiz() + u"/Qel/Danfe1234-1.PDF"_s, "x");
    const Execucao r = gera(raiz() + u"/nfe.xml"_s, {}, "IMPRIMIR");
    EXPECT_EQ(r.codigo, 0) << r.saida.toStdString();
    EXPECT_TRUE(r.saida.contains(u"Pré-visualização ignorada: sem janela"_s)) << r.saida.toStdString();
    EXPECT_FALSE(QFile::exists(raiz() + u"/Qel/Danfe1234-1.PDF"_s));
    EXPECT_FALSE(QFile::exists(raiz() + u"/nfe.xml.EML"_s));
    teste::escreve(raiz() + u"/nfe.xml.EML"_s, "x");
    EXPECT_EQ(gera(raiz() + u"/nfe.xml"_s).codigo, 0);
    EXPECT_TRUE(QFile::exists(raiz() + u"/Qel/Danfe1234-1.PDF"_s));
    EXPECT_TRUE(QFile::exists(raiz() + u"/nfe.xml.EML"_s));

    const Execucao falta = gera(raiz() + u"/nao-existe.xml"_s);
    EXPECT_EQ(falta.codigo, 1);
    EXPECT_TRUE(falta.saida.contains(u"Arquivo não encontrado"_s));
}

} // namespace
