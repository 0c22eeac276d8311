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

} // namespace qel
