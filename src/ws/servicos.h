#pragma once

// The services a request may ask for: the key of every web-service call, spelled as the
// diagnostic files and the endpoint table name it.

#include <QString>
#include <optional>

namespace qel {

enum class Servico {
    Status,
    Consultar,
    Download,
    Inutilizar,
    RetRecepcao,
    Evento,
    Recepcao,
    Simplificado,
    Cadastro,
    NaoEncerrados,
    Cancelar,
    Substituicao,
    NDDGeraGUID,
    Rota,
    Pagar,
    QrCode, // the consultation page a printed QR code points to (never called)
};

// "Status", "Consultar", ... as written above.
QString nome(Servico servico);
std::optional<Servico> servicoDoNome(const QString& nome);

} // namespace qel
