#define ZX_USE_UTF8
#include "print/codigo_barras.h"
#include "print/codigo_qr.h"
#include "relatorio/relatorio.h"
#include "util/erros.h"

#include <ZXing/BitMatrix.h>
#include <ZXing/MultiFormatWriter.h>
#include <ZXing/ReadBarcode.h>

#include <gtest/gtest.h>

#include <QPainter>

#include <cmath>
#include <string>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

// Modules as the reader sees them across the barcode: '1' a bar, '0' a space.
const std::string startC = "11010011100";    // 211232
const std::string stop = "1100011101011";    // 2331112
const std::string valorZero = "11011001100"; // 212222
const std::string valorDois = "11001100110"; // 222221
const std::string startB = "11010010000";    // 211214
const std::string codigoB = "10111101110";   // 114131, value 100: on to code set B
const std::string codigoC = "10111011110";   // 113141, value 99: on to code set C

QString repetido(const QString& texto, int vezes) {
    QString r;
    for (int i = 0; i < vezes; ++i)
        r += texto;
    return r;
}

// The module row of a barcode image; fails the test when a column is not one solid colour or a
// pixel is neither black nor white.
std::string colunas(const QImage& original) {
    const QImage imagem = original.convertToFormat(QImage::Format_Grayscale8);
    std::string modulos;
    for (int x = 0; x < imagem.width(); ++x) {
        const uchar topo = imagem.constScanLine(0)[x];
        EXPECT_TRUE(topo == 0 || topo == 255) << "coluna " << x << " com cinza " << int(topo);
        for (int y = 1; y < imagem.height(); ++y)
            if (imagem.constScanLine(y)[x] != topo) {
                ADD_FAILURE() << "coluna " << x << " muda de cor na linha " << y;
                break;
            }
        modulos += topo == 0 ? '1' : '0';
    }
    return modulos;
}

std::string modulosDeReferencia(const std::string& texto) {
    const ZXing::BitMatrix m =
        ZXing::MultiFormatWriter(ZXing::BarcodeFormat::Code128).setMargin(0).encode(texto, 0, 70);
    std::string modulos;
    for (int x = 0; x < m.width(); ++x)
        modulos += m.get(x, 0) ? '1' : '0';
    return modulos;
}

// Reads the image as it stands on a page: scaled by `escala` without smoothing and surrounded by
// ten modules of white paper (the barcode brings no quiet zone of its own).
ZXing::Result lerNaPagina(const QImage& imagem, ZXing::BarcodeFormat formato, int escala) {
    const int margem = 10 * escala;
    QImage pagina(imagem.width() * escala + 2 * margem, imagem.height() * escala + 2 * margem,
                  QImage::Format_Grayscale8);
    pagina.fill(255);
    {
        QPainter p(&pagina);
        qel::desenhaSemSuavizar(p, QRectF(margem, margem, imagem.width() * escala, imagem.height() * escala),
                                imagem);
    }
    return ZXing::ReadBarcode(ZXing::ImageView(pagina.constBits(), pagina.width(), pagina.height(),
                                               ZXing::ImageFormat::Lum,
                                               static_cast<int>(pagina.bytesPerLine())),
                              ZXing::DecodeHints().setFormats(formato));
}

// ---------------------------------------------------------------- Code 128

const QString chaveSP = u"35240312345678000199550010000012341000001234"_s;

TEST(codigo_barras, ChaveNumericaComecaComStartCETerminaComStop) {
    const QString chaves[] = {chaveSP, u"41251199999999000191570010000000011000000017"_s,
                              u"99999999999999999999999999999999999999999999"_s};
    for (const QString& chave : chaves) {
        SCOPED_TRACE(chave.toStdString());
        const QImage imagem = qel::Barras(chave);
        ASSERT_EQ(imagem.size(), QSize(277, 70));
        const std::string modulos = colunas(imagem);
        EXPECT_EQ(modulos.substr(0, 11), startC);
        EXPECT_EQ(modulos.substr(277 - 13), stop);
    }
}

