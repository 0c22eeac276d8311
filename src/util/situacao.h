#pragma once

// The small status readers the flows and the printouts share: the last status code of an
// answer, and the mark an archived document carries in its side files.

#include <QString>

namespace qel {

// Content of the last cStat element, "0" when there is none.
QString Ultimo_cStat(const QString& texto);

// "Cancelada", "Denegada", "Encerrada" or empty, from the side files of an archived document.
QString Situacao_Documento(const QString& nomeBase);

} // namespace qel
