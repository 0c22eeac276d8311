#pragma once

// A plain text signed with the company certificate, outside any XML signature: the parameters
// of the NFC-e QR code version 3 in contingency (NT 2025.001, section 04: RSA with SHA-1, in
// Base64, by the certificate that signs the NFC-e).

#include "sign/certificado.h"

#include <QByteArray>
#include <QString>

namespace qel {

// The Base64 of the PKCS#1 v1.5 RSA-SHA1 signature of `texto`; empty when the certificate has
// no usable RSA key.
QString assinaTextoSha1(const Certificado& certificado, const QByteArray& texto);

} // namespace qel
