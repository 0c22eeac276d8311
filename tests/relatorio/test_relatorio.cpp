// The report engine: templates found by name, text measured with the real font, pages exported
// to PDF with their document information.

#include "apoio.h"
#include "relatorio/relatorio.h"
#include "util/erros.h"

#include <QDir>
#include <QFontInfo>
#include <QFontMetricsF>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using namespace qel;

namespace {

Modelo modelo() {
    return Modelo::carrega(QString::fromUtf8(QEL_DADOS_TESTE) + u"/modelo_teste.json"_s);
}

QString comando(const QString& programa, const QStringList& argumentos) {
    QProcess p;
    p.start(programa, argumentos);
    p.waitForFinished(30000);
    return QString::fromUtf8(p.readAllStandardOutput());
}

TEST(Relatorio, ObjetosPorNomeSemDistincaoDeCaixa) {
    Modelo m = modelo();
    EXPECT_EQ(&m.objeto(u"Dados_Empresa"_s), &m.objeto(u"DADOS_EMPRESA"_s));
    EXPECT_EQ(m.objeto(u"dados_empresa"_s).tipo, TipoObjeto::Memo);
    EXPECT_FALSE(m.objeto(u"teste7"_s).visivel);
    EXPECT_EQ(m.objeto(u"Barras"_s).geometria, QRectF(340, 60, 277, 40));
    EXPECT_THROW(m.objeto(u"NaoExiste"_s), ErroInesperado);
    EXPECT_THROW(Modelo::carrega(u"/nao/existe.json"_s), ErroInesperado);
}

TEST(Relatorio, MedidasComAFonteReal) {
    Modelo m = modelo();
    Objeto& teste = m.objeto(u"Teste7"_s);
    EXPECT_EQ(QFontInfo(teste.fonte).family(), u"Liberation Sans"_s) << "install fonts-liberation2";
    teste.defineTexto(u"PRODUTO DE TESTE COM DESCRICAO LONGA"_s);
    QImage dispositivo(1, 1, QImage::Format_RGB32);
    dispositivo.setDotsPerMeterX(qRound(96 / 0.0254));
    dispositivo.setDotsPerMeterY(qRound(96 / 0.0254));
    EXPECT_DOUBLE_EQ(teste.larguraTexto(),
                     QFontMetricsF(teste.fonte, &dispositivo).horizontalAdvance(teste.texto()));
    // 7.5 pt at 96 dpi is 10 units high; 36 characters of it are about 230 units wide.
    EXPECT_GT(teste.larguraTexto(), 180);
    EXPECT_LT(teste.larguraTexto(), 280);
    teste.geometria.setWidth(1000);
    const double umaLinha = teste.alturaTexto();
    teste.geometria.setWidth(60);
    EXPECT_GE(teste.alturaTexto(), 4 * umaLinha) << "wrapped at the memo's width";
}

TEST(Relatorio, PdfComPaginasTextoEInformacao) {
    QTemporaryDir pasta;
    Relatorio relatorio;
    Modelo m = modelo();
    m.objeto(u"Dados_Empresa"_s).defineTexto(u"EMPRESA AÇÃO LTDA"_s);
    m.objeto(u"Dados_Empresa"_s).acrescenta(u"Rua das Flores, 100"_s);
    QImage barras(277, 70, QImage::Format_RGB32);
    barras.fill(Qt::white);
    m.objeto(u"Barras"_s).imagem = barras;
    relatorio.adicionaPagina(m);
    m.objeto(u"Dados_Empresa"_s).defineTexto(u"SEGUNDA PÁGINA"_s);
    relatorio.adicionaPagina(m);
    const QString arquivo = pasta.path() + u"/teste.pdf"_s;
    // The creation date is the run's clock, not the machine's.
    const QDateTime criacao(QDate(2025, 3, 20), QTime(12, 0), Qt::UTC);
    ASSERT_TRUE(relatorio.exportaPdf(arquivo, {u"DANFE 1234"_s, u"Qel Sistemas"_s, u"Documento auxiliar"_s,
                                               u"Qel DFe"_s, u"Qel DFe 2025"_s, criacao}));

    const QString info = comando(u"pdfinfo"_s, {arquivo});
    for (const QString& linha :
         {u"Title: +DANFE 1234\n"_s, u"Author: +Qel Sistemas\n"_s, u"Subject: +Documento auxiliar\n"_s,
          u"Creator: +Qel DFe\n"_s, u"Producer: +Qel DFe 2025\n"_s, u"Pages: +2\n"_s})
        EXPECT_TRUE(info.contains(QRegularExpression(linha))) << info.toStdString();
    EXPECT_TRUE(info.contains(u"(A4)"_s)) << info.toStdString();
    EXPECT_TRUE(info.contains(QRegularExpression(u"CreationDate: +Thu Mar 20 \\d\\d:00:00 2025"_s)))
        << info.toStdString();
    const QString texto = comando(u"pdftotext"_s, {arquivo, u"-"_s});
    EXPECT_TRUE(texto.contains(u"EMPRESA AÇÃO LTDA\nRua das Flores, 100"_s)) << texto.toStdString();
    EXPECT_TRUE(texto.contains(u"SEGUNDA PÁGINA"_s));
    EXPECT_TRUE(texto.contains(u"DOCUMENTO AUXILIAR"_s));
    EXPECT_FALSE(texto.contains(u"Teste7"_s));
    const QString fontes = comando(u"pdffonts"_s, {arquivo});
    EXPECT_TRUE(fontes.contains(u"LiberationSans"_s)) << fontes.toStdString();
    // The "emb" column of every font line.
    const QRegularExpression linhaFonte(u"\\s(yes|no)\\s+(yes|no)\\s+(yes|no)\\s+\\d+\\s+\\d+$"_s,
                                        QRegularExpression::MultilineOption);
    int embutidas = 0;
    for (auto it = linhaFonte.globalMatch(fontes); it.hasNext();) {
        const auto achado = it.next();
        EXPECT_EQ(achado.captured(1), u"yes"_s) << fontes.toStdString();
        ++embutidas;
    }
    EXPECT_GT(embutidas, 0);

    EXPECT_FALSE(Relatorio().exportaPdf(pasta.path() + u"/vazio.pdf"_s, {}));
}

} // namespace
