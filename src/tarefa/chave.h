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

// The check digit of the first 43 characters of a key; empty when they are not 43 digits or
// upper-case letters.
QString digitoChave(const QString& chave43);

// The key with another emission form (character 35) and its check digit recomputed; empty when
// the key is not a key.
QString chaveComEmissao(const QString& chave, QChar tpEmis);

} // namespace qel
