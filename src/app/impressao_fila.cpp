#include "app/impressao_fila.h"

#include "relatorio/relatorio.h"

#include <QPageSize>
#include <QPrinter>
#include <QPrinterInfo>

namespace qel {

QStringList impressorasInstaladas() {
    return QPrinterInfo::availablePrinterNames();
}

bool preparaImpressora(QPrinter& impressora, const Relatorio& relatorio, const DestinoImpressao& destino) {
    const QPrinterInfo info = destino.impressora.isEmpty() ? QPrinterInfo::defaultPrinter()
                                                           : QPrinterInfo::printerInfo(destino.impressora);
    // Without a real printer Qt would quietly make a PDF nobody asked for.
    if (info.isNull()) return false;
    impressora.setPrinterName(info.printerName());
    impressora.setDocName(destino.titulo);
    if (relatorio.paginas() > 0)
        impressora.setPageSize(QPageSize(relatorio.pagina(0).papelMm(), QPageSize::Millimeter));
    impressora.setFullPage(true);
    return true;
}

bool imprimeNaFila(const Relatorio& relatorio, const DestinoImpressao& destino) {
    if (relatorio.paginas() == 0) return false;
    for (int copia = 0; copia < destino.copias; ++copia) {
        QPrinter impressora(QPrinter::HighResolution);
        if (!preparaImpressora(impressora, relatorio, destino)) return false;
        if (!relatorio.desenhaEm(impressora, impressora.resolution())) return false;
    }
    return true;
}

} // namespace qel
