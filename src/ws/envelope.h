#pragma once

// The SOAP envelopes around a request body, and the message inside an answer's.

#include "ws/enderecos.h"

#include <QString>

namespace qel {

// The SEFAZ envelope (NF-e, NFC-e, CT-e, MDF-e): header only for versions other than 4.00.
QString envelopeSefaz(TipoDocumento tipo, const Endpoint& endpoint, const QString& cUF, const QString& corpo);
// The national distribution service.
QString envelopeDistribuicao(const Endpoint& endpoint, const QString& corpo);
// The NDD Cargo exchange service (SOAP 1.2, Send).
QString envelopeNddCargo(const QString& corpo);

// The answer's XML as the authority wrote it. Some services return the message as escaped text
// inside the SOAP body; it is unescaped once, and nothing else is touched, so the signed parts
// stored from it keep their signatures.
QString xmlDaResposta(const QString& corpo);

} // namespace qel
