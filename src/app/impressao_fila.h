#pragma once

// Printing on the workstation's queues (CUPS): the list of printers, and a prepared report
// printed on one of them.

#include "flows/interface_usuario.h"

#include <QStringList>

class QPrinter;

namespace qel {

class Relatorio;

// Names of the printers installed on this workstation, read afresh.
QStringList impressorasInstaladas();

// Sets a printer up for the report on the destination's queue (the default queue when the name
// is empty): the template's page size, the whole page (the templates hold their own margins).
// False when there is no such queue.
bool preparaImpressora(QPrinter& impressora, const Relatorio& relatorio, const DestinoImpressao& destino);

// Prints the report, one job per copy. False when the queue does not exist or a job failed.
bool imprimeNaFila(const Relatorio& relatorio, const DestinoImpressao& destino);

} // namespace qel
