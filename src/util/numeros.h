#pragma once

// Numbers read from documents and settings and numbers printed in the Brazilian format
// (decimal comma, full stop for thousands).

#include <QString>
#include <QtGlobal>

namespace qel {

// 0 for a blank text; otherwise the trimmed text, with "." read as the decimal comma ("1.9" and
// "1,9" are both 1.9). An optional sign and an exponent ("1,5E3") are accepted; anything else
// (thousands separators included: "1.234,56") throws ErroInesperado.
double Texto_Decimal(const QString& texto);

// Texto_Decimal of the text as a whole number ("2.0" gives 2). A fractional value, or one
// outside the 64-bit range, throws ErroInesperado. Plain integers are read exactly, so keys and
// receipt numbers longer than a double's 15 digits keep every digit.
qint64 Texto_Inteiro(const QString& texto);

// The decimal text of the number preceded by `largura` zeros, of which the last `largura`
// characters remain ("007" for 7 in width 3; "345" for 12345).
QString Zeros(qsizetype largura, qint64 numero);

// The number laid out with a picture mask: "#" optional digit, "0" required digit, the first
// "." the position of the decimal comma, "," anywhere asks for thousands points, text in quotes
// and any other character printed as is. A blank mask is "#####,###,##0.00"; a mask that
// begins with "Z" prints blanks for 0 and otherwise reads its "Z"s as "#". Thousands points
// appear only as far to the left as the mask's first ",". Rounding is half away from zero on
// the number's 15 significant decimal digits (2.675 gives "2,68"). A mask has one section:
// ";" is printed as is. NaN and infinities give "NAN", "INF" and "-INF".
QString Formata_Valor(const QString& mascara, double valor);

} // namespace qel
