#pragma once

// The task file: one keyword line names the task, the others carry its values.

#include "tarefa/contexto.h"

#include <optional>

namespace qel {

// Parses ctx.LbQel into the run values. When a second task line follows a first non-empty one
// the parse stops and the text of the refusal is returned.
std::optional<QString> interpretaTarefa(ContextoExecucao& ctx);

} // namespace qel
