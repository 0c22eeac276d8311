#pragma once

// The dispatch table: from the task name to the flow that carries it out.

#include "flows/fluxo.h"
#include "util/codigos.h"

#include <QStringView>
#include <span>

namespace qel {

struct LinhaDespacho {
    std::u16string_view tarefa; // the task name, trimmed and upper-cased
    bool prefixo;               // the name only has to begin with it
    Fluxo fluxo;
    TipoDocumento tipo = TipoDocumento::Nenhum; // the kind the task sets before its flow
    bool certificado = true;                    // the company certificate is chosen before the flow
    bool desenha = false;                       // the flow draws printouts (fonts and a paint device)
};

// The rows in the order a task name is compared with them; the first that matches decides.
std::span<const LinhaDespacho> tabelaDespacho();

// The row of a task name as written; nothing for a name no row takes.
const LinhaDespacho* linhaDaTarefa(const QString& tarefa);

// Chooses the certificate, loads the company data and runs the flow of the task, again from
// the first row while a flow hands the task over to another.
Desfecho despacha(Operacoes& op);

} // namespace qel
