#include "print/codigo_barras.h"

#include "util/erros.h"

#include <QPainter>

#include <algorithm>
#include <array>
#include <string_view>
#include <vector>

using namespace Qt::StringLiterals;

namespace qel {

namespace {

// Bar and space widths, in modules, of the Code 128 symbol values 0 to 106: six alternating
// elements starting with a bar (seven for the stop, whose last bar is two modules wide).
constexpr std::array<std::string_view, 107> larguras = {
    "212222", "222122", "222221", "121223", "121322", "131222", "122213",  "122312", "132212", "221213",
    "221312", "231212", "112232", "122132", "122231", "113222", "123122",  "123221", "223211", "221132",
    "221231", "213212", "223112", "312131", "311222", "321122", "321221",  "312212", "322112", "322211",
    "212123", "212321", "232121", "111323", "131123", "131321", "112313",  "132113", "132311", "211313",
    "231113", "231311", "112133", "112331", "132131", "113123", "113321",  "133121", "313121", "211331",
    "231131", "213113", "213311", "213131", "311123", "311321", "331121",  "312113", "312311", "332111",
    "314111", "221411", "431111", "111224", "111422", "121124", "121421",  "141122", "141221", "112214",
    "112412", "122114", "122411", "142112", "142211", "241211", "221114",  "413111", "241112", "134111",
    "111242", "121142", "121241", "114212", "124112", "124211", "411212",  "421112", "421211", "212141",
    "214121", "412121", "111143", "111341", "131141", "114113", "114311",  "411113", "411311", "113141",
    "114131", "311141", "411131", "211412", "211214", "211232", "2331112",
};

constexpr int startB = 104;
constexpr int startC = 105;
constexpr int stop = 106;
constexpr int alturaBarras = 70;
constexpr int zonaSilencioCode128 = 10;
// Pairs of digits every code set C barcode carries at least: those of a 44-digit access key.
constexpr int paresMinimos = 22;

constexpr int modulos(std::string_view padrao) {
    int soma = 0;
    for (char c : padrao)
        soma += c - '0';
    return soma;
}

// A mistyped width would still draw, and read as another value or not at all.
constexpr bool tabelaConsistente() {
    for (int v = 0; v < stop; ++v)
        if (larguras[v].size() != 6 || modulos(larguras[v]) != 11) return false;
    return larguras[stop].size() == 7 && modulos(larguras[stop]) == 13;
}
static_assert(tabelaConsistente());

bool soDigitos(const QString& texto) {
    for (QChar c : texto)
        if (c < u'0' || c > u'9') return false;
    return true;
}

// Symbol values of `digitos` in code set C, start and check symbols included.
std::vector<int> simbolosConjuntoC(const QString& digitos) {
    const qsizetype pares = std::max<qsizetype>(paresMinimos, (digitos.size() + 1) / 2);
    std::vector<int> simbolos{startC};
    qint64 soma = startC;
    for (qsizetype i = 1; i <= pares; ++i) {
        const qsizetype p = 2 * (i - 1);
        int valor = 0;
        if (p + 1 < digitos.size())
            valor = (digitos[p].unicode() - u'0') * 10 + (digitos[p + 1].unicode() - u'0');
        else if (p < digitos.size())
            valor = digitos[p].unicode() - u'0';
        simbolos.push_back(valor);
        soma += i * valor;
    }
    simbolos.push_back(static_cast<int>(soma % 103));
    return simbolos;
}

qsizetype digitosSeguidos(const QString& texto, qsizetype desde) {
    qsizetype n = 0;
    while (desde + n < texto.size() && texto[desde + n] >= u'0' && texto[desde + n] <= u'9')
        ++n;
    return n;
}

// Symbol values of a text with other characters than digits, start and check symbols included:
// code set B for the characters, set C for runs of digits long enough to save symbols (four at
// the start or the end, six in between; an odd run leaves its first digit in B), as ISO/IEC
// 15417 annex E advises. A key with an alphanumeric CNPJ keeps its 26 final digits in pairs,
// so its barcode is little wider than a numeric key's and stays legible in the DANFE's field
// (one symbol per character would make it twice as wide, with modules under the printers' dots).
std::vector<int> simbolosMistos(const QString& texto) {
    constexpr int paraB = 100;
    constexpr int paraC = 99;
    const auto longaParaC = [&texto](qsizetype i) {
        const qsizetype n = digitosSeguidos(texto, i);
        return i == 0 || i + n == texto.size() ? n >= 4 : n >= 6;
    };
    std::vector<int> simbolos;
    bool emC = longaParaC(0);
    simbolos.push_back(emC ? startC : startB);
    for (qsizetype i = 0; i < texto.size();) {
        if (emC) {
            if (digitosSeguidos(texto, i) >= 2) {
                simbolos.push_back((texto[i].unicode() - u'0') * 10 + (texto[i + 1].unicode() - u'0'));
                i += 2;
                continue;
            }
            simbolos.push_back(paraB);
            emC = false;
        }
        const qsizetype n = digitosSeguidos(texto, i);
        if (n > 0 && n % 2 == 0 && longaParaC(i)) {
            simbolos.push_back(paraC);
            emC = true;
            continue;
        }
        const char16_t c = texto[i].unicode();
        if (c < 32 || c > 127)
            throw ErroInesperado(u"O caractere '"_s + texto[i] +
                                 u"' não pode ser representado no código de barras de '"_s + texto + u"'"_s);
        simbolos.push_back(c - 32);
        ++i;
    }
    qint64 soma = simbolos.front();
    for (std::size_t i = 1; i < simbolos.size(); ++i)
        soma += static_cast<qint64>(i) * simbolos[i];
    simbolos.push_back(static_cast<int>(soma % 103));
    return simbolos;
}

} // namespace

Simbolo simboloBarras(const QString& digitos) {
    std::vector<int> simbolos = soDigitos(digitos) ? simbolosConjuntoC(digitos) : simbolosMistos(digitos);
    simbolos.push_back(stop);
    Simbolo s;
    s.linhas = 1;
    s.zonaSilencio = zonaSilencioCode128;
    for (int v : simbolos) {
        bool barra = true;
        for (char w : larguras[v]) {
            s.escuros.insert(s.escuros.end(), static_cast<std::size_t>(w - '0'), barra ? 1 : 0);
            barra = !barra;
        }
    }
    s.colunas = static_cast<int>(s.escuros.size());
    return s;
}

void defineBarras(Objeto& figura, const QString& digitos) {
    if (digitos.isEmpty())
        figura.limpaFigura();
    else
        figura.defineSimbolo(simboloBarras(digitos));
}

QImage Barras(const QString& digitos) {
    const Simbolo s = simboloBarras(digitos);
    // The first row is drawn module by module, then copied: every column is one module.
    QImage imagem(s.colunas, alturaBarras, QImage::Format_Grayscale8);
    uchar* linha = imagem.scanLine(0);
    for (int x = 0; x < s.colunas; ++x)
        linha[x] = s.escuro(x, 0) ? 0 : 255;
    for (int y = 1; y < alturaBarras; ++y)
        std::copy_n(linha, s.colunas, imagem.scanLine(y));
    return imagem;
}

void desenhaSemSuavizar(QPainter& painter, const QRectF& destino, const QImage& imagem) {
    painter.save();
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    painter.drawImage(destino, imagem);
    painter.restore();
}

} // namespace qel
