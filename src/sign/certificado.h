#pragma once

// A company certificate with its private key, as the store holds it.

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <memory>

using X509 = struct x509_st;
using EVP_PKEY = struct evp_pkey_st;

namespace qel {

// Certificate and key in PEM, for a TLS client (the certificate first, then its chain).
struct MaterialTls {
    QByteArray certificadoPem;
    QByteArray chavePem;
};

class Certificado {
public:
    Certificado() = default;
    // Takes ownership of the three.
    Certificado(X509* certificado, EVP_PKEY* chave, QList<X509*> cadeia = {});

    bool valido() const { return static_cast<bool>(dados_); }

    // "CN=..., OU=..., O=..., C=BR": relative names from the most specific, as Windows shows them.
    QString nomeSujeito() const;
    QString nomeEmissor() const;
    QDateTime validoDe() const;  // UTC
    QDateTime validoAte() const; // UTC
    bool validoEm(const QDateTime& instante) const;
    // Upper-case hexadecimal, most significant byte first.
    QString numeroSerie() const;
    // The DER encoding in Base64, one line.
    QString exportaBase64() const;
    // SHA-1 of the DER encoding, upper-case hexadecimal.
    QString impressaoDigital() const;
    bool chaveConfere() const;

    X509* x509() const;
    EVP_PKEY* chavePrivada() const;
    MaterialTls materialTls() const;

private:
    struct Dados;
    std::shared_ptr<Dados> dados_;
};

// Makes the legacy ciphers of older PKCS#12 exports (RC2-40, 3DES) available; idempotent.
void carregaProvedoresOpenSsl();

} // namespace qel
