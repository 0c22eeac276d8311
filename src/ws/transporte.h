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
    // The largest answer body taken: a bigger one is a failed exchange (an unknown outcome).
    qsizetype limiteResposta = qsizetype{20} * 1024 * 1024;
};

struct RespostaHttp {
    bool ok = false; // an answer arrived that counts as one (2xx, or the body of a 500)
    long status = 0;
    QByteArray corpo;
    QString erro; // why it failed, for the log
};

RespostaHttp postaSoap(const PedidoHttp& pedido);

// The text of an answer body: by its byte-order mark; else UTF-8 when it is valid UTF-8; else the
// encoding its XML declaration names, or Windows-1252 (answers of servers that declare UTF-8 and
// send Latin-1 are read, not turned into replacement characters).
QString textoDaResposta(const QByteArray& corpo);

// The answer as markup only: comments dropped, the text of CDATA sections kept with "<", ">" and
// "&" as character references. The readers of the authorities' answers search the text for
// elements; what a comment or a CDATA section holds is no element (a "<cStat>" there is not the
// answer's status), and after the cleaning that undoes entities it would read as one.
QString semComentariosNemCdata(const QString& resposta);

} // namespace qel
