#pragma once

// What the archive keeps of an NFS-e: the access key the program gives it in the national
// 44-character layout, so it files beside the other documents, and the stored nfseProc.

#include "nfse/resposta.h"
#include "util/codigos.h"

#include <QDate>
#include <QString>

namespace qel {

// cUF, year and month ("AAAA-MM..." of the date), the company's CNPJ, "NS000" (model NS, series
// 000), the RPS number zero-padded to 9 digits twice, "X". The model "NS" is what tells the kind
// apart when the key comes back in a task. A date that is not a date gives way to `hoje`.
QString chaveNfse(const QString& cUF, const QString& data, const QDate& hoje, const QString& cnpj,
                  const QString& numeroRps);

// The NFS-e number as the stored document and the answer file carry it: the number element itself
// for the Tecnos layout (whose consultation gives it so), else its digits zero-padded to 9.
QString numeroNota(const QString& numeroNfse, bool elementoNumero);

// The stored NFS-e: the lot exactly as it was signed and sent, then the municipality's protocol
// (lot number, reception, protocol, verification code, the NFS-e number). The root declares only
// its own default namespace: the lot declares its own, so what is in scope of its signed parts is
// what it was when they were signed, and their signatures verify in the stored file.
QString montaNfseProc(const QString& loteAssinado, const RespostaNfse& recepcao, const RespostaNfse& nota,
                      const QString& numeroNota, Ambiente ambiente);

// The stored cancellation: the signed request as sent and the provider's confirmation, under a
// root without namespace declarations (each part declares its own).
QString montaCancelamentoNfse(const QString& pedidoAssinado, const RespostaNfse& resposta);

} // namespace qel
