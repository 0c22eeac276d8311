#pragma once

#include "flows/interface_usuario.h"

#include <QWidget>

namespace qel {

// The certificate picker: one certificate out of the store, or nothing when cancelled.
std::optional<qsizetype> escolheCertificadoNaJanela(QWidget* pai,
                                                    const QList<ResumoCertificado>& certificados);

} // namespace qel
