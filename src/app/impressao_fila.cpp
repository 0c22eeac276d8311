#include "app/impressao_fila.h"

#include "relatorio/relatorio.h"

#include <QPageSize>
#include <QPrinter>
#include <QPrinterInfo>

#include <algorithm>
#include <cmath>
#include <optional>

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
        impressora.setPageSize(papelDaFila(tamanhoPagina(relatorio.pagina(0)), info.supportsCustomPageSizes(),
                                           info.supportedPageSizes()));
    impressora.setFullPage(true);
    return true;
}

QPageSize papelDaFila(const QPageSize& pagina, bool aceitaPersonalizado, const QList<QPageSize>& listados) {
    const QSizeF pedido = pagina.size(QPageSize::Millimeter);
    const auto mesmaLargura = [&](const QPageSize& p) {
        return std::abs(p.size(QPageSize::Millimeter).width() - pedido.width()) < 1.5;
    };
    if (aceitaPersonalizado || std::any_of(listados.cbegin(), listados.cend(),
                                           [&](const QPageSize& p) { return p.isEquivalentTo(pagina); }))
        return pagina;
    std::optional<QPageSize> escolhido;
    for (const QPageSize& p : listados) {
        if (!mesmaLargura(p)) continue;
        const double altura = p.size(QPageSize::Millimeter).height();
        if (!escolhido) {
            escolhido = p;
            continue;
        }
        const double atual = escolhido->size(QPageSize::Millimeter).height();
        const bool cabe = altura >= pedido.height();
        const bool atualCabe = atual >= pedido.height();
        if ((cabe && (!atualCabe || altura < atual)) || (!cabe && !atualCabe && altura > atual))
            escolhido = p;
    }
    return escolhido.value_or(pagina);
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
