#pragma once

// Runs the real program unattended on a temporary drive root with its own certificate store.

#include "../apoio.h"

#include <QHash>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

struct Execucao {
    int codigo = -1;
    QString saida;
    QString erros;
};

class Programa {
public:
    QString raiz() const { return raiz_.path(); }
    QString local(const QString& nome = {}) const {
        return raiz_.path() + QStringLiteral("/Qel/test/DFe/") + nome;
    }
    QString certificados() const { return raiz_.path() + QStringLiteral("/certificados"); }
    void noLocal(const QString& nome, const QByteArray& bytes) const { teste::escreve(local(nome), bytes); }

    // With a session bus only when the test runs under one; otherwise messages go nowhere.
    Execucao roda(QStringList argumentos = {}, const QByteArray& entrada = {}, bool semJanela = true) const {
        QProcess p;
        inicia(p, argumentos, semJanela);
        p.write(entrada);
        p.closeWriteChannel();
        EXPECT_TRUE(p.waitForFinished(60000));
        return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()),
                QString::fromUtf8(p.readAllStandardError())};
    }

    // Starts the program without waiting for it: for a test that acts while it runs.
    void inicia(QProcess& p, QStringList argumentos = {}, bool semJanela = true) const {
        QProcessEnvironment ambiente = QProcessEnvironment::systemEnvironment();
        ambiente.insert(QStringLiteral("QEL_DFE_RAIZ"), raiz_.path());
        ambiente.insert(QStringLiteral("QEL_DFE_CERTIFICADOS"), certificados());
        ambiente.remove(QStringLiteral("DISPLAY"));
        // What is sent is checked against the official schemas where the reference folder is;
        // elsewhere against none (a folder installed on this machine must not change the tests).
        const QString referencia = teste::pastaReferencia();
        ambiente.insert(QStringLiteral("QEL_DFE_ESQUEMAS"),
                        referencia.isEmpty() ? raiz_.path() + QStringLiteral("/sem-esquemas")
                                             : referencia + QStringLiteral("/schemas"));
        for (auto it = extras.cbegin(); it != extras.cend(); ++it)
            ambiente.insert(it.key(), it.value());
        if (!ambiente.contains(QStringLiteral("DBUS_SESSION_BUS_ADDRESS")))
            ambiente.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"),
                            QStringLiteral("unix:path=/nonexistent"));
        p.setProcessEnvironment(ambiente);
        p.setWorkingDirectory(raiz_.path());
        if (semJanela) argumentos.prepend(QStringLiteral("--sem-janela"));
        p.start(QString::fromUtf8(QEL_BINARIO), argumentos);
    }

    // Variables added to the program's environment (the simulator's host, its CA, time-outs).
    QHash<QString, QString> extras;

private:
    QTemporaryDir raiz_;
};
