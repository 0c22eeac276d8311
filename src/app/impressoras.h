#pragma once

#include <QStringList>

namespace qel {

// Names of the printers installed on this workstation (CUPS queues), read afresh.
QStringList impressorasInstaladas();

} // namespace qel
