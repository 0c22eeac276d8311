#pragma once

// The HTTPS exchange with a web service: one POST, the company certificate as client
// certificate, the server always verified.

#include <QByteArray>
#include <QString>

namespace qel {

struct PedidoHttp {
    QString endereco;
    QString acao;
    bool soap12 = false; // SOAP 1.2: the action goes in the content type, no SOAPAction header
    QByteArray corpo;
    QByteArray certificadoPem; // client certificate (and chain)
    QByteArray chavePem;       // its private key
    int tempoLimiteMs = 120000;
    QString autoridadesExtras; // PEM file or folder of CAs trusted besides the system's
};

struct RespostaHttp {
    bool ok = false; // an answer arrived that counts as one (2xx, or the body of a 500)
    long status = 0;
    QByteArray corpo;
    QString erro; // why it failed, for the log
};

RespostaHttp postaSoap(const PedidoHttp& pedido);

} // namespace qel
