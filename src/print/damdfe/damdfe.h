#pragma once

// The DAMDFE: the A4 auxiliary document of an MDF-e (road modal), the manifest that travels with a
// load and lists its transport documents per unloading municipality.

#include "print/contexto_impressao.h"

namespace qel {

// Fills the DAMDFE of the document (a path or the XML text), with continuation pages when its
// documents do not fit the first page, and hands it to the output stage: preview, printed copies,
// PDF, as the task and the settings say.
void imprimeDamdfe(const QString& documento, ContextoImpressao& ctx, const ConfiguracaoEmpresa& cfg,
                   SaidaImpressao& saida);

} // namespace qel
