#pragma once

#include <QByteArray>
#include <QString>

namespace qel {

// Windows code page 1252, the 8-bit code page of the text files exchanged with the calling
// application. Characters that the code page cannot hold are written as "?".
QByteArray paraCp1252(const QString& texto);
QString deCp1252(const QByteArray& bytes);

// True when the bytes are well-formed UTF-8.
bool ehUtf8Valido(const QByteArray& bytes);

// Decodes the bytes of a text file: a byte-order mark decides the encoding and is dropped;
// without one, bytes that are valid UTF-8 and hold non-ASCII characters are UTF-8 (documents
// written by other programs), anything else is code page 1252.
QString decodificaTextoArquivo(const QByteArray& bytes);

// A document file as it is signed and sent: decoded as decodificaTextoArquivo decodes it,
// every line (CR LF, LF and CR end one) trimmed as QString::trimmed trims, the lines joined,
// in UTF-8. The same text as joining the trimmed lines of the decoded file, made in one pass
// and, for UTF-8 and ASCII files, in the bytes given, without a copy.
QByteArray textoArquivoJuntoUtf8(QByteArray bytes);

} // namespace qel
