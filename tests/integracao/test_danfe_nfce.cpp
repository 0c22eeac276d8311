// The DANFE NFC-e through the real program: "GERAR PDF" of the real NFC-e sample and of generated
// NFC-e procs, read back by the PDF's text, page size and text positions and by an independent
// QR reader; the rules and settings that change the receipt; and an NFC-e authorised by the local
// authority simulator and printed on the queue of the settings, with the copies and the question
// the settings ask for.

#include "autoridade.h"
#include "pdf_impresso.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QSizeF>
#include <QThread>
#include <cmath>

using namespace Qt::StringLiterals;

namespace {

constexpr double kPontosPorMm = 72 / 25.4;

// An NFC-e as the archive holds it: the document the tests' script makes (`itens` items), with its
// QR group and, unless `protocolo` is empty, the authority's protocol. `ajusta` edits the document
// before it is wrapped (a discount, a consumer, additional information...).
struct NfceGerada {
    QString chave;
    QString qr;
    QByteArray proc;
};

const QByteArray kProtocolo =
    "<protNFe versao=\"4.00\"><infProt><tpAmb>2</tpAmb><nProt>143260000000077</nProt>"
    "<dhRecbto>2026-12-01T10:00:05-03:00</dhRecbto><cStat>100</cStat>"
    "<xMotivo>Autorizado o uso da NF-e</xMotivo></infProt></protNFe>";

NfceGerada nfce(int numero, int itens, const std::function<void(QByteArray&)>& ajusta = {},
                const QByteArray& protocolo = kProtocolo) {
    const teste::Documento d = teste::documento(u"nfe"_s, numero, itens, u"65"_s);
    QByteArray nfe = d.texto.mid(d.texto.indexOf("<NFe"));
    if (ajusta) ajusta(nfe);
    const QString qr = u"https://www.sefaz.rs.gov.br/NFCE/NFCE-COM.aspx?p="_s + d.chave +
                       u"|2|2|1|3F1A9C0D2B7E4F6A8C1D3E5F7A9B0C2D4E6F8A1B"_s;
    nfe.replace("</NFe>", "<infNFeSupl><qrCode><![CDATA[" + qr.toUtf8() +
                              "]]></qrCode><urlChave>www.sefaz.rs.gov.br/nfce/consulta</urlChave>"
                              "</infNFeSupl></NFe>");
    return {d.chave, qr,
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?><nfeProc xmlns=\"http://www.portalfiscal.inf.br/nfe\" "
            "versao=\"4.00\">" +
                nfe + protocolo + "</nfeProc>"};
}

QString emQuatros(const QString& chave) {
    QStringList grupos;
    for (qsizetype i = 0; i < chave.size(); i += 4)
        grupos.append(chave.mid(i, 4));
    return grupos.join(u' ');
}

// The page of a one-page PDF in millimetres, and how far its lowest and rightmost words reach.
struct Pagina {
    QSizeF tamanho;
    double fundoTexto = 0;
    double direitaTexto = 0;
};

Pagina pagina(const QString& pdf) {
    Pagina p;
    const auto tamanho = QRegularExpression(u"Page size:\\s+([\\d.]+) x ([\\d.]+) pts"_s)
                             .match(impresso::comando(u"pdfinfo"_s, {pdf}));
    if (tamanho.hasMatch())
        p.tamanho = QSizeF(tamanho.captured(1).toDouble(), tamanho.captured(2).toDouble()) / kPontosPorMm;
    static const QRegularExpression palavra(u"<word xMin=\"[\\d.]+\" yMin=\"[\\d.]+\" xMax=\"([\\d.]+)\" "
                                            u"yMax=\"([\\d.]+)\""_s);
    const QString caixas = impresso::comando(u"pdftotext"_s, {u"-bbox"_s, pdf, u"-"_s});
    for (auto it = palavra.globalMatch(caixas); it.hasNext();) {
        const auto m = it.next();
        p.direitaTexto = std::max(p.direitaTexto, m.captured(1).toDouble() / kPontosPorMm);
        p.fundoTexto = std::max(p.fundoTexto, m.captured(2).toDouble() / kPontosPorMm);
    }
    return p;
}

// Whether the words of `frase` follow one another in the text, whatever the spacing and line
// breaks between them (a centred line may wrap, and pdftotext decides the blanks).
bool contem(const QString& texto, const QString& frase) {
    QStringList palavras;
    for (const QString& p : frase.split(u' ', Qt::SkipEmptyParts))
        palavras.append(QRegularExpression::escape(p));
    return texto.contains(QRegularExpression(palavras.join(u"\\s+"_s)));
}

class DanfeNfce : public ::testing::Test, protected Programa {
protected:
    // "GERAR PDF" of a stored NFC-e of the test company into `pdf`.
    Execucao geraPdf(const QString& arquivo, const QString& pdf, const QByteArray& cnpj = "12345678000195") {
        QFile::remove(pdf);
        noLocal(u"Qel_DFe.Qel"_s, "TAREFA GERAR PDF\r\nCNPJ " + cnpj + "\r\nARQUIVO " + arquivo.toUtf8() +
                                      "\r\nPDF " + pdf.toUtf8() + "\r\n");
        return roda();
    }
};

TEST_F(DanfeNfce, UmaPaginaDoRoloComItensTotaisChaveEQrCodeLegivel) {
    struct Caso {
        QString nome;
        QString arquivo;
        QString chave, qr, numero, total, cnpj;
        QStringList itens; // words every item leaves on the receipt
        int quantidade = 1;
    };
    QList<Caso> casos;
    if (!teste::pastaReferencia().isEmpty()) {
        const QString amostra = teste::pastaReferencia() +
                                u"/samples/nfce/41180526972743000117650010001220251914636324-procNFe.xml"_s;
        const QString xml = QString::fromUtf8(teste::le(amostra));
        const qsizetype a = xml.indexOf(u"<![CDATA["_s) + 9;
        casos.append({u"real NFC-e"_s,
                      amostra,
                      u"41180526972743000117650010001220251914636324"_s,
                      xml.mid(a, xml.indexOf(u"]]>"_s, a) - a),
                      u"000.122.025"_s,
                      u"400,00"_s,
                      u"26972743000117"_s,
                      {u"00012"_s, u"NOTA FISCAL EMITIDA"_s}});
    }
    const NfceGerada gerada = nfce(77, 200);
    const QString arquivo = raiz() + u"/nfce200.xml"_s;
    teste::escreve(arquivo, gerada.proc);
    QStringList itens;
    for (int i = 1; i <= 200; ++i)
        itens << u"COD"_s + QString::number(i) << u"NÚMERO "_s + QString::number(i);
    casos.append({u"generated NFC-e of 200 items"_s, arquivo, gerada.chave, gerada.qr, u"000.000.077"_s,
                  u"4.200,00"_s, u"12345678000195"_s, itens, 200});
    // A QR code of version 3 in contingency: the parameters and a 2048-bit signature in Base64,
    // a text three times as long as version 2's, still read back from the roll at 150 dpi.
    NfceGerada v3 = nfce(78, 3);
    QByteArray assinatura;
    for (int i = 0; i < 256; ++i)
        assinatura.append(static_cast<char>((i * 37 + 11) % 256));
    const QString qr3 = u"https://www.sefaz.rs.gov.br/NFCE/NFCE-COM.aspx?p="_s + v3.chave +
                        u"|3|2|05|63.00|2|12345678909|"_s + QString::fromLatin1(assinatura.toBase64());
    v3.proc.replace(v3.qr.toUtf8(), qr3.toUtf8());
    const QString arquivo3 = raiz() + u"/nfce3.xml"_s;
    teste::escreve(arquivo3, v3.proc);
    casos.append({u"generated NFC-e, QR code version 3 in contingency"_s,
                  arquivo3,
                  v3.chave,
                  qr3,
                  u"000.000.078"_s,
                  u"63,00"_s,
                  u"12345678000195"_s,
                  {u"COD1"_s, u"COD3"_s},
                  3});

    for (const Caso& c : casos) {
        SCOPED_TRACE(c.nome.toStdString());
        const QString pdf = raiz() + u"/cupom.pdf"_s;
        const Execucao r = geraPdf(c.arquivo, pdf, c.cnpj.toUtf8());
        ASSERT_EQ(r.codigo, 0) << r.saida.toStdString() << r.erros.toStdString();
        EXPECT_EQ(impresso::paginas(pdf), 1) << "a roll is never cut into sheets";

        // 79 mm wide and as long as what is printed on it (the bottom margin is 5 mm).
        const Pagina p = pagina(pdf);
        EXPECT_NEAR(p.tamanho.width(), 79, 0.5);
        EXPECT_GT(p.tamanho.height() - p.fundoTexto, 4) << p.tamanho.height() << " " << p.fundoTexto;
        EXPECT_LT(p.tamanho.height() - p.fundoTexto, 9) << p.tamanho.height() << " " << p.fundoTexto;
        EXPECT_LE(p.direitaTexto, p.tamanho.width());
        if (c.itens.size() > 100) {
            EXPECT_GT(p.tamanho.height(), 1000) << "each item takes its rows";
        }

        const QString texto = impresso::texto(pdf);
        for (const QString& t :
             {emQuatros(c.chave), c.numero, c.total, u"Consulte pela Chave de Acesso em"_s})
            EXPECT_TRUE(contem(texto, t)) << t.toStdString() << "\n" << texto.left(3000).toStdString();
        for (const QString& item : c.itens)
            EXPECT_TRUE(texto.contains(QRegularExpression(QRegularExpression::escape(item) + u"\\b"_s)))
                << item.toStdString();
        const QString linhas = impresso::comando(u"pdftotext"_s, {u"-layout"_s, pdf, u"-"_s});
        EXPECT_TRUE(linhas.contains(
            QRegularExpression(u"Qtde. total de itens\\s+"_s + QString::number(c.quantidade) + u'\n')));

        // The QR code is the document's own text, for the phone of any consumer.
        EXPECT_EQ(teste::le(raiz() + u"/Qel/sQRCode.txt"_s), c.qr.toUtf8() + "\r\n");
        if (!impresso::temLeitorDeCodigos()) continue;
        for (const int dpi : {300, 150})
            EXPECT_EQ(impresso::codigosDaPagina(pdf, 1, dpi), QStringList{u"QR-Code:"_s + c.qr})
                << dpi << " dpi";
    }
    if (!impresso::temLeitorDeCodigos())
        GTEST_SKIP() << "zbarimg not found (zbar-tools): QR code not read back";
}

TEST_F(DanfeNfce, RegrasDoCupomEConfiguracoes) {
    const auto troca = [](const char* de, const char* para) {
        return [=](QByteArray& nfe) { nfe.replace(de, para); };
    };
    const auto informacoes = [](const QByteArray& infCpl) {
        return [=](QByteArray& nfe) {
            nfe.replace("</infNFe>", "<infAdic><infCpl>" + infCpl + "</infCpl></infAdic></infNFe>");
        };
    };
    const QByteArray descricaoLonga =
        "<xProd>PRODUTO COM UMA DESCRICAO MUITO LONGA QUE OCUPA VARIAS LINHAS DO CUPOM "
        "FISCAL ATE A PALAVRA FINAL</xProd>";
    const struct {
        const char* caso;
        std::function<void(QByteArray&)> ajusta;
        QByteArray protocolo;
        QByteArray configuracao; // local settings of the company
        QByteArray vinculado;    // NFC_Vinculado.Qel
        QStringList presentes;
        QStringList ausentes;
    } casos[] = {
        {"homologation, no consumer, paid on sight, summary with the key",
         {},
         kProtocolo,
         {},
         {},
         {u"EMITIDA EM AMBIENTE DE HOMOLOGAÇÃO - SEM VALOR FISCAL"_s, u"Sem Identificação"_s, u"A Vista"_s,
          u"Dinheiro"_s, u"Desconto R$"_s, u"Resumo NFCe 77"_s, u"Valor Total 21.00"_s,
          u"Protocolo 143260000000077 - 01/12/2026 - 10:00:05"_s,
          u"Número 000.000.077 Série 1 Emissão 01/12/2026"_s, u"www.sefaz.rs.gov.br/nfce/consulta"_s},
         {u"Não Transmitida"_s, u"FATURA"_s, u"CONTINGÊNCIA"_s}},
        {"discount beyond the surcharge",
         [](QByteArray& nfe) {
             nfe.replace("<vDesc>0.00</vDesc>", "<vDesc>5.00</vDesc>");
             nfe.replace("<vOutro>0.00</vOutro>", "<vOutro>2.00</vOutro>");
         },
         kProtocolo,
         {},
         {},
         {u"Desconto R$"_s, u"3,00"_s},
         {u"Acrescimo"_s}},
        {"surcharge",
         troca("<vOutro>0.00</vOutro>", "<vOutro>2.00</vOutro>"),
         kProtocolo,
         {},
         {},
         {u"Acrescimo R$"_s, u"2,00"_s},
         {u"Desconto R$"_s}},
        {"payment condition and means, instalments, money received, messages",
         informacoes("CNJ (A Prazo)|MCT (Cartão)|VNC (Parcela 01 Vence 10/01/2027 R$ 21,00)|"
                     "Recebido: R$ 50,00|Volte sempre"),
         kProtocolo,
         {},
         {},
         {u"A Prazo - Cartão"_s, u"FATURA"_s, u"Parcela/01/Vence 10/01/2027 R$"_s, u"Recebimento"_s,
          u"Recebido: R$ 50,00"_s, u"Volte sempre"_s, u"Resumo NFCe 77"_s},
         {u"A Vista"_s, u"CNJ ("_s, u"MCT ("_s}},
        {"a condition alone is paid in money",
         informacoes("CNJ (A Prazo)"),
         kProtocolo,
         {},
         {},
         {u"A Prazo - Dinheiro"_s},
         {}},
        {"NFCE RESUMO without instalments: no summary",
         {},
         kProtocolo,
         "NFCE Resumo\r\n",
         {},
         {u"Valor a Pagar R$"_s},
         {u"Resumo NFCe"_s, u"FATURA"_s}},
        {"a long description wraps across the roll",
         troca("<xProd>PRODUTO DE DEMONSTRAÇÃO NÚMERO 1</xProd>", descricaoLonga),
         kProtocolo,
         {},
         {},
         {u"PALAVRA FINAL"_s},
         {}},
        {"NFCE DESCRICAO: the first line only",
         troca("<xProd>PRODUTO DE DEMONSTRAÇÃO NÚMERO 1</xProd>", descricaoLonga),
         kProtocolo,
         "NFCE Descricao\r\n",
         {},
         {u"PRODUTO COM UMA"_s},
         {u"PALAVRA FINAL"_s}},
        {"linked document lines in the summary",
         {},
         kProtocolo,
         {},
         "PEDIDO 123\r\nMESA 7\r\n",
         {u"PEDIDO 123\nMESA 7"_s},
         {}},
        {"consumer identified, in production",
         [](QByteArray& nfe) {
             nfe.replace("</emit>", "</emit><dest><CPF>12345678909</CPF><xNome>CONSUMIDOR DE TESTE</xNome>"
                                    "<indIEDest>9</indIEDest></dest>");
             nfe.replace("<tpAmb>2</tpAmb>", "<tpAmb>1</tpAmb>");
         },
         kProtocolo,
         {},
         {},
         {u"CNPJ/CPF 123.456.789-09\nCONSUMIDOR DE TESTE"_s},
         {u"Sem Identificação"_s, u"HOMOLOGAÇÃO"_s}},
        {"issued in contingency, never transmitted",
         troca("<tpEmis>1</tpEmis>", "<tpEmis>9</tpEmis>"),
         {},
         {},
         {},
         {u"EMITIDA EM CONTINGÊNCIA\nPendente de autorização"_s, u"Não Transmitida"_s},
         {u"Protocolo"_s}},
        {"issued in contingency and authorised since: no longer pending",
         troca("<tpEmis>1</tpEmis>", "<tpEmis>9</tpEmis>"),
         kProtocolo,
         {},
         {},
         {u"EMITIDA EM CONTINGÊNCIA"_s},
         {u"Pendente de autorização"_s, u"Não Transmitida"_s}},
        {"denied",
         {},
         "<protNFe><infProt><nProt>1</nProt><cStat>302</cStat></infProt></protNFe>",
         {},
         {},
         {u"NFCe Denegada"_s},
         {}},
        {"a margin wider than the roll's room is cut down",
         {},
         kProtocolo,
         "NFCE Margem 30\r\n",
         {},
         {u"Valor a Pagar R$"_s},
         {}},
    };
    for (const auto& c : casos) {
        SCOPED_TRACE(c.caso);
        QFile::remove(local(u"INI/12345678000195.INI"_s));
        if (!c.configuracao.isEmpty()) teste::escreve(local(u"INI/12345678000195.INI"_s), c.configuracao);
        if (!c.vinculado.isEmpty()) noLocal(u"NFC_Vinculado.Qel"_s, c.vinculado);
        const NfceGerada d = nfce(77, 1, c.ajusta, c.protocolo);
        const QString arquivo = raiz() + u"/nfce.xml"_s;
        teste::escreve(arquivo, d.proc);
        const QString pdf = raiz() + u"/caso.pdf"_s;
        const Execucao r = geraPdf(arquivo, pdf);
        ASSERT_EQ(r.codigo, 0) << r.saida.toStdString() << r.erros.toStdString();
        const QString texto = impresso::texto(pdf);
        for (const QString& t : c.presentes)
            EXPECT_TRUE(contem(texto, t)) << t.toStdString() << "\n" << texto.toStdString();
        for (const QString& t : c.ausentes)
            EXPECT_FALSE(contem(texto, t)) << t.toStdString();
        EXPECT_FALSE(QFile::exists(local(u"NFC_Vinculado.Qel"_s))) << "read once, then deleted";
        const Pagina p = pagina(pdf);
        EXPECT_LE(p.direitaTexto, p.tamanho.width()) << "nothing printed off the roll";
        if (c.configuracao.contains("Margem")) {
            EXPECT_TRUE(r.saida.contains(u"reduzida"_s)) << r.saida.toStdString();
        }
    }
}

// An NFC-e never sent (no infNFeSupl: its QR group is made when it is sent) is printed with the
// consultation its own state would be given: São Paulo's QR page and address, in the version
// the state's row of the table says.
TEST_F(DanfeNfce, SemGrupoDoQrCodeUsaAsPaginasDoEstado) {
    const teste::Documento d = teste::documento(u"nfe"_s, 79, 1, u"65"_s, u"35"_s);
    const QString arquivo = raiz() + u"/nfce-sp.xml"_s;
    teste::escreve(arquivo, d.texto);
    const QString pagina = u"https://www.homologacao.nfce.fazenda.sp.gov.br/NFCeConsultaPublica/Paginas/"
                           u"ConsultaQRCode.aspx?p="_s;
    const struct {
        const char* caso;
        QByteArray versoes; // the installation's QR version table
        QString qr;         // the start of the QR text
    } casos[] = {
        {"state on version 2", "", pagina + d.chave + u"|2|2|1|"_s},
        {"state moved to version 3", "35 3\r\n", pagina + d.chave + u"|3|2"_s},
    };
    for (const auto& c : casos) {
        SCOPED_TRACE(c.caso);
        const QString tabela = raiz() + u"/versoes_qr.conf"_s;
        teste::escreve(tabela, c.versoes);
        extras.insert(u"QEL_DFE_VERSOES_QR"_s, tabela);
        const QString pdf = raiz() + u"/nfce-sp.pdf"_s;
        const Execucao r = geraPdf(arquivo, pdf);
        ASSERT_EQ(r.codigo, 0) << r.saida.toStdString();
        QString texto = impresso::texto(pdf);
        EXPECT_TRUE(
            texto.remove(u'\n').contains(u"www.homologacao.nfce.fazenda.sp.gov.br/NFCeConsultaPublica"_s))
            << texto.toStdString();
        if (!impresso::temLeitorDeCodigos()) continue;
        const QStringList codigos = impresso::codigosDaPagina(pdf, 1, 300);
        ASSERT_EQ(codigos.size(), 1);
        EXPECT_TRUE(codigos.first().startsWith(u"QR-Code:"_s + c.qr)) << codigos.first().toStdString();
        EXPECT_EQ(codigos.first().size(), (u"QR-Code:"_s + c.qr).size() + (c.versoes.isEmpty() ? 40 : 0));
    }
}

TEST_F(DanfeNfce, CanceladaEEmA4) {
    const NfceGerada d = nfce(78, 3);
    // Beside the archived proc, the cancellation the event flow stored.
    const QString arquivo = raiz() + u"/arquivo/"_s + d.chave + u"-nfc.xml"_s;
    teste::escreve(arquivo, d.proc);
    teste::escreve(raiz() + u"/arquivo/"_s + d.chave + u"-Can.XML"_s, "<procEventoNFe/>");
    const QString pdf = raiz() + u"/cancelada.pdf"_s;
    ASSERT_EQ(geraPdf(arquivo, pdf).codigo, 0);
    EXPECT_TRUE(impresso::texto(pdf).contains(u"NFCe Cancelada"_s));

    // NFCE A4: the A4 DANFE of the NFC-e, its QR code the document's own text too.
    teste::escreve(local(u"INI/12345678000195.INI"_s), "NFCE A4\r\n");
    ASSERT_EQ(geraPdf(arquivo, pdf).codigo, 0);
    const Pagina p = pagina(pdf);
    EXPECT_NEAR(p.tamanho.width(), 210, 0.5);
    EXPECT_NEAR(p.tamanho.height(), 297, 0.5);
    EXPECT_TRUE(impresso::texto(pdf).contains(u"DANFE NFC-e"_s));
    if (impresso::temLeitorDeCodigos()) {
        EXPECT_EQ(impresso::codigosDaPagina(pdf, 1, 300), QStringList{u"QR-Code:"_s + d.qr});
    }
}

// The jobs the queue has finished.
int trabalhosConcluidos(const QString& fila) {
    return impresso::comando(u"lpstat"_s, {u"-W"_s, u"completed"_s, u"-o"_s, fila}).count(u'\n');
}

class RecepcaoNfce : public teste::ComAutoridade {};

TEST_F(RecepcaoNfce, CupomNaFilaComAsCopiasEAPergunta) {
    if (QProcess::execute(u"lpstat"_s, {u"-p"_s, u"QelPDF"_s}) != 0)
        GTEST_SKIP() << "no CUPS queue QelPDF (scripts/fila-cups.sh makes it)";
    // cups-pdf writes each job to the PDF folder of the user who sent it.
    const QDir saidas(QDir::homePath() + u"/PDF"_s);
    const struct {
        const char* caso;
        QByteArray configuracao;
        QString resposta;
        int copias;
    } casos[] = {
        {"two copies", "NFCE Impressora QelPDF\r\nNFCE Numero de Copias 2\r\n", u"Nao"_s, 2},
        {"asked, and the answer is no",
         "NFCE Impressora QelPDF\r\nNFCE Numero de Copias 2\r\nNFCE Pergunta Impressao\r\n", u"Nao"_s, 0},
        {"asked, and the answer is yes",
         "NFCE Impressora QelPDF\r\nNFCE Numero de Copias 1\r\nNFCE Pergunta Impressao\r\n", u"Sim"_s, 1},
    };
    configuraEmpresa();
    int numero = 80;
    for (const auto& c : casos) {
        SCOPED_TRACE(c.caso);
        teste::escreve(local(u"INI/12345678000195.INI"_s), c.configuracao);
        extras.insert(u"QEL_DFE_RESPOSTA"_s, c.resposta);
        const int antes = trabalhosConcluidos(u"QelPDF"_s);
        const QDateTime inicio = QDateTime::currentDateTime().addSecs(-1);
        const teste::Documento d = teste::documento(u"nfe"_s, ++numero, 2, u"65"_s);
        const Execucao r = entrega(u"NFCe"_s + QString::number(numero) + u".xml"_s, d);
        ASSERT_EQ(r.codigo, 0) << r.saida.toStdString() << r.erros.toStdString();
        EXPECT_EQ(r.saida.contains(u"Deseja imprimir o Cupom?"_s), c.configuracao.contains("Pergunta"));
        EXPECT_FALSE(r.saida.contains(u"Pré-visualização"_s)) << "printed or declined, never previewed";

        QElapsedTimer espera;
        espera.start();
        while (trabalhosConcluidos(u"QelPDF"_s) < antes + c.copias && espera.elapsed() < 30000)
            QThread::msleep(200);
        if (c.copias == 0) QThread::msleep(1500);
        EXPECT_EQ(trabalhosConcluidos(u"QelPDF"_s), antes + c.copias) << "one job per copy";
        // The printer is given the roll: every copy arrives as a page 79 mm wide. (Other tests
        // may print on the queue meanwhile; their pages are left alone.)
        QThread::msleep(1000);
        int rolos = 0;
        for (const QFileInfo& arquivo : saidas.entryInfoList({u"*.pdf"_s}, QDir::Files)) {
            if (arquivo.lastModified() < inicio) continue;
            const Pagina p = pagina(arquivo.filePath());
            if (std::abs(p.tamanho.width() - 79) > 1) continue;
            ++rolos;
            EXPECT_GT(p.tamanho.height(), 150) << "as long as the receipt";
            QFile::remove(arquivo.filePath());
        }
        EXPECT_EQ(rolos, c.copias);
    }
}

} // namespace
