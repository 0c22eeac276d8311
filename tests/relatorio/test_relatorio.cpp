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
    // A black and white picture (a barcode bitmap) goes in losslessly, one bit per pixel.
    QImage barras(277, 70, QImage::Format_RGB32);
    barras.fill(Qt::white);
    for (int x = 0; x < 277; x += 3)
        for (int y = 0; y < 70; ++y)
            barras.setPixel(x, y, qRgb(0, 0, 0));
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
    const QString imagens = comando(u"pdfimages"_s, {u"-list"_s, arquivo});
    EXPECT_TRUE(imagens.contains(QRegularExpression(u"\\s277\\s+70\\s+gray\\s+1\\s+1\\s+image\\s"_s)))
        << imagens.toStdString();
    EXPECT_FALSE(imagens.contains(u"jpeg"_s)) << imagens.toStdString();
    // Black stays black: the picture's first three columns at 96 dpi, where the template has it.
    QProcess render;
    render.start(u"pdftoppm"_s, {u"-r"_s, u"96"_s, u"-gray"_s, u"-f"_s, u"1"_s, u"-l"_s, u"1"_s, arquivo});
    render.waitForFinished(30000);
    QImage pagina;
    ASSERT_TRUE(pagina.loadFromData(render.readAllStandardOutput(), "PGM"));
    const QRect caixa = m.objeto(u"Barras"_s).geometria.toRect();
    const int y = caixa.center().y();
    EXPECT_LT(qGray(pagina.pixel(caixa.left(), y)), 64);
    EXPECT_GT(qGray(pagina.pixel(caixa.left() + 1, y)), 192);
    EXPECT_GT(qGray(pagina.pixel(caixa.left() + 2, y)), 192);

    EXPECT_FALSE(Relatorio().exportaPdf(pasta.path() + u"/vazio.pdf"_s, {}));
}

// Points of the first page's size, from pdfinfo.
QSizeF tamanhoEmPontos(const QString& arquivo) {
    const auto achado = QRegularExpression(u"Page size:\\s+([\\d.]+) x ([\\d.]+) pts"_s)
                            .match(comando(u"pdfinfo"_s, {arquivo}));
    return achado.hasMatch() ? QSizeF(achado.captured(1).toDouble(), achado.captured(2).toDouble())
                             : QSizeF();
}

TEST(Relatorio, RoloTemAAlturaDoQueLevaEmUmaPagina) {
    QTemporaryDir pasta;
    struct Resultado {
        QSizeF papel;
        QRectF itens, moldura, rodape, total, fim;
    };
    const auto prepara = [](int linhas, bool opcional) {
        Modelo m = Modelo::carrega(QString::fromUtf8(QEL_DADOS_TESTE) + u"/modelo_rolo.json"_s);
        for (int i = 1; i <= linhas; ++i)
            m.objeto(u"Itens"_s).acrescenta(u"ITEM "_s + QString::number(i));
        m.objeto(u"Opcional"_s).visivel = opcional;
        m.empilhaFaixas();
        return std::pair{m, Resultado{m.papelMm(), m.objeto(u"Itens"_s).geometria,
                                      m.objeto(u"MolduraItens"_s).geometria,
                                      m.objeto(u"Rodape_Itens"_s).geometria, m.objeto(u"Total"_s).geometria,
                                      m.objeto(u"Fim"_s).geometria}};
    };
    const auto [poucos, p] = prepara(3, true);
    const double linha = prepara(4, true).second.itens.height() - p.itens.height();
    const auto [muitos, q] = prepara(300, true);
    const auto [semOpcional, r] = prepara(3, false);

    // The stretching memo takes its lines; its frame grows with it and what follows moves down.
    EXPECT_NEAR(q.itens.height() - p.itens.height(), 297 * linha, 1.0);
    EXPECT_DOUBLE_EQ(q.moldura.height() - p.moldura.height(), q.itens.height() - p.itens.height());
    EXPECT_DOUBLE_EQ(q.rodape.top() - p.rodape.top(), q.itens.height() - p.itens.height());
    EXPECT_DOUBLE_EQ(p.rodape.top() - p.itens.bottom(), 48.0 - 44.0) << "the band's own spacing stays";
    // A hidden band leaves no gap: the next band takes its place, with the template's spacing.
    EXPECT_DOUBLE_EQ(r.total.top(), p.total.top() - (110 - 64));
    // Stretching memos one above the other add up; a blank one gives its room back.
    {
        Modelo m = Modelo::carrega(QString::fromUtf8(QEL_DADOS_TESTE) + u"/modelo_rolo.json"_s);
        m.objeto(u"Obs1"_s).linhas = QStringList{u"A"_s, u"B"_s, u"C"_s};
        m.objeto(u"Obs2"_s).linhas = QStringList{u"D"_s, u"E"_s};
        const double alturaObs1 = m.objeto(u"Obs1"_s).alturaTexto();
        const double alturaObs2 = m.objeto(u"Obs2"_s).alturaTexto();
        Modelo vazio = m;
        vazio.objeto(u"Obs2"_s).linhas = QStringList{QString()};
        m.empilhaFaixas();
        vazio.empilhaFaixas();
        const double fimDoTotal = m.objeto(u"Total"_s).geometria.bottom();
        EXPECT_DOUBLE_EQ(m.objeto(u"Fim"_s).geometria.top() - fimDoTotal,
                         (148 - 122) + (alturaObs1 - 10) + (alturaObs2 - 10));
        EXPECT_DOUBLE_EQ(m.objeto(u"Fim"_s).geometria.top() - vazio.objeto(u"Fim"_s).geometria.top(),
                         alturaObs2);
    }
    // The paper: 79 mm wide, as long as the lowest object plus the bottom margin.
    EXPECT_DOUBLE_EQ(p.papel.width(), 79);
    EXPECT_NEAR(p.papel.height(), p.fim.bottom() * 25.4 / 96 + 5, 1e-9);
    EXPECT_GT(q.papel.height(), 297) << "longer than an A4 sheet";

    for (const auto& [modelo, altura] : {std::pair{poucos, p.papel.height()}, {muitos, q.papel.height()}}) {
        Relatorio relatorio;
        relatorio.adicionaPagina(modelo);
        const QString arquivo = pasta.path() + u"/rolo.pdf"_s;
        ASSERT_TRUE(relatorio.exportaPdf(arquivo, {}));
        const QSizeF pontos = tamanhoEmPontos(arquivo);
        EXPECT_NEAR(pontos.width(), 79 / 25.4 * 72, 1.0);
        EXPECT_NEAR(pontos.height(), altura / 25.4 * 72, 1.0);
        EXPECT_TRUE(comando(u"pdfinfo"_s, {arquivo}).contains(QRegularExpression(u"Pages:\\s+1\\n"_s)));
        const QString texto = comando(u"pdftotext"_s, {arquivo, u"-"_s});
        EXPECT_TRUE(texto.contains(u"TOTAL"_s));
        EXPECT_EQ(texto.count(u"ITEM "_s), modelo.objeto(u"Itens"_s).linhas.size());
    }
}

} // namespace
