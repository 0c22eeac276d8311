#pragma once

#include "util/relogio.h"

#include <QString>

namespace qel {

// The run's log, "Qel_DFe.log" in the local folder: every status line and dialog text with date
// and time, so that support can see afterwards what happened.
class Registro {
public:
    explicit Registro(Relogio relogio = relogioDoSistema()) : relogio_(std::move(relogio)) {}
    void defineArquivo(const QString& caminho) { caminho_ = caminho; }
    void defineRelogio(Relogio relogio) { relogio_ = std::move(relogio); }
    void anota(const QString& texto);

private:
    Relogio relogio_;
    QString caminho_;
};

} // namespace qel
