// Printing a prepared report on a real CUPS queue (the cups-pdf virtual printer).

#include "app/impressao_fila.h"
#include "relatorio/relatorio.h"

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QPrinter>
#include <QPrinterInfo>
#include <QThread>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using namespace qel;

namespace {

Modelo modelo() {
    return Modelo::carrega(QString::fromUtf8(QEL_DADOS_TESTE) + u"/modelo_teste.json"_s);
}

TEST(ImpressaoFila, ImprimeNaFilaCupsComAsCopias) {
    EXPECT_FALSE(imprimeNaFila(Relatorio(), {u"QelPDF"_s, 1, u"vazio"_s})) << "nothing prepared";
    Relatorio relatorio;
    relatorio.adicionaPagina(modelo());
    EXPECT_FALSE(imprimeNaFila(relatorio, {u"Impressora Que Nao Existe"_s, 1, u"x"_s}));
    if (QPrinterInfo::printerInfo(u"QelPDF"_s).isNull())
        GTEST_SKIP() << "no CUPS queue QelPDF (scripts/fila-cups.sh makes it)";
    // cups-pdf names its files after the job title, in the PDF folder of the user.
    const QString titulo = u"qel-teste-"_s + QString::number(QDateTime::currentMSecsSinceEpoch());
    const QDir saida(QDir::homePath() + u"/PDF"_s);
    ASSERT_TRUE(imprimeNaFila(relatorio, {u"QelPDF"_s, 2, titulo}));
    QElapsedTimer relogio;
    relogio.start();
    qsizetype chegaram = 0;
    while (relogio.elapsed() < 30000) {
        chegaram = saida.entryList({titulo + u"*"_s}, QDir::Files).size();
        if (chegaram >= 2) break;
        QThread::msleep(200);
    }
    EXPECT_EQ(chegaram, 2) << "one job per copy";
    for (const QString& nome : saida.entryList({titulo + u"*"_s}, QDir::Files))
        QFile::remove(saida.filePath(nome));
}

TEST(ImpressaoFila, PreviaImprimeComoAImpressaoDireta) {
    // The preview's printer is set up as a direct print: the queue of the settings, the template's
    // paper, the whole page.
    if (QPrinterInfo::printerInfo(u"QelPDF"_s).isNull())
        GTEST_SKIP() << "no CUPS queue QelPDF (scripts/fila-cups.sh makes it)";
    Relatorio relatorio;
    relatorio.adicionaPagina(modelo());
    QPrinter impressora(QPrinter::HighResolution);
    ASSERT_TRUE(preparaImpressora(impressora, relatorio, {u"QelPDF"_s, 1, u"x"_s}));
    EXPECT_EQ(impressora.printerName(), u"QelPDF"_s);
    EXPECT_TRUE(impressora.fullPage());
    const QSizeF papel = impressora.pageLayout().pageSize().size(QPageSize::Millimeter);
    EXPECT_NEAR(papel.width(), relatorio.pagina(0).papelMm().width(), 0.5);
    EXPECT_NEAR(papel.height(), relatorio.pagina(0).papelMm().height(), 0.5);
    QPrinter semFila(QPrinter::HighResolution);
    EXPECT_FALSE(preparaImpressora(semFila, relatorio, {u"Impressora Que Nao Existe"_s, 1, u"x"_s}));
}

TEST(ImpressaoFila, UmRoloVaiParaAFilaNoTamanhoDoRolo) {
    const auto mm = [](double largura, double altura) {
        return QPageSize(QSizeF(largura, altura), QPageSize::Millimeter, QString(), QPageSize::ExactMatch);
    };
    const QPageSize rolo = mm(79, 500);
    const QList<QPageSize> comprimentos{mm(80, 297), mm(79, 200), mm(79, 3276), mm(79, 1000)};
    const struct {
        const char* caso;
        QPageSize pagina;
        bool personalizado;
        QList<QPageSize> listados;
        QSizeF esperado;
    } casos[] = {
        {"custom sizes: the roll itself", rolo, true, {QPageSize(QPageSize::A4)}, {79, 500}},
        {"fixed lengths: the shortest that holds it", rolo, false, comprimentos, {79, 1000}},
        {"longer than every length: the longest", mm(79, 4000), false, comprimentos, {79, 3276}},
        {"no paper of its width: the roll itself", rolo, false, {QPageSize(QPageSize::A4)}, {79, 500}},
        {"a sheet the queue lists",
         QPageSize(QPageSize::A4),
         false,
         comprimentos + QList{QPageSize(QPageSize::A4)},
         {210, 297}},
    };
    for (const auto& c : casos) {
        SCOPED_TRACE(c.caso);
        const QSizeF papel = papelDaFila(c.pagina, c.personalizado, c.listados).size(QPageSize::Millimeter);
        EXPECT_NEAR(papel.width(), c.esperado.width(), 0.5);
        EXPECT_NEAR(papel.height(), c.esperado.height(), 0.5);
    }

    if (QPrinterInfo::printerInfo(u"QelPDF"_s).isNull())
        GTEST_SKIP() << "no CUPS queue QelPDF (scripts/fila-cups.sh makes it)";
    Modelo m = Modelo::carrega(QString::fromUtf8(QEL_DADOS_TESTE) + u"/modelo_rolo.json"_s);
    for (int i = 0; i < 200; ++i)
        m.objeto(u"Itens"_s).acrescenta(u"ITEM"_s);
    m.empilhaFaixas();
    Relatorio relatorio;
    relatorio.adicionaPagina(m);
    QPrinter impressora(QPrinter::HighResolution);
    ASSERT_TRUE(preparaImpressora(impressora, relatorio, {u"QelPDF"_s, 1, u"rolo"_s}));
    const QSizeF papel = impressora.pageLayout().pageSize().size(QPageSize::Millimeter);
    EXPECT_NEAR(papel.width(), 79, 0.5);
    EXPECT_NEAR(papel.height(), m.papelMm().height(), 0.5);
}

} // namespace
