#pragma once

// The DACTE: the A4 auxiliary document of a CT-e (road modal), in the layout of the normal CT-e or
// of the simplified CT-e, which the document itself decides.

#include "print/contexto_impressao.h"

namespace qel {

// Fills the DACTE of the document (a path or the XML text), with continuation pages when its list
// of documents or deliveries is longer than the first page holds, and hands it to the output
// stage: preview, printed copies, PDF, as the task and the settings say.
void imprimeDacte(const QString& documento, ContextoImpressao& ctx, const ConfiguracaoEmpresa& cfg,
                  SaidaImpressao& saida);

} // namespace qel
