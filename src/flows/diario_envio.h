#pragma once

// The send journal: before a document leaves for the authority, its signed text is written to a
// folder of pending entries of its company; the entry goes only when the outcome is final (the
// proc stored, or a rejection by the authority). An answer that never came leaves the entry, and
// a later run settles it by consultation. So a lost answer, a killed process or a power cut never
// loses a document and never sends it twice as a new one.

#include "util/codigos.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <optional>

namespace qel {

struct Pendente {
    QString chave; // the access key; for a transport operation (DOT), the GUID of the exchange
    TipoDocumento tipo = TipoDocumento::Nenhum;
    QString cnpj;      // the company as the run wrote it (its archive folder)
    QString tarefa;    // "Recepcao", or "Simplificado" for a simplified CT-e; a DOT's task
    QString arquivo;   // the calling application's document file
    QString recibo;    // the receipt of an NF-e lot, once known
    QString operacao;  // the key of the transport operation a payment or cancellation is about
    QDateTime enviado; // when it left (UTC)
    QString situacao;  // what is known of the outcome
    QString assinado;  // the signed document as it was sent, one line
    // A document issued in contingency: its form ("OFFLINE", "EPEC", "SVC-AN", "SVC-RS"); and
    // whether it has gone to the authority at all (an offline NFC-e or EPEC NF-e waits for the task
    // TRANSMITIR PENDENTES).
    QString contingencia;
    bool transmitido = true;
};

class DiarioEnvio {
public:
    // The journal of the archive below the working folder.
    explicit DiarioEnvio(QString pastaTrabalho) : pastaTrabalho_(std::move(pastaTrabalho)) {}

    // Writes (or replaces) the entry atomically. False when it could not be written: then the
    // document must not be sent.
    bool registra(const Pendente& pendente) const;
    std::optional<Pendente> procura(const QString& cnpj, const QString& chave) const;
    // Every entry of a company, oldest first.
    QList<Pendente> daEmpresa(const QString& cnpj) const;
    // The contingency documents of a company that have not gone to the authority yet, oldest first.
    QList<Pendente> aTransmitir(const QString& cnpj) const;
    // The outcome is final: the entry goes.
    void encerra(const QString& cnpj, const QString& chave) const;

    QString arquivoDe(const QString& cnpj, const QString& chave) const;

private:
    QString pasta(const QString& cnpj) const;
    QString pastaTrabalho_;
};

} // namespace qel
