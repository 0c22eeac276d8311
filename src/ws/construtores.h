#pragma once

// The bodies of the requests to the state tax authorities (NF-e, NFC-e, CT-e, MDF-e): the
// queries written here, and the documents that arrive ready-made, signed and completed.

#include "util/codigos.h"
#include "ws/qrcode_nfce.h"
#include "ws/servicos.h"

#include <QString>
#include <functional>
#include <optional>

namespace qel {

struct PedidoCorpo {
    Servico servico = Servico::Status;
    TipoDocumento tipo = TipoDocumento::Nenhum; // NFe, NFCe, CTe, MDFe
    QString versao;                             // from the endpoint
    Ambiente ambiente = Ambiente::Producao;
    QString cUF;
    QString chave;
    QString cnpj;
    QString ufConsulta;
    QString docConsulta;
    QString documento; // the document lines trimmed and joined
    QString token;     // NFC-e CSC
    QString idToken;   // NFC-e CSC id
    QString paginaQr;  // the consultation page the document's QR code points to
    // The NFC-e's consultation address by key (urlChave); blank: the QR page stands for it.
    QString paginaChave;
    int versaoQr = 2; // of the NFC-e QR code, from the state's row (qrcode_nfce.conf)
    // Signs the version 3 QR parameters of an NFC-e in contingency with the company certificate.
    AssinaTextoQr assinaQr;
    // Signs a document; an empty result means it failed (and the user was told).
    std::function<QString(const QString&)> assina;
    // The document was signed when it was first sent (kept by the send journal): it goes as it is.
    bool jaAssinado = false;
};

struct CorpoConstruido {
    QString corpo;
    std::optional<QString> documento;  // the document as it goes out (one line), for the flows
    std::optional<QString> chave;      // the access key taken from the signed document
    std::optional<TipoDocumento> tipo; // the registry query always goes out as NF-e
    bool assinaturaFalhou = false;
    bool autorizacao = false; // an authorization: the test mode may preview and ask
};

CorpoConstruido constroiCorpo(const PedidoCorpo& pedido);

// Text made safe to stand as an element value.
QString escapaXml(const QString& valor);
// "<nome>valor</nome>", the value escaped.
QString elementoXml(const QString& nome, const QString& valor);

} // namespace qel
