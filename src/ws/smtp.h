#pragma once

// Sending one e-mail through an SMTP server with libcurl: the connection (optional TLS, always
// verified), the envelope and a MIME message of a text body and file attachments.

#include <QDateTime>
#include <QString>
#include <QStringList>

namespace qel {

struct ServidorSmtp {
    QString host;
    int porta = 587;
    QString usuario; // authentication is made only over TLS, and only with a user name
    QString senha;
    // STARTTLS, required (never a fall-back to plain text); on port 465, TLS from the first byte.
    bool tls = false;
    QString autoridadesExtras;  // PEM file or folder of CAs trusted besides the system's
    int tempoLimiteMs = 120000; // connecting, and each wait for the server without progress
};

struct MensagemSmtp {
    QString remetente;         // "addr@host" or "Name <addr@host>"
    QStringList destinatarios; // the same forms; each one a recipient of the envelope
    QString assunto;
    QStringList linhas; // the body, one text line each (UTF-8 on the wire)
    QStringList anexos; // file paths; each attachment is named by its file name
    QDateTime data;     // the Date header (an invalid value: now)
};

// Sends the message. An empty text when the server accepted it; otherwise why it was not sent,
// in Portuguese for the user. The password never appears in that text. Missing attachments,
// an empty recipient list and unusable addresses are refused before anything is sent.
QString enviaSmtp(const ServidorSmtp& servidor, const MensagemSmtp& mensagem);

// The address of the connection: "smtps://host:465" for TLS on port 465, else "smtp://host:port".
QString enderecoSmtp(const ServidorSmtp& servidor);

// The address of the envelope from an address as written: the part between "<" and ">" when
// there is one, else the trimmed text.
QString enderecoEnvelope(const QString& endereco);

} // namespace qel
