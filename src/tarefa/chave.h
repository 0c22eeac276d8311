#pragma once

// The parts of an access key (44 characters: state, year and month, company, model, series,
// number, emission form, code, check digit) that the task run reads.

#include "util/posicoes.h"

#include <QString>

namespace qel {

// The two-digit IBGE code of the issuer's state (characters 1 and 2).
inline QString cufDaChave(const QString& chave) {
    return Copia(chave, 1, 2);
}

// The issuer's CNPJ, or its CPF left-padded with zeros (characters 7 to 20).
inline QString cnpjDaChave(const QString& chave) {
    return Copia(chave, 7, 14);
}

// The model (characters 21 and 22): "55", "57", "58", "65", or the "NS" and "DT" of the keys
// the program forms for NFS-e and transport operations.
inline QString modeloDaChave(const QString& chave) {
    return Copia(chave, 21, 2);
}

} // namespace qel
