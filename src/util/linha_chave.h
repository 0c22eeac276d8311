#pragma once

// Keyword lines (task file, settings files, company data, e-mail request): the first
// characters of a line, within a fixed window per key, trimmed and upper-cased, name the key;
// the value is the rest of the line, at most 1000 characters, trimmed.

#include "util/posicoes.h"

#include <QString>

namespace qel {

inline bool casaChave(const QString& linha, QStringView chave, qsizetype janela) {
    return Copia(linha, 1, janela).trimmed().toUpper() == chave;
}

inline QString valorChave(const QString& linha, qsizetype janela) {
    return Copia(linha, janela + 1, 1000).trimmed();
}

} // namespace qel
