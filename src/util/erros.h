#pragma once

#include <QString>
#include <stdexcept>

namespace qel {

// An unexpected failure (a malformed number, a folder that cannot be created, a missing
// file). It stops the task run; the boundary shows its text and leaves with status 2.
class ErroInesperado : public std::runtime_error {
public:
    explicit ErroInesperado(const QString& texto) : std::runtime_error(texto.toStdString()), texto_(texto) {}
    const QString& texto() const { return texto_; }

private:
    QString texto_;
};

} // namespace qel
