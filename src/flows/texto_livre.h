#pragma once

// The free texts a company writes into a request (justifications, corrections): made fit for the
// authorities' schemas, or refused with a message before anything is sent.

#include <QString>

namespace qel {

// Blanks, tabs and line breaks become single blanks; none at either end.
QString textoLivre(const QString& texto);

// Why the text (already made with textoLivre) cannot go in an element of minimo to maximo
// characters whose pattern admits only the characters from the blank to "ÿ"; empty when it can.
// rotulo names the text in the message ("A justificativa").
QString recusaTexto(const QString& rotulo, const QString& texto, int minimo, int maximo);

} // namespace qel
