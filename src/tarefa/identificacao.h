#pragma once

// Recognises a document dropped by the calling application from its text: its kind, key,
// company and, for an NFS-e, its municipality.

#include "tarefa/contexto.h"
#include "util/situacao.h"

#include <functional>

namespace qel {

// Sets Tipo, CHAVE, cUF and CNPJ from the lines of LbXML. carregaDadosEmpresa is called
// each time the company becomes known (it loads the company data of ctx.CNPJ).
void Identifica_Documento(ContextoExecucao& ctx, const std::function<void()>& carregaDadosEmpresa);

// Document kind implied by characters 21-22 of the access key.
void Modelo_Chave(ContextoExecucao& ctx);

// Municipality (and its state) of an NFS-e layout, from the markers of its elements.
void Identifica_Municipio(ContextoExecucao& ctx, const QString& texto);

} // namespace qel