TEST(codigo_barras, ChaveDeZerosModuloAModulo) {
    std::string esperado = startC;
    for (int i = 0; i < 22; ++i)
        esperado += valorZero;
    // 105 + Σ i·0 = 105, and 105 mod 103 = 2.
    esperado += valorDois + stop;
    EXPECT_EQ(colunas(qel::Barras(repetido(u"0"_s, 44))), esperado);
}

TEST(codigo_barras, MesmosModulosQueOCodificadorDeReferencia) {
    struct Caso {
        QString entrada;
        std::string referencia; // what the reference encoder is given for the same symbols
    };
    std::vector<Caso> casos = {
        // Check symbols 100, 101 and 102, which no pair of digits reaches as data.
        {u"35240312345678000199550010000012341000001279"_s, "35240312345678000199550010000012341000001279"},
        {u"35240312345678000199550010000012341000001265"_s, "35240312345678000199550010000012341000001265"},
        {u"35240312345678000199550010000012341000001251"_s, "35240312345678000199550010000012341000001251"},
        // A CIOT number is followed by 16 symbols of value 0.
        {u"123456789012"_s, "123456789012" + std::string(32, '0')},
        // An alphanumeric text without runs of digits, which the reference also sets in code set B.
        {u"A1B2C3D4E5F6G7H8"_s, "A1B2C3D4E5F6G7H8"},
    };
    // Five keys whose pairs run through every value from 00 to 99.
    for (int inicio = 0; inicio < 100; inicio += 22) {
        std::string chave;
        for (int i = 0; i < 22; ++i) {
            const int v = (inicio + i) % 100;
            chave += char('0' + v / 10);
            chave += char('0' + v % 10);
        }
        casos.push_back({QString::fromStdString(chave), chave});
    }
    for (const Caso& c : casos) {
        SCOPED_TRACE(c.entrada.toStdString());
        EXPECT_EQ(colunas(qel::Barras(c.entrada)), modulosDeReferencia(c.referencia));
    }
}

TEST(codigo_barras, LeituraDevolveOTextoCodificado) {
    QString ascii;
    for (char16_t c = 32; c < 127; ++c)
        ascii += QChar(c);
    const struct {
        QString entrada;
        QString lido;
        int largura;
    } casos[] = {
        {chaveSP, chaveSP, 277},
        {u"123456789012"_s, u"123456789012"_s + repetido(u"0"_s, 32), 277},
        {u""_s, repetido(u"0"_s, 44), 277},
        // A single remaining digit is a symbol of its own value: "3" becomes the pair "03".
        {u"123"_s, u"1203"_s + repetido(u"0"_s, 40), 277},
        // Digits beyond the 44th are kept, one more symbol per pair.
        {chaveSP + u"5678"_s, chaveSP + u"5678"_s, 277 + 22},
        // A key with an alphanumeric CNPJ: 4 pairs in set C, a switch to B, "ABC34501DE" one
        // symbol each, a switch to C and 13 pairs; with start and check, 31 symbols.
        {u"35260312ABC34501DE35550010000012341000001234"_s, u"35260312ABC34501DE35550010000012341000001234"_s,
         11 * 31 + 13},
        // Digits that open or close the text in odd runs, or run too short to pair.
        {u"12345AB"_s, u"12345AB"_s, 11 * (2 + 2 + 1 + 3) + 13},
        {u"AB12345"_s, u"AB12345"_s, 11 * (2 + 1 + 1 + 2 + 2) + 13},
        {u"A1234B"_s, u"A1234B"_s, 11 * (6 + 2) + 13},
        // Printable ASCII: the ten digits in between go in pairs (a switch each way).
        {ascii, ascii, 11 * (16 + 1 + 5 + 1 + 69 + 2) + 13},
    };
    for (const auto& c : casos) {
        SCOPED_TRACE(c.entrada.toStdString());
        const QImage imagem = qel::Barras(c.entrada);
        EXPECT_EQ(imagem.size(), QSize(c.largura, 70));
        const ZXing::Result r = lerNaPagina(imagem, ZXing::BarcodeFormat::Code128, 1);
        ASSERT_TRUE(r.isValid());
        EXPECT_EQ(r.text(), c.lido.toStdString());
    }
}

