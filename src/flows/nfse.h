#pragma once

// The municipal service invoices (NFS-e): what ChamaWebService does for them, and their two flows,
// the reception of an RPS lot (RECEPCAO of an NFS-e document) and the cancellation (CANCELAR
// DOCUMENTO of a stored NFS-e).

#include "flows/fluxo.h"
#include "tarefa/contexto.h"
#include "ws/enderecos.h"
#include "ws/servicos.h"

#include <optional>

namespace qel {

class Operacoes;
struct RespostaNfse;

// The municipality of an NFS-e request from the table when the document's markers gave none (or
// one the table does not know), and the state of the municipality.
void completaMunicipioNfse(ContextoExecucao& ctx, const QString& documento);

// The lot names the provider as its document does: the CNPJ and municipal registration of the
// document's Prestador take the place of the task's (the lot, its journal entry and its archive
// folder are all under that CNPJ).
void prestadorDaNfse(ContextoExecucao& ctx, const QString& documento);

// Estrela: the signed document and a copy of the caller's file go to the provider's exchange
// folder. Any outcome but NaoEstrela ends the call without a post.
enum class TrocaEstrela { NaoEstrela, Trocado, Falhou };
TrocaEstrela trocaNfseEstrela(Operacoes& op, const QString& documento);

struct EnvioNfse {
    QString envelope;
    bool soap12 = false;
};

// The body of the service (built and signed by the provider's unit, or the lot signed before when
// jaAssinado) and its envelope. Nothing, after telling the user, when the request cannot be made.
// The reception leaves the signed lot in LbXML and the RPS identifier in CHAVE.
std::optional<EnvioNfse> preparaEnvioNfse(Operacoes& op, Servico servico, const Endpoint& endpoint,
                                          const QString& documento, bool jaAssinado);

// A refusal by the municipality: its messages, each with its code and correction, as a status line
// (`status` and the codes), the result dialog and the calling application's answer; the lines of the
// user's message come back, headed by `titulo`.
QStringList mensagensDaRecusaNfse(Operacoes& op, const RespostaNfse& r, const QString& titulo,
                                  const QString& status);

Passo recepcaoNfse(Operacoes& op);     // RECEPCAO of an NFS-e document
Passo cancelamentoNfse(Operacoes& op); // the event tasks on a stored NFS-e

} // namespace qel
