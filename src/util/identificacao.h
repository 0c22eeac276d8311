#pragma once

// Recognises a document dropped by the calling application from its text, and the small
// status readers the flows share.

#include "util/contexto.h"

#include <functional>

namespace qel {

// Sets Tipo, CHAVE, cUF and CNPJ from the lines of LbXML. carregaDadosEmpresa is called
// each time the company becomes known (it loads the company data of ctx.CNPJ).
void Identifica_Documento(ContextoExecucao& ctx, const std::function<void()>& carregaDadosEmpresa);

// Document kind implied by characters 21-22 of the access key.
void Modelo_Chave(ContextoExecucao& ctx);

// Content of the last cStat element, "0" when there is none.
QString Ultimo_cStat(const QString& texto);

// "Cancelada", "Denegada", "Encerrada" or empty, from the side files of an archived document.
QString Situacao_Documento(const QString& nomeBase);

// Municipality (and its state) of an NFS-e layout, from the markers of its elements.
void Identifica_Municipio(ContextoExecucao& ctx, const QString& texto);

} // namespace qel
