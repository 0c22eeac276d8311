#pragma once

// The text of an NFC-e's QR code, for every printout that carries it (the receipt and the A4
// DANFE of an NFC-e).

#include "config/configuracao_empresa.h"
#include "print/contexto_impressao.h"
#include "util/leitor_xml.h"

#include <QString>

namespace qel {

// The document's own QR text (`qrCode` of `infNFeSupl`, in a CDATA section or escaped): what
// the authority checked and what the consumer's phone must open. A document without it (never
// sent) gets the on-line consultation text the program would have sent: its state's page, with
// key|3|environment where the state is on version 3, else key|2|environment|CSC id and its SHA-1
// with the CSC (settings IDTOKEN, TOKEN).
QString textoQrNfce(const LeitorXml& leitor, const QString& chave, const ConfiguracaoEmpresa& cfg,
                    const ConsultaPaginasNfce& paginas);

// The consultation address the document names (`urlChave`); else its state's, else the national
// portal.
QString enderecoConsultaNfce(const LeitorXml& leitor, const ConsultaPaginasNfce& paginas);

} // namespace qel
