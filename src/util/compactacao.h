#pragma once

// The gzip + Base64 packing of the CT-e and MDF-e authorisation bodies and of the documents
// the national distribution service returns in docZip, and the SHA-1 of the NFC-e QR text.

#include <QByteArray>
#include <QString>

namespace qel {

// The text in code page 1252, compressed as one gzip member (RFC 1952: header 1F 8B 08 00,
// mtime 0, XFL 0, OS 255; default deflate level) and encoded in standard Base64 with "="
// padding and no line breaks.
QString Compacta(const QString& texto);
// The same packing for bytes already encoded (a body that must travel as UTF-8).
QString Compacta(const QByteArray& bytes);

// The reverse of Compacta: every character outside the Base64 alphabet is skipped, any gzip
// member is accepted (and members written one after the other), the bytes are read as code
// page 1252, which keeps every byte, so the text written back in code page 1252 is byte for
// byte the packed document. A blank text gives an empty text; anything that does not unpack
// throws ErroInesperado.
QString Descompacta(const QString& texto);
// The unpacked bytes themselves.
QByteArray DescompactaBytes(const QString& texto);

// SHA-1 of the text in code page 1252, as 40 upper-case hexadecimal digits.
QString Calcula_Sha1(const QString& texto);

} // namespace qel
