#pragma once

// The task flows, one unit each; the dispatch table names them.

#include "flows/fluxo.h"

namespace qel {

Passo configura(Operacoes& op);            // CONFIGURAR
Passo validadeCertificado(Operacoes& op);  // VALIDADE DO CERTIFICADO [(ARQUIVO)]
Passo imprimeOuExporta(Operacoes& op);     // IMPRIMIR, GERAR PDF
Passo consultaServico(Operacoes& op);      // CONSULTAR SERVICO (NFE|CTE|MDFE)
Passo recepcao(Operacoes& op);             // RECEPCAO: authorisation of the document of the intake
Passo indisponivel(Operacoes& op);         // known tasks whose flows come in later versions
Passo tarefaNaoReconhecida(Operacoes& op); // any other name

} // namespace qel
