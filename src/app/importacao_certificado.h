#pragma once

#include <QString>

namespace qel {

// qel-dfe --importar-certificado ARQUIVO: reads the password from standard input (without echo
// on a terminal), checks the file and adds it to the certificate store. The exit status.
int importaCertificado(const QString& arquivo);

} // namespace qel
