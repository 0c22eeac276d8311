#pragma once

// The DANFE: the A4 auxiliary document of an NF-e (and of an NFC-e printed on A4).

#include "print/contexto_impressao.h"

namespace qel {

// Fills the DANFE of the document (a path or the XML text), page by page, and hands each page
// to the output stage: preview, printed copies, PDF, as the task and the settings say.
void imprimeDanfe(const QString& documento, ContextoImpressao& ctx, const ConfiguracaoEmpresa& cfg,
                  SaidaImpressao& saida, const RecarregaEmpresa& recarrega);

} // namespace qel
