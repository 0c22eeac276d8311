#include "util/codificacao.h"

#include <QStringDecoder>
#include <array>
#include <cstring>

namespace qel {

namespace {

// Bytes 0x80 to 0x9F of code page 1252. The five bytes the code page leaves undefined map to
// the C1 control of the same number, as Windows itself does when it decodes them.
constexpr std::array<char16_t, 32> kFaixa80{0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                            0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                            0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                            0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

constexpr char kBomUtf8[] = "\xEF\xBB\xBF";

char16_t deByteCp1252(unsigned char b) {
    return b >= 0x80 && b < 0xA0 ? kFaixa80[b - 0x80] : char16_t(b);
}

// The code point that starts at p (valid UTF-8 assumed) and its length in bytes.
char32_t pontoUtf8(const unsigned char* p, int* tamanho) {
    if (p[0] < 0x80) {
        *tamanho = 1;
        return p[0];
    }
    if (p[0] < 0xE0) {
        *tamanho = 2;
        return (char32_t(p[0] & 0x1F) << 6) | (p[1] & 0x3F);
    }
    if (p[0] < 0xF0) {
        *tamanho = 3;
        return (char32_t(p[0] & 0x0F) << 12) | (char32_t(p[1] & 0x3F) << 6) | (p[2] & 0x3F);
    }
    *tamanho = 4;
    return (char32_t(p[0] & 0x07) << 18) | (char32_t(p[1] & 0x3F) << 12) | (char32_t(p[2] & 0x3F) << 6) |
           (p[3] & 0x3F);
}

bool espacoAscii(unsigned char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

// A line of valid UTF-8 without the blanks QString::trimmed removes at either end.
void aparaUtf8(const unsigned char*& inicio, const unsigned char*& fim) {
    int n = 0;
    while (inicio < fim) {
        if (*inicio < 0x80) {
            if (!espacoAscii(*inicio)) break;
            ++inicio;
        } else {
            if (!QChar::isSpace(pontoUtf8(inicio, &n))) break;
            inicio += n;
        }
    }
    while (fim > inicio) {
        if (fim[-1] < 0x80) {
            if (!espacoAscii(fim[-1])) break;
            --fim;
            continue;
        }
        const unsigned char* p = fim - 1;
        while (p > inicio && (*p & 0xC0) == 0x80)
            --p;
        if (!QChar::isSpace(pontoUtf8(p, &n))) break;
        fim = p;
    }
}

void aparaCp1252(const unsigned char*& inicio, const unsigned char*& fim) {
    while (inicio < fim && QChar::isSpace(deByteCp1252(*inicio)))
        ++inicio;
    while (fim > inicio && QChar::isSpace(deByteCp1252(fim[-1])))
        --fim;
}

// Calls f(start, end) for every line of the bytes. Any CR or LF ends a line: a CR LF pair
// then makes an empty line between them, which changes nothing once lines are trimmed and
// joined.
template <typename F> void porLinha(const unsigned char* p, const unsigned char* fim, F f) {
    while (p < fim) {
        const auto* lf =
            static_cast<const unsigned char*>(std::memchr(p, '\n', static_cast<size_t>(fim - p)));
        const unsigned char* fimTrecho = lf ? lf : fim;
        while (const auto* cr = static_cast<const unsigned char*>(
                   std::memchr(p, '\r', static_cast<size_t>(fimTrecho - p)))) {
            f(p, cr);
            p = cr + 1;
        }
        f(p, fimTrecho);
        p = fimTrecho + 1;
    }
}

void escreveUtf8(char*& destino, char16_t u) {
    if (u < 0x80) {
        *destino++ = static_cast<char>(u);
    } else if (u < 0x800) {
        *destino++ = static_cast<char>(0xC0 | (u >> 6));
        *destino++ = static_cast<char>(0x80 | (u & 0x3F));
    } else {
        *destino++ = static_cast<char>(0xE0 | (u >> 12));
        *destino++ = static_cast<char>(0x80 | ((u >> 6) & 0x3F));
        *destino++ = static_cast<char>(0x80 | (u & 0x3F));
    }
}

// The reference rule, for the encodings that need the whole text decoded first (UTF-16, and
// UTF-8 with a byte-order mark but with invalid sequences, which become U+FFFD).
QByteArray juntaLinhasDecodificadas(const QByteArray& bytes) {
    const QString texto = decodificaTextoArquivo(bytes);
    QString junto;
    junto.reserve(texto.size());
    qsizetype inicio = 0;
    for (qsizetype i = 0; i <= texto.size(); ++i) {
        if (i < texto.size() && texto.at(i) != u'\r' && texto.at(i) != u'\n') continue;
        junto += QStringView(texto).sliced(inicio, i - inicio).trimmed();
        inicio = i + 1;
    }
    return junto.toUtf8();
}

} // namespace

QByteArray paraCp1252(const QString& texto) {
    QByteArray saida(texto.size(), Qt::Uninitialized);
    char* destino = saida.data();
    for (const QChar c : texto) {
        const char16_t u = c.unicode();
        if (u < 0x80 || (u >= 0xA0 && u <= 0xFF)) {
            *destino++ = static_cast<char>(u);
            continue;
        }
        char byte = '?';
        for (std::size_t i = 0; i < kFaixa80.size(); ++i) {
            if (kFaixa80[i] == u) {
                byte = static_cast<char>(0x80 + i);
                break;
            }
        }
        *destino++ = byte;
    }
    return saida;
}

QString deCp1252(const QByteArray& bytes) {
    QString texto(bytes.size(), Qt::Uninitialized);
    QChar* destino = texto.data();
    for (const char ch : bytes)
        *destino++ = QChar(deByteCp1252(static_cast<unsigned char>(ch)));
    return texto;
}

bool ehUtf8Valido(const QByteArray& bytes) {
    // The validation of Qt's own UTF-8 decoder, without decoding.
    return QByteArrayView(bytes).isValidUtf8();
}

QString decodificaTextoArquivo(const QByteArray& bytes) {
    if (bytes.startsWith(kBomUtf8)) return QString::fromUtf8(bytes.mid(3));
    if (bytes.startsWith("\xFF\xFE") || bytes.startsWith("\xFE\xFF")) {
        QStringDecoder decodificador(bytes.startsWith("\xFF\xFE") ? QStringDecoder::Utf16LE
                                                                  : QStringDecoder::Utf16BE);
        return decodificador.decode(bytes.mid(2));
    }
    // Plain ASCII reads the same in both encodings.
    if (ehUtf8Valido(bytes)) return QString::fromUtf8(bytes);
    return deCp1252(bytes);
}

QByteArray textoArquivoJuntoUtf8(QByteArray bytes) {
    qsizetype inicio = 0;
    bool utf8 = false;
    if (bytes.startsWith(kBomUtf8)) {
        // QString::fromUtf8 drops one more mark right behind the first.
        inicio = QByteArrayView(bytes).sliced(3).startsWith(kBomUtf8) ? 6 : 3;
        if (!QByteArrayView(bytes).sliced(inicio).isValidUtf8()) return juntaLinhasDecodificadas(bytes);
        utf8 = true;
    } else if (bytes.startsWith("\xFF\xFE") || bytes.startsWith("\xFE\xFF")) {
        return juntaLinhasDecodificadas(bytes);
    } else {
        utf8 = ehUtf8Valido(bytes);
    }

    if (utf8) {
        // The joined text is never longer than the bytes it comes from: written over them.
        char* const base = bytes.data();
        char* destino = base;
        const auto* origem = reinterpret_cast<const unsigned char*>(base);
        porLinha(origem + inicio, origem + bytes.size(), [&](const unsigned char* a, const unsigned char* b) {
            aparaUtf8(a, b);
            std::memmove(destino, a, static_cast<size_t>(b - a));
            destino += b - a;
        });
        bytes.truncate(destino - base);
        return bytes;
    }

    const auto* origem = reinterpret_cast<const unsigned char*>(bytes.constData());
    const unsigned char* fim = origem + bytes.size();
    qsizetype altos = 0;
    for (const unsigned char* p = origem; p < fim; ++p)
        altos += *p >= 0x80;
    // Each byte from 0x80 on takes at most three bytes in UTF-8.
    QByteArray saida(bytes.size() + 2 * altos, Qt::Uninitialized);
    char* destino = saida.data();
    porLinha(origem, fim, [&](const unsigned char* a, const unsigned char* b) {
        aparaCp1252(a, b);
        for (; a < b; ++a) {
            if (*a < 0x80)
                *destino++ = static_cast<char>(*a);
            else
                escreveUtf8(destino, deByteCp1252(*a));
        }
    });
    saida.truncate(destino - saida.constData());
    return saida;
}

} // namespace qel
