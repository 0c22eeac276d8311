#pragma once

// A task flow: one function per task, called by the dispatch table with the operations of the
// run.

#include <QString>
#include <optional>

namespace qel {

class Operacoes;

// How a run ended; it decides the exit status.
enum class Desfecho {
    Concluida, // the task was carried out
    Recusada,  // a refusal, rejection or expected failure shown to the user
    Ociosa,    // no task: the window stays open (unattended: nothing to do)
    Erro,      // unexpected error: shown, the window stays open
};

// 0 carried out (or nothing to do), 1 refused or failed as expected, 2 unexpected error.
int codigoSaida(Desfecho desfecho);

// The outcome of a flow: an end, or a new task to dispatch (a cancellation of a number that
// was never authorised becomes its inutilização).
struct Passo {
    Desfecho desfecho = Desfecho::Concluida;
    std::optional<QString> novaTarefa;
};

using Fluxo = Passo (*)(Operacoes& op);

} // namespace qel
