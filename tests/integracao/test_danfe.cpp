// The DANFE through the real program: "GERAR PDF" of real NF-e and of a generated one with many
// items, checked by the PDF's text and page count; "IMPRIMIR" without a window.

#include "programa.h"

#include <QRegularExpression>

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

// An NF-e of many items, as a calling application would store it.
QByteArray nfeComItens(int itens) {
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
           "<dhEmi>2024-01-15T10:00:00-03:00</dhEmi><tpNF>1</tpNF><tpEmis>1</tpEmis><finNFe>1</finNFe></"
           "ide><emit>"
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
           ".00</vNF></ICMSTot></total><transp><modFrete>9</modFrete></transp><pag><detPag><tPag>01</tPag>"
           "</detPag></pag></infNFe></NFe><protNFe versao=\"4.00\"><infProt><nProt>143240000012345</nProt>"
           "<dhRecbto>2024-01-15T10:01:00-03:00</dhRecbto><cStat>100</cStat></infProt></protNFe></nfeProc>";
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
    }
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
}

TEST_F(Danfe, ImprimirSemJanelaEArquivoQueFalta) {
    teste::escreve(raiz() + u"/nfe.xml"_s, nfeComItens(3));
    noLocal(u"Qel_DFe.EML"_s, "x");
    const Execucao r = gera(raiz() + u"/nfe.xml"_s, {}, "IMPRIMIR");
    EXPECT_EQ(r.codigo, 0) << r.saida.toStdString();
    EXPECT_TRUE(r.saida.contains(u"Pré-visualização ignorada: sem janela"_s)) << r.saida.toStdString();
    EXPECT_FALSE(QFile::exists(raiz() + u"/Qel/Danfe1234-1.PDF"_s));

    const Execucao falta = gera(raiz() + u"/nao-existe.xml"_s);
    EXPECT_EQ(falta.codigo, 1);
    EXPECT_TRUE(falta.saida.contains(u"Arquivo não encontrado"_s));
}

} // namespace
