#pragma once

#include <QString>

namespace qel {

// The run's log, "Qel_DFe.log" in the local folder: every status line and dialog text with date
// and time, so that support can see afterwards what happened.
class Registro {
public:
    void defineArquivo(const QString& caminho) { caminho_ = caminho; }
    void anota(const QString& texto);

private:
    QString caminho_;
};

} // namespace qel
