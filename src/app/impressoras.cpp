#include "app/impressoras.h"

#include <QPrinterInfo>

namespace qel {

QStringList impressorasInstaladas() {
    return QPrinterInfo::availablePrinterNames();
}

} // namespace qel
