#pragma once

// The bodies of the requests to the state tax authorities (NF-e, NFC-e, CT-e, MDF-e): the
// queries written here, and the documents that arrive ready-made, signed and completed.

#include <QString>
#include <functional>
#include <optional>

namespace qel {

struct PedidoCorpo {
    QString servico;  // "Status", "Consultar", "Download", "Inutilizar", "RetRecepcao", "Evento", ...
    QString tipo;     // "NFe", "NFCe", "CTe", "MDFe"
    QString versao;   // from the endpoint
    QString ambiente; // "1" or "2"
    QString cUF;
    QString chave;
    QString cnpj;
    QString ufConsulta;
    QString docConsulta;
    QString documento; // the document lines trimmed and joined
    QString token;     // NFC-e CSC
    QString idToken;   // NFC-e CSC id
    // Signs a document; an empty result means it failed (and the user was told).
    std::function<QString(const QString&)> assina;
};

struct CorpoConstruido {
    QString corpo;
    std::optional<QString> documento; // the document as it goes out (one line), for the flows
    std::optional<QString> chave;     // the access key taken from the signed document
    std::optional<QString> tipo;      // the registry query always goes out as NF-e
    bool assinaturaFalhou = false;
    bool autorizacao = false; // an authorization: the test mode may preview and ask
};

CorpoConstruido constroiCorpo(const PedidoCorpo& pedido);

// Text made safe to stand as an element value.
QString escapaXml(const QString& valor);

// The QR-code base addresses of the documents (the consultation pages of the authorities).
QString enderecoQrNFCe(const QString& ambiente);
QString enderecoQrCTe(const QString& ambiente);
QString enderecoQrMDFe(const QString& ambiente);

} // namespace qel
