#pragma once

// The schema validator's messages (libxml2's, in English, with namespaces in braces) turned into
// short lines in the user's language: what was wrong and what the schema expects.

#include <QString>
#include <QStringList>

namespace qel {

struct TextoFalha {
    QString texto;
    // The validator's second message on a value it already explained through a facet
    // ("'x' is not a valid value of the atomic type ..."): it adds nothing after the first.
    bool repeteValor = false;
    // An element where the schema expects others (named in esperados): out of place, or the
    // element it stands for is missing; only the document tells which.
    bool inesperado = false;
    QStringList esperados;
};

// The line for a missing element (one of the names given).
QString textoDaFalta(const QStringList& esperados);

// One message of the validator, its "Element '...': " prefix included or not.
TextoFalha textoDaFalha(const QString& mensagem);

} // namespace qel
