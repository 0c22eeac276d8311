#pragma once

// Contingency emission of NF-e and NFC-e: which form the run is in (the task's value over the
// company's setting), and the document put into it before it is signed.

#include "config/configuracao_empresa.h"
#include "config/contingencia_empresa.h"
#include "tarefa/contexto.h"
#include "ws/enderecos.h"

#include <QString>

namespace qel {

struct Contingencia {
    FormaContingencia forma = FormaContingencia::Nenhuma;
    QString nome;          // "SVC-AN", "SVC-RS", "EPEC", "OFFLINE"
    QString justificativa; // xJust as given
    QString erro;          // a value that is not understood, or SVC without an authoriser for the state
};

// The contingency of the run: the task's CONTINGENCIA over the company's setting; "SVC" is the
// virtual authoriser the endpoint table names for the state (cUF).
Contingencia contingenciaDaExecucao(const ContextoExecucao& ctx, const ConfiguracaoEmpresa& cfg,
                                    const TabelaEnderecos& tabela);

// The emission form of a contingency ('1' for none).
QChar tpEmisDe(FormaContingencia forma);
// The virtual authoriser of an emission form: "SVC-AN" for 6, "SVC-RS" for 7, else empty.
QString svcDoTpEmis(const QString& tpEmis);
// The emission form an NF-e or NFC-e declares in its ide; empty when none.
QString tpEmisDoDocumento(const QString& documento);

struct DocumentoContingencia {
    QString documento; // the document, one line, ready to be signed
    QString chave;     // its new key
    QString erro;
};

// The unsigned document in the form given: tpEmis, dhCont (the state's local time with its
// offset) and xJust in its ide (after verProc, as the layout orders them), the key's emission
// digit (position 35), cDV and Id recomputed.
DocumentoContingencia poeEmContingencia(const QString& documento, QChar tpEmis, const QString& dhCont,
                                        const QString& xJust);

} // namespace qel
