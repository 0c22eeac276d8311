#pragma once

// The inutilização request of a range of numbers (NF-e and NFC-e, CT-e), checked before anything
// is sent, and its proc.

#include "util/codigos.h"

#include <QString>
#include <optional>

namespace qel {

struct PedidoInutilizacao {
    TipoDocumento tipo = TipoDocumento::Nenhum; // NFe, NFCe or CTe
    Ambiente ambiente = Ambiente::Producao;
    QString cUF;
    QString ano; // two digits (four are cut to their last two)
    QString cnpj;
    QString modelo;
    QString serie;
    QString numeroInicial;
    QString numeroFinal;
    QString justificativa;
};

struct DocumentoInutilizacao {
    QString xml;    // the unsigned request, without declaration
    QString id;     // its Id without "ID": names the stored file when the task has no key
    QString recusa; // why it cannot be sent; then there is no xml
};

DocumentoInutilizacao montaInutilizacao(const PedidoInutilizacao& pedido);

// ProcInutNFe (the official name, capital P) or procInutCTe: the signed request and the whole
// answer element (retInutNFe, retInutCTe). Nothing when the answer holds none.
std::optional<QString> montaProcInutilizacao(TipoDocumento tipo, const QString& pedidoAssinado,
                                             const QString& resposta);

} // namespace qel
