#pragma once

// Printing on the workstation's queues (CUPS): the list of printers, and a prepared report
// printed on one of them.

#include "flows/interface_usuario.h"

#include <QList>
#include <QPageSize>
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

// The paper a queue is given for a page: the page itself when the queue takes custom sizes or
// lists it; otherwise, for a roll on a queue that lists only fixed lengths of its paper, the
// shortest of the page's width that holds the page, or the longest of that width. Any other page
// on any other queue: the page itself, which the queue then fits as it can.
QPageSize papelDaFila(const QPageSize& pagina, bool aceitaPersonalizado, const QList<QPageSize>& listados);

// Prints the report, one job per copy. False when the queue does not exist or a job failed.
bool imprimeNaFila(const Relatorio& relatorio, const DestinoImpressao& destino);

} // namespace qel
