#include "util/codificacao.h"

#include <QStringDecoder>
#include <array>

namespace qel {

namespace {

// Bytes 0x80 to 0x9F of code page 1252. The five bytes the code page leaves undefined map to
// the C1 control of the same number, as Windows itself does when it decodes them.
constexpr std::array<char16_t, 32> kFaixa80{0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                            0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                            0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                            0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

} // namespace

QByteArray paraCp1252(const QString& texto) {
    QByteArray saida;
    saida.reserve(texto.size());
    for (const QChar c : texto) {
        const char16_t u = c.unicode();
        if (u < 0x80 || (u >= 0xA0 && u <= 0xFF)) {
            saida.append(static_cast<char>(u));
            continue;
        }
        char byte = '?';
        for (std::size_t i = 0; i < kFaixa80.size(); ++i) {
            if (kFaixa80[i] == u) {
                byte = static_cast<char>(0x80 + i);
                break;
            }
        }
        saida.append(byte);
    }
    return saida;
}

QString deCp1252(const QByteArray& bytes) {
    QString texto;
    texto.reserve(bytes.size());
    for (const char ch : bytes) {
        const auto b = static_cast<unsigned char>(ch);
        texto.append(b >= 0x80 && b < 0xA0 ? QChar(kFaixa80[b - 0x80]) : QChar(char16_t(b)));
    }
    return texto;
}

bool ehUtf8Valido(const QByteArray& bytes) {
    QStringDecoder decodificador(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString ignorado = decodificador.decode(bytes);
    Q_UNUSED(ignorado);
    return !decodificador.hasError();
}

QString decodificaTextoArquivo(const QByteArray& bytes) {
    if (bytes.startsWith("\xEF\xBB\xBF")) return QString::fromUtf8(bytes.mid(3));
    if (bytes.startsWith("\xFF\xFE") || bytes.startsWith("\xFE\xFF")) {
        QStringDecoder decodificador(bytes.startsWith("\xFF\xFE") ? QStringDecoder::Utf16LE
                                                                  : QStringDecoder::Utf16BE);
        return decodificador.decode(bytes.mid(2));
    }
    bool soAscii = true;
    for (const char ch : bytes) {
        if (static_cast<unsigned char>(ch) >= 0x80) {
            soAscii = false;
            break;
        }
    }
    if (!soAscii && ehUtf8Valido(bytes)) return QString::fromUtf8(bytes);
    return deCp1252(bytes);
}

} // namespace qel
