#pragma once

// The network settings of an installation, read once when the program starts and handed to
// everything that reaches a web service.

#include <QString>

namespace qel {

struct ConfiguracaoRede {
    QString hostUnico;          // host:port that takes every request (a local simulator)
    int tempoLimiteMs = 120000; // waiting time of each phase of an exchange
    QString autoridadesExtras;  // PEM file or folder of CAs trusted besides the system's
    QString arquivoHosts;       // hosts of the roles, over the built-in ones
    QString arquivoEnderecos;   // endpoint rows, over the built-in ones
    QString arquivoVersoesQr;   // NFC-e QR code versions per state, over the built-in ones
    // The queries of an NF-e lot's result: how many at most, and the pause between two of them
    // (the authorities ask clients not to query without a pause).
    int consultasRetorno = 10;
    int pausaRetornoMs = 1500;
    // The NDD Cargo results (operations, payments, cancellations) and routes are asked for as many
    // times, with longer pauses: that service takes seconds to register an operation.
    // $QEL_DFE_PAUSA_RETORNO sets all three pauses.
    int pausaNddMs = 5000;
    int pausaRotaMs = 3000;

    // $QEL_DFE_HOST, $QEL_DFE_TEMPO_LIMITE (seconds), $QEL_DFE_CA, $QEL_DFE_HOSTS,
    // $QEL_DFE_ENDPOINTS, $QEL_DFE_VERSOES_QR, $QEL_DFE_CONSULTAS_RETORNO and $QEL_DFE_PAUSA_RETORNO
    // (milliseconds).
    static ConfiguracaoRede doAmbiente();
};

} // namespace qel
