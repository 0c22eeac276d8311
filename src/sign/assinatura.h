#pragma once

// The enveloped XML signature (RSA-SHA1, Canonical XML 1.0) of fiscal documents and requests.

#include "sign/certificado.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>

namespace qel {

// Where the signature goes in a document, decided from its text.
struct LocalAssinatura {
    bool reconhecido = false; // false: no kind of document matched
    QString idReferencia;     // the Id the Reference points to
    qsizetype cauda = 0;      // characters left behind the inserted signature (the root's closing tag)
};

LocalAssinatura localAssinatura(const QString& texto, const QString& chave, const QString& codigoMunicipio);
// The same for the text in UTF-8 (positions and lengths still count characters).
LocalAssinatura localAssinatura(QByteArrayView textoUtf8, const QString& chave,
                                const QString& codigoMunicipio);

struct ContextoAssinatura {
    const Certificado* certificado = nullptr;
    QString chave;           // the task's access key (NDD Cargo and some NFS-e use it as the Id)
    QString codigoMunicipio; // the task's municipality (NFS-e cancellations)
    // Where the signature goes, when the caller built the request and knows it (the municipal
    // layouts sign an element below the root, and some put the signature inside a child of the
    // root): the kind table is then not consulted, the template may land in any element, and
    // KeyInfo is written into that very signature.
    std::optional<LocalAssinatura> local;
    // Diagnostic copies of the text before and after signing; empty: none. The secrets are
    // written there as "********" (a request may carry a token: the CIOT token of NDD Cargo).
    QString arquivoAntes;
    QString arquivoDepois;
    QStringList segredos;
};

struct ResultadoAssinatura {
    QString texto; // the signed text, one line
    QString erro;  // why it failed; empty on success
};

// Signs the text (a document or request on one line). The text is cleaned of control
// characters and double blanks before the signature is computed, so what is returned is
// exactly what was signed.
ResultadoAssinatura assinaXml(const QString& texto, const ContextoAssinatura& contexto);

struct ResultadoAssinaturaUtf8 {
    QByteArray texto; // the signed text, one line, UTF-8; appending one byte does not copy it
    QString erro;     // why it failed; empty on success
};

// The same signature for a text in UTF-8, as libxml2 reads it: for large documents, where the
// conversions to and from QString would cost more than the signature. Given the text with
// std::move, it is cleaned in place.
ResultadoAssinaturaUtf8 assinaXmlUtf8(QByteArray textoUtf8, const ContextoAssinatura& contexto);

// The cleaning: every character 1 to 31 removed, then every run of four blanks, then of two.
QString limpaParaAssinatura(const QString& texto);
QByteArray limpaParaAssinatura(QByteArray textoUtf8);

} // namespace qel
