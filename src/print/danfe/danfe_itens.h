#pragma once

// Rules of the DANFE item table that depend on nothing but numbers.

#include <QString>

namespace qel {

// The mask of a quantity or unit price: the base mask while the value fits it, otherwise fewer
// decimals so the integer part fits the same width; blanks for zero ("Z" first).
QString mascaraAdaptativa(const QString& base, double valor);

// Pages of a DANFE with this many item rows, when the first page holds capacidade rows and each
// continuation page holds porPagina.
int numeroPaginas(int linhas, int capacidade, int porPagina = 80);

} // namespace qel
