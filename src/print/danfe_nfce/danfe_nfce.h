#pragma once

// The DANFE NFC-e: the receipt of an NFC-e on a 79 mm roll, one page as long as its content.

#include "print/contexto_impressao.h"

namespace qel {

// Fills the receipt of the document (a path or the XML text) and hands it to the output stage:
// preview, printed copies (after the question "Deseja imprimir o Cupom?" when the settings ask
// for it), PDF, as the task and the settings say.
void imprimeDanfeNfce(const QString& documento, ContextoImpressao& ctx, const ConfiguracaoEmpresa& cfg,
                      SaidaImpressao& saida);

} // namespace qel
