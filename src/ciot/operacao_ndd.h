#pragma once

// What tells one transport operation from another, read from the operation as the calling
// application wrote it or from the request it went out in (the lot, the toll-voucher request):
// the company, series and number of its identification group. A file name says nothing of this:
// the calling application may drop a new or corrected operation under the name of an old one.

#include <QString>

namespace qel {

struct IdentificacaoOperacaoNdd {
    bool valePedagio = false;
    QString cnpj;   // of the group holding `ide` (or of `ide` itself), without punctuation
    QString serie;  // without leading zeros
    QString numero; // without leading zeros
    bool operator==(const IdentificacaoOperacaoNdd&) const = default;
};

// The identification of the first operation of the text. Empty fields where the text does not
// hold them (or is no XML).
IdentificacaoOperacaoNdd identificaOperacaoNdd(const QString& texto);

} // namespace qel
