#pragma once

// The task flows, one unit each; the dispatch table names them.

#include "flows/fluxo.h"

namespace qel {

Passo configura(Operacoes& op);            // CONFIGURAR
Passo validadeCertificado(Operacoes& op);  // VALIDADE DO CERTIFICADO [(ARQUIVO)]
Passo imprimeOuExporta(Operacoes& op);     // IMPRIMIR, GERAR PDF
Passo consultaServico(Operacoes& op);      // CONSULTAR SERVICO (NFE|CTE|MDFE)
Passo recepcao(Operacoes& op);             // RECEPCAO: authorisation of the document of the intake
Passo evento(Operacoes& op);               // CANCELAR DOCUMENTO, ENCERRAMENTO, CARTA DE CORRECAO, MANIFESTAR
Passo inutiliza(Operacoes& op);            // INUTILIZAR
Passo consultaDocumento(Operacoes& op);    // CONSULTAR DOCUMENTO
Passo consultaCCe(Operacoes& op);          // CONSULTAR CCE
Passo consultaArquivo(Operacoes& op);      // CONSULTAR ARQUIVO
Passo download(Operacoes& op);             // DOWNLOAD (DOWNLOAD NFE, DOWNLOAD CTE)
Passo cadastro(Operacoes& op);             // CADASTRO
Passo naoEncerrados(Operacoes& op);        // NAO ENCERRADOS
Passo transmitePendentes(Operacoes& op);   // TRANSMITIR PENDENTES: the contingency documents not sent yet
Passo recepcaoTransporte(Operacoes& op);   // RECEPCAO of a transport operation (DOT)
Passo transporte(Operacoes& op);           // PAGAMENTO DOCUMENTO, ROTA; CANCELAR DOCUMENTO of a DOT
Passo indisponivel(Operacoes& op);         // known tasks whose flows come in later versions
Passo tarefaNaoReconhecida(Operacoes& op); // any other name

} // namespace qel
