#pragma once

// The printed NFS-e: the A4 form of a stored municipal service invoice (nfseProc) with the
// municipality's header and crest, provider, taker, service, taxes and values, and the stub the
// taker signs.

#include "print/contexto_impressao.h"

#include <QImage>

namespace qel {

// Fills the form from the document (a path or the XML text) and hands it to the output stage:
// preview, printed copies, PDF, as the task and the NFS-e settings say.
void imprimeNfse(const QString& documento, ContextoImpressao& ctx, const ConfiguracaoEmpresa& cfg,
                 SaidaImpressao& saida);

// The crest of a municipality the program serves: its image among the resources, or a neutral
// emblem drawn in its place; null for any other code.
QImage brasaoMunicipio(const QString& codigo);

} // namespace qel
