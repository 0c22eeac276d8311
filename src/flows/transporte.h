#pragma once

// Transport operations with the NDD Cargo service: what the flows of reception, payment,
// cancellation and route query share. Every exchange goes under a GUID the service hands out: the
// request is sent under it and its result asked for with it. A request that changes something at
// the service (an operation, a payment, a cancellation) is kept in the send journal with its GUID
// until its result is known, so a result that never came is asked for before anything is sent
// again.

#include "tarefa/contexto.h"
#include "ws/servicos.h"

#include <QString>
#include <functional>
#include <optional>

namespace qel {

class Operacoes;
struct Pendente;

// The task names of the journal entries of transport operations.
inline const QString kTarefaRecepcaoNdd = QStringLiteral("Recepcao");

// For a call of kind DOT: every "GUID_Qel" of the document becomes the GUID (CHAVE), and the run
// goes to the service's state (RS).
void preparaDocumentoNdd(ContextoExecucao& ctx, QString& documento);

// The company's NDD Cargo token is set. Without it the service refuses every message, so nothing
// is sent: false after telling the user which setting of which file is blank.
bool tokenNddConfigurado(Operacoes& op);

// The envelope of a call of kind DOT, its business request signed; LbXML receives the request as
// it goes out. Nothing, after the user was told, when it could not be signed.
std::optional<QString> envelopeNdd(Operacoes& op, Servico servico, const QString& documento);

// The exchange of a run with the service.
class TrocaNdd {
public:
    explicit TrocaNdd(Operacoes& op);

    // A new GUID into CHAVE. False, after saying so, when the service gave none.
    bool novoGuid();
    // The service hands this company a new GUID (CHAVE left as it is): it takes the company's
    // messages, so a refusal of one of them was about that message alone.
    bool aceitaMensagens();
    // The result of the GUID in CHAVE, asked for until `chegou` holds for an answer, at most the
    // configured number of times with `pausaMs` between two questions. The last answer stays in
    // LbRetorno; true when the result came.
    bool aguarda(const std::function<bool(const QString&)>& chegou, int pausaMs);
    // The last call got an answer from the service (not a failed exchange).
    bool respondeu() const;
    // The last answer as the service wrote it (the CrossTalk message), for what is stored.
    QString original() const;

private:
    Operacoes& op_;
};

// The result dialog on a failure: the business code and message, or, for a message the service
// refused, its response code and reason. Also sent to the calling application.
void mostraFalhaNdd(Operacoes& op);

// The proc of a registered operation (ciotProc, or tagProc for a toll voucher) stored in the
// archive under the key the operation is given (CHAVE receives it, LbXML the proc). Its path;
// empty, after telling the user, when it could not be written.
QString arquivaOperacaoNdd(Operacoes& op, const QString& pedido, const QString& resposta,
                           const QString& nomeBase);

// A journal entry of a transport operation: its GUID asked for once; a known result settles it
// (a registered operation is archived and the caller's document removed, since sending it again
// would register it twice). Entries that belong to the task of the run are left to its own
// flow. False when the service could not be reached.
bool resolvePendenteTransporte(Operacoes& op, const Pendente& pendente);

// An entry still in processing more than 24 hours after it left is told to the user plainly: its
// GUID, when it went, its journal file, and that NDD Cargo must be asked before the file goes.
// False (and nothing said) for a younger entry.
bool avisaPendenteAntigo(Operacoes& op, const Pendente& pendente);

// The entry of this run's task, if one is pending: the reception of the run's document, or the
// same payment or cancellation.
std::optional<Pendente> pendenteDaTarefa(Operacoes& op);

} // namespace qel
