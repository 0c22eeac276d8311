#pragma once

// The user's certificate store: a private folder of PKCS#12 files (each with its password in a
// sibling ".senha" file) and PEM files holding certificate and key.

#include "sign/certificado.h"

#include <QList>
#include <QString>

namespace qel {

class RepositorioCertificados {
public:
    // $QEL_DFE_CERTIFICADOS, or qel-dfe/certificados in the user's data folder.
    static QString pastaPadrao();

    explicit RepositorioCertificados(QString pasta = pastaPadrao()) : pasta_(std::move(pasta)) {}
    const QString& pasta() const { return pasta_; }

    // Why the store must not be used: its folder, or one of its entries, can be reached by other
    // users (a key or password others may have copied). Empty when it is private (or not made yet).
    QString acessoIndevido() const;

    // Every certificate that can be read with its key, in store order (by entry name).
    QList<Certificado> lista() const;
    // The certificates valid at the instant whose subject contains the text (any letter case).
    QList<Certificado> busca(const QString& textoSujeito, const QDateTime& instante) const;

    // Checks a certificate file and its password and adds it to the store. An empty text when
    // it was stored; otherwise the reason it was refused (nothing is stored then).
    QString importa(const QString& arquivo, const QByteArray& senha, const QDateTime& instante,
                    Certificado* importado = nullptr) const;

private:
    QString pasta_;
};

} // namespace qel