TEST(codigo_barras, TextoAlfanumericoTrocaDeConjuntoNasSequenciasDeDigitos) {
    const std::string modulos = colunas(qel::Barras(u"35260312ABC34501DE35550010000012341000001234"_s));
    EXPECT_EQ(modulos.substr(0, 11), startC);
    EXPECT_EQ(modulos.substr(11 * 5, 11), codigoB) << "after the pairs 35 26 03 12";
    EXPECT_EQ(modulos.substr(11 * 16, 11), codigoC) << "after A B C 3 4 5 0 1 D E";
    EXPECT_EQ(modulos.substr(modulos.size() - 13), stop);
    EXPECT_EQ(colunas(qel::Barras(u"ABC123456"_s)).substr(0, 11), startB);
}

TEST(codigo_barras, CaractereForaDoConjuntoBEhErro) {
    const QString invalidos[] = {u"3524031234567800019955001000001234100000123Ç"_s, u"ABC\t123"_s, u"€10"_s};
    for (const QString& texto : invalidos) {
        SCOPED_TRACE(texto.toStdString());
        EXPECT_THROW(qel::Barras(texto), qel::ErroInesperado);
    }
}

// ---------------------------------------------------------------- QR code

const struct CasoQr {
    QString texto;
    int lado; // pixels: modules of the smallest level-L version + 2
    bool eci;
} casosQr[] = {
    // Alphanumeric mode, version 1.
    {u"HTTP://EXAMPLE.COM/ABC"_s, 23, false},
    // Byte mode, version 2.
    {u"http://example.com/abc"_s, 27, false},
    // Numeric mode: 44 digits are just past version 1's 41.
    {chaveSP, 27, false},
    // 134 bytes fill version 6 exactly; an ECI header would push them to version 7.
    {u"http://www.fazenda.pr.gov.br/nfce/qrcode?p=35240312345678000199650010000012341000001234|2|2|1|"
     u"3F1A9C0D2B7E4F6A8C1D3E5F7A9B0C2D4E6F8A1B"_s,
     43, false},
    {u"https://www.homologacao.nfce.fazenda.sp.gov.br/qrcode?p=35240312345678000199650010000012341000001234|"
     u"2|2|1|3F1A9C0D2B7E4F6A8C1D3E5F7A9B0C2D4E6F8A1B"_s,
     47, false},
    // ISO-8859-1 text needs no ECI; 34 bytes are just past version 2's 32.
    {u"Consulta da nota fiscal eletrônica"_s, 31, false},
    // Outside ISO-8859-1: UTF-8 announced by its ECI.
    {u"€ 10,00"_s, 23, true},
};

TEST(codigo_qr, ImagemTemUmPixelPorModuloEBordaBranca) {
    for (const CasoQr& c : casosQr) {
        SCOPED_TRACE(c.texto.toStdString());
        const QImage imagem = qel::Gerar_NovoQrCode(c.texto).convertToFormat(QImage::Format_Grayscale8);
        ASSERT_EQ(imagem.size(), QSize(c.lado, c.lado));
        auto escuro = [&](int x, int y) { return imagem.constScanLine(y)[x] == 0; };
        for (int y = 0; y < c.lado; ++y)
            for (int x = 0; x < c.lado; ++x) {
                const uchar v = imagem.constScanLine(y)[x];
                ASSERT_TRUE(v == 0 || v == 255) << x << "," << y;
                const bool borda = x == 0 || y == 0 || x == c.lado - 1 || y == c.lado - 1;
                if (borda) {
                    ASSERT_FALSE(escuro(x, y)) << "borda escura em " << x << "," << y;
                }
            }
        // The three finder patterns start right inside the border: a dark 7×7 ring, a light
        // ring and a dark 3×3 centre.
        const int cantos[][2] = {{1, 1}, {c.lado - 8, 1}, {1, c.lado - 8}};
        for (const auto& canto : cantos)
            for (int dy = 0; dy < 7; ++dy)
                for (int dx = 0; dx < 7; ++dx) {
                    const int anel = std::min(std::min(dx, dy), std::min(6 - dx, 6 - dy));
                    EXPECT_EQ(escuro(canto[0] + dx, canto[1] + dy), anel != 1)
                        << "localizador em " << canto[0] << "," << canto[1] << " módulo " << dx << "," << dy;
                }
    }
}

