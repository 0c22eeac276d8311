#include "print/codigo_qr.h"

#include "util/erros.h"

#include <ZXing/BitMatrix.h>
#include <ZXing/CharacterSet.h>
#include <ZXing/MultiFormatWriter.h>

#include <stdexcept>

using namespace Qt::StringLiterals;

namespace qel {

namespace {

// The encoder's level 1 is error correction L: the most data per version, so the symbol's modules
// stay large enough to print on a till receipt.
constexpr int nivelCorrecaoL = 1;

bool latin1(const QString& texto) {
    for (QChar c : texto)
        if (c.unicode() > 0xFF) return false;
    return true;
}

} // namespace

int zonaDeSilencio(const QString& texto, int anterior) {
    bool ok = false;
    int valor = texto.toInt(&ok); // blanks around the number are allowed
    if (!ok) valor = 4;
    return valor < 0 || valor > 100 ? anterior : valor;
}

Simbolo simboloQr(const QString& texto) {
    ZXing::MultiFormatWriter escritor(ZXing::BarcodeFormat::QRCode);
    escritor.setEccLevel(nivelCorrecaoL).setMargin(0);
    // Without an explicit encoding the encoder writes ISO-8859-1 and no ECI header; naming any
    // encoding adds the header even to plain ASCII.
    if (!latin1(texto)) escritor.setEncoding(ZXing::CharacterSet::UTF8);

    ZXing::BitMatrix matriz;
    try {
        matriz = escritor.encode(texto.toStdString(), 0, 0);
    } catch (const std::exception& e) {
        throw ErroInesperado(u"Não foi possível gerar o QR Code de '"_s + texto + u"': "_s +
                             QString::fromUtf8(e.what()));
    }

    Simbolo s;
    s.colunas = matriz.width();
    s.linhas = matriz.height();
    s.zonaSilencio = zonaDeSilencio(u"1"_s, 4);
    s.escuros.reserve(static_cast<std::size_t>(s.colunas) * s.linhas);
    for (int y = 0; y < s.linhas; ++y)
        for (int x = 0; x < s.colunas; ++x)
            s.escuros.push_back(matriz.get(x, y) ? 1 : 0);
    return s;
}

void defineQrCode(Objeto& figura, const QString& texto) {
    figura.defineSimbolo(simboloQr(texto));
}

QImage Gerar_NovoQrCode(const QString& texto) {
    const Simbolo s = simboloQr(texto);
    const int zona = s.zonaSilencio;
    const int lado = s.colunas + 2 * zona;
    QImage imagem(lado, lado, QImage::Format_Grayscale8);
    imagem.fill(255);
    for (int y = 0; y < s.linhas; ++y) {
        uchar* linha = imagem.scanLine(y + zona);
        for (int x = 0; x < s.colunas; ++x)
            if (s.escuro(x, y)) linha[x + zona] = 0;
    }
    return imagem;
}

} // namespace qel
