#pragma once

// The text of an NFC-e's QR code, for every printout that carries it (the receipt and the A4
// DANFE of an NFC-e).

#include "config/configuracao_empresa.h"
#include "util/leitor_xml.h"

#include <QString>

namespace qel {

// The document's own QR text (`qrCode` of `infNFeSupl`, in a CDATA section or escaped): what
// the authority checked and what the consumer's phone must open. A document without it (never
// sent) gets the consultation text the program would have sent: the SEFAZ-RS page with the
// parameter text key|2|environment|CSC id and its SHA-1 with the CSC (settings IDTOKEN, TOKEN).
QString textoQrNfce(const LeitorXml& leitor, const QString& chave, const ConfiguracaoEmpresa& cfg);

// The consultation address the document names (`urlChave`); the national portal when it names
// none.
QString enderecoConsultaNfce(const LeitorXml& leitor);

} // namespace qel