TEST(codigo_qr, LeituraDevolveOTextoNoNivelL) {
    for (const CasoQr& c : casosQr) {
        SCOPED_TRACE(c.texto.toStdString());
        const ZXing::Result r = lerNaPagina(qel::Gerar_NovoQrCode(c.texto), ZXing::BarcodeFormat::QRCode, 4);
        ASSERT_TRUE(r.isValid());
        EXPECT_EQ(r.text(), c.texto.toStdString());
        EXPECT_EQ(r.ecLevel(), "L");
        EXPECT_EQ(r.hasECI(), c.eci);
    }
}

TEST(codigo_qr, TextoVazioOuGrandeDemaisEhErro) {
    const QString invalidos[] = {u""_s, repetido(u"x"_s, 3000)};
    for (const QString& texto : invalidos) {
        SCOPED_TRACE(texto.size());
        EXPECT_THROW(qel::Gerar_NovoQrCode(texto), qel::ErroInesperado);
    }
}

TEST(codigo_qr, ZonaDeSilencio) {
    const struct {
        QString texto;
        int anterior;
        int esperado;
    } casos[] = {
        {u"1"_s, 4, 1},  {u"0"_s, 4, 0},   {u"100"_s, 4, 100}, {u" 7 "_s, 4, 7}, {u"101"_s, 3, 3},
        {u"-1"_s, 3, 3}, {u"abc"_s, 3, 4}, {u""_s, 3, 4},      {u"1.5"_s, 3, 4}, {u"99999999999"_s, 3, 4},
    };
    for (const auto& c : casos) {
        SCOPED_TRACE(c.texto.toStdString());
        EXPECT_EQ(qel::zonaDeSilencio(c.texto, c.anterior), c.esperado);
    }
}

// ---------------------------------------------------------------- drawing on a page

TEST(desenho, AmpliaSemTonsDeCinzaEPreservaOPintor) {
    const struct {
        QImage imagem;
        QRectF destino;
    } casos[] = {
        {qel::Barras(chaveSP), QRectF(3.5, 2.25, 277 * 1.7, 70 * 0.6)},
        {qel::Gerar_NovoQrCode(u"HTTP://EXAMPLE.COM/ABC"_s), QRectF(1.3, 1.3, 100, 100)},
    };
    for (const auto& c : casos) {
        QImage pagina(600, 120, QImage::Format_RGB32);
        pagina.fill(Qt::white);
        QPainter p(&pagina);
        p.setRenderHint(QPainter::SmoothPixmapTransform, true);
        qel::desenhaSemSuavizar(p, c.destino, c.imagem);
        EXPECT_TRUE(p.testRenderHint(QPainter::SmoothPixmapTransform));
        p.end();

        int pretos = 0;
        for (int y = 0; y < pagina.height(); ++y)
            for (int x = 0; x < pagina.width(); ++x) {
                const QRgb cor = pagina.pixel(x, y);
                ASSERT_TRUE(cor == qRgb(0, 0, 0) || cor == qRgb(255, 255, 255))
                    << x << "," << y << " tem a cor " << std::hex << cor;
                pretos += cor == qRgb(0, 0, 0);
            }
        EXPECT_GT(pretos, 0);
    }
}

// A page of one picture object drawn by the engine at `dpi` dots per inch, as a printer or a
// render of the page would see it.
QImage paginaComSimbolo(const qel::Simbolo& simbolo, const QRectF& caixa, double dpi) {
    qel::Modelo m;
    qel::Objeto figura;
    figura.tipo = qel::TipoObjeto::Figura;
    figura.nome = u"Barras"_s;
    figura.geometria = caixa;
    figura.defineSimbolo(simbolo);
    m.objetos().append(figura);
    const double escala = dpi / 96.0;
    QImage pagina(qCeil((caixa.right() + 20) * escala), qCeil((caixa.bottom() + 20) * escala),
                  QImage::Format_Grayscale8);
    pagina.fill(255);
    QPainter p(&pagina);
    qel::Relatorio::desenhaPagina(p, m, dpi);
    return pagina;
}

