#pragma once

// The receipt of a registered event (cancellation, correction letter, closing of an MDF-e and the
// other events of NF-e, CT-e and MDF-e), of an inutilização of NF-e or CT-e numbers, or of the
// cancellation of an NFS-e.

#include "print/contexto_impressao.h"

namespace qel {

// Fills the receipt of the stored result (a path or the XML text) and hands it to the output stage.
// The receipt names its PDF "C:\Qel\Evento_DFe.PDF" (unless the task names one), which the e-mail
// attaches.
void imprimeReciboEvento(const QString& documento, ContextoImpressao& ctx, const ConfiguracaoEmpresa& cfg,
                         SaidaImpressao& saida);

} // namespace qel
