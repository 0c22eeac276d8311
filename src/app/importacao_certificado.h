#pragma once

#include "util/relogio.h"

#include <QString>

namespace qel {

// qel-dfe --importar-certificado ARQUIVO: reads the password from standard input (without echo
// on a terminal), checks the file and adds it to the certificate store. The exit status.
// A certificate that has expired by the clock's time is refused.
int importaCertificado(const QString& arquivo, const Relogio& relogio);

} // namespace qel
