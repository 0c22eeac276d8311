#pragma once

// The text of an NFC-e's QR code, for every printout that carries it (the receipt and the A4
// DANFE of an NFC-e).

#include "print/contexto_impressao.h"
#include "util/leitor_xml.h"

#include <QString>

namespace qel {

// The document's own QR text (`qrCode` of `infNFeSupl`, in a CDATA section or escaped): what
// the authority checked and what the consumer's phone must open. A document without it (never
// sent) gets the on-line consultation text the run gives its key, state and environment; the key
// alone where there is none.
QString textoQrNfce(const LeitorXml& leitor, const QString& chave, const ConsultaNfceNaoEnviada& consulta);

// The consultation address the document names (`urlChave`); else the one the run gives its state,
// else the national portal.
QString enderecoConsultaNfce(const LeitorXml& leitor, const QString& chave,
                             const ConsultaNfceNaoEnviada& consulta);

} // namespace qel
