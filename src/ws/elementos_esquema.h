#pragma once

// The names of the elements a schema package declares anywhere (global or local, in the file and
// in every file it includes or imports from its folder): what tells an element the layout does
// not know at all (a newer layout's group under an older package) from one that is merely out of
// place because the element before it is missing.

#include <QSet>
#include <QString>

namespace qel {

// Read once per run and file; empty when the file cannot be read.
const QSet<QString>& elementosDeclarados(const QString& arquivoXsd);

} // namespace qel
