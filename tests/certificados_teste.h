#pragma once

// Test certificates made once per test program with the openssl command (a CA, the company's,
// an expired one, another company's; see data/gera_certificados.sh), and the company's
// certificate in a store.

#include "apoio.h"
#include "sign/repositorio_certificados.h"

#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

class CertificadosTeste {
public:
    static CertificadosTeste& instancia() {
        static CertificadosTeste unica;
        return unica;
    }
    QString caminho(const QString& nome) const { return pasta_.path() + QLatin1Char('/') + nome; }
    // A store that holds the company's certificate and the other company's.
    QString loja() const { return caminho(QStringLiteral("loja")); }
    const qel::Certificado& empresa() const { return empresa_; }

private:
    CertificadosTeste() {
        QProcess gera;
        gera.start(
            QStringLiteral("sh"),
            {QString::fromUtf8(QEL_DADOS_TESTE) + QStringLiteral("/gera_certificados.sh"), pasta_.path()});
        if (!gera.waitForFinished(60000) || gera.exitCode() != 0)
            qFatal("test certificates could not be made");
        const qel::RepositorioCertificados repositorio(loja());
        const QDateTime agora = QDateTime::currentDateTimeUtc();
        for (const char* nome : {"empresa.pfx", "outra.pfx"})
            if (!repositorio.importa(caminho(QString::fromLatin1(nome)), "1234", agora).isEmpty())
                qFatal("test certificate not imported");
        for (const qel::Certificado& c : repositorio.lista())
            if (c.nomeSujeito().contains(QStringLiteral("12345678000195"))) empresa_ = c;
    }
    QTemporaryDir pasta_;
    qel::Certificado empresa_;
};
