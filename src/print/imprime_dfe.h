#pragma once

// The one entry of printing: the printout of a stored document by its kind.

#include "print/contexto_impressao.h"

namespace qel {

// Prints (or previews, or exports) the document, a path or the XML text, as the printout of its
// kind. False when the kind has no printout yet (the output says so).
bool Imprime_DFe(const QString& documento, TipoDocumento tipo, ContextoImpressao& ctx,
                 const ConfiguracaoEmpresa& cfg, SaidaImpressao& saida, const RecarregaEmpresa& recarrega);

} // namespace qel
