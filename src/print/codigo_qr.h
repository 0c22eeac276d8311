#pragma once

// QR code image of the NFC-e, CT-e and MDF-e consultation texts.
//
// On a printout the QR code is a symbol, not a bitmap: `defineQrCode(modelo.objeto("QRCode"),
// texto)` gives a picture object the code's modules, which the engine draws as vector squares of
// whole dots, centred and as large as the object's frame allows.

#include "relatorio/modelo.h"

#include <QImage>
#include <QString>

namespace qel {

// The QR code of `texto` at error-correction level L, input mode chosen by the encoder and the
// smallest version that holds the text: a square of (modules + 2) pixels, one pixel per module,
// dark modules black, light modules and a one-module quiet zone white. The narrow quiet zone keeps
// the symbol large in the small frames of the layouts; the page around it is white anyway.
//
// Text in ISO-8859-1 (every consultation URL) is encoded without an ECI header, which would cost a
// version at the capacity boundary; other text is encoded as UTF-8 with its ECI. An empty text or
// one too long for any version throws ErroInesperado: a fiscal printout must not carry a blank or
// unreadable QR code.
QImage Gerar_NovoQrCode(const QString& texto);

// The same code as a symbol (level L, the one-module quiet zone) for a picture object to draw.
// Throws like Gerar_NovoQrCode.
Simbolo simboloQr(const QString& texto);

// Puts the QR code of `texto` in a picture object.
void defineQrCode(Objeto& figura, const QString& texto);

// The quiet zone, in modules, given by `texto`: its whole number, 4 when it cannot be read as one
// (a number too large for an int included), and `anterior` (unchanged) for a number outside 0 to 100.
int zonaDeSilencio(const QString& texto, int anterior);

} // namespace qel