ZXing::Result ler(const QImage& pagina, ZXing::BarcodeFormat formato) {
    return ZXing::ReadBarcode(ZXing::ImageView(pagina.constBits(), pagina.width(), pagina.height(),
                                               ZXing::ImageFormat::Lum,
                                               static_cast<int>(pagina.bytesPerLine())),
                              ZXing::DecodeHints().setFormats(formato).setTryHarder(true));
}

// Dark runs of one pixel row: start and width.
std::vector<std::pair<int, int>> trechosEscuros(const QImage& pagina, int y) {
    std::vector<std::pair<int, int>> trechos;
    const uchar* linha = pagina.constScanLine(y);
    for (int x = 0; x < pagina.width();) {
        if (linha[x] != 0) {
            ++x;
            continue;
        }
        int fim = x;
        while (fim < pagina.width() && linha[fim] == 0)
            ++fim;
        trechos.push_back({x, fim - x});
        x = fim;
    }
    return trechos;
}

TEST(desenho, SimboloComModulosDePontosInteirosEZonaDeSilencioDentroDaCaixa) {
    const QString qr =
        u"http://www.fazenda.pr.gov.br/nfce/qrcode?p=41180526972743000117650010001220251914636324|"
        u"2|2|1|1D6D4B37B24A71CBA216E5240709820FB5A9275C"_s;
    const struct {
        const char* caso;
        qel::Simbolo simbolo;
        QRectF caixa; // template units, 1/96 inch
        ZXing::BarcodeFormat formato;
        QString texto;
    } casos[] = {
        {"key in the DANFE's frame", qel::simboloBarras(chaveSP), QRectF(471, 110, 291, 44),
         ZXing::BarcodeFormat::Code128, chaveSP},
        {"key in a narrow frame: smaller modules, the same quiet zone", qel::simboloBarras(chaveSP),
         QRectF(13.3, 7.7, 200, 30), ZXing::BarcodeFormat::Code128, chaveSP},
        {"CIOT number", qel::simboloBarras(u"123456789012"_s), QRectF(10, 10, 400, 50),
         ZXing::BarcodeFormat::Code128, u"123456789012"_s + repetido(u"0"_s, 32)},
        {"NFC-e QR code", qel::simboloQr(qr), QRectF(77.1, 20.4, 143.6, 143.6), ZXing::BarcodeFormat::QRCode,
         qr},
    };
    for (const auto& c : casos)
        for (const double dpi : {150.0, 203.0, 300.0, 600.0}) {
            SCOPED_TRACE(std::string(c.caso) + " at " + std::to_string(int(dpi)) + " dpi");
            const QImage pagina = paginaComSimbolo(c.simbolo, c.caixa, dpi);
            const ZXing::Result lido = ler(pagina, c.formato);
            ASSERT_TRUE(lido.isValid());
            EXPECT_EQ(lido.text(), c.texto.toStdString());

            // Every pixel black or white, every run a whole number of modules of whole dots.
            const QRectF caixa(c.caixa.topLeft() * dpi / 96, c.caixa.size() * dpi / 96);
            const int colunas = c.simbolo.colunas + 2 * c.simbolo.zonaSilencio;
            const int modulo = static_cast<int>(std::floor(caixa.width() / colunas));
            ASSERT_GE(modulo, 1);
            for (int y = 0; y < pagina.height(); ++y)
                for (int x = 0; x < pagina.width(); ++x)
                    ASSERT_TRUE(pagina.constScanLine(y)[x] == 0 || pagina.constScanLine(y)[x] == 255);
            const int meio = qRound(caixa.center().y());
            const auto trechos = trechosEscuros(pagina, meio);
            ASSERT_FALSE(trechos.empty());
            for (const auto& [inicio, largura] : trechos)
                EXPECT_EQ(largura % modulo, 0) << "run at " << inicio << " is " << largura << " dots";
            // The quiet zone lies inside the frame.
            EXPECT_GE(trechos.front().first - caixa.left(), c.simbolo.zonaSilencio * modulo - 1);
            const auto& ultimo = trechos.back();
            EXPECT_GE(caixa.right() - (ultimo.first + ultimo.second), c.simbolo.zonaSilencio * modulo - 1);
        }
}

} // namespace
