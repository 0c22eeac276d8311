#pragma once

// What a municipal provider answered, read leniently: the ABRASF message found wherever the
// provider put it (escaped text in the SOAP result, a CDATA section, typed elements), its
// elements by local name, so a namespace declaration or a prefix on them changes nothing.

#include <QList>
#include <QString>

namespace qel {

struct MensagemNfse {
    QString codigo;
    QString mensagem;
    QString correcao;
};

struct RespostaNfse {
    bool lida = false;             // an XML answer was read (not the failure line, not garbage)
    QList<MensagemNfse> mensagens; // ListaMensagemRetorno(Lote): the entries that carry a code
    QString falha;                 // the reason of a SOAP Fault
    // Reception.
    QString numeroLote, dataRecebimento, protocolo;
    // The NFS-e (a reception of the synchronous lot, a consultation).
    QString numeroNfse, codigoVerificacao, dataEmissao;
    // Cancellation: the provider confirmed it (a confirmation with its date and time, or success).
    bool cancelada = false;
    QString dataHoraCancelamento;
    // The ABRASF message as the provider wrote it (unescaped), for the answer file and the archive.
    QString documento;

    // The codes that do not make a refusal: E500 (lot number already given, with the protocol of
    // the lot) and E0807, as the providers answer them beside a success.
    bool recusada() const;
    // A lot consultation's answer that refuses the lot for good: error messages and no NFS-e, none
    // of them saying only that the lot (or its RPS) is not processed or not found yet.
    bool loteRecusado() const;
    QString codigos() const; // "E515, E160"
};

// Reads the HTTP body of a provider's answer (the SOAP envelope, or the bare message).
RespostaNfse leRespostaNfse(const QString& corpo);

} // namespace qel
