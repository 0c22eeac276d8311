#pragma once

// The document rules count character positions from 1 and cut texts with
// "n characters from position p". These two helpers are the only place where that
// arithmetic turns into QString's 0-based indexes.

#include <QString>

namespace qel {

// The n characters of s from position p (1-based). Positions before 1 count as 1; a range that
// runs past the end is cut, as the classic Copy does.
inline QString Copia(const QString& s, qsizetype p, qsizetype n) {
    if (p < 1) p = 1;
    if (n <= 0 || p > s.size()) return {};
    return s.mid(p - 1, n);
}

// The characters of s from position p (1-based) to the end.
inline QString CopiaDesde(const QString& s, qsizetype p) {
    return Copia(s, p, s.size());
}

// Position (1-based) of the first occurrence of sub in s, 0 when absent. Case-sensitive.
inline qsizetype Posicao(const QString& sub, const QString& s) {
    return s.indexOf(sub) + 1;
}

} // namespace qel
