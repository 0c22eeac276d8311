#pragma once

// The local authority simulator (tools/simulador) on a free loopback port, for one test.

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

class Simulador {
public:
    // certificado/chave: the server's; caClientes: the CA its clients' certificates must come from.
    Simulador(const QString& certificado, const QString& chave, const QString& caClientes, int lentidao = 3) {
        processo_.setProcessChannelMode(QProcess::SeparateChannels);
        processo_.start(QStringLiteral("/usr/bin/python3"),
                        {QString::fromUtf8(QEL_SIMULADOR), QStringLiteral("--porta"), QStringLiteral("0"),
                         QStringLiteral("--certificado"), certificado, QStringLiteral("--chave"), chave,
                         QStringLiteral("--ca-clientes"), caClientes, QStringLiteral("--arquivo-cenario"),
                         arquivoCenario(), QStringLiteral("--lentidao"), QString::number(lentidao),
                         QStringLiteral("--registro"), pasta_.path() + QStringLiteral("/registro.log"),
                         QStringLiteral("--gravar-certificado-protocolo"), certificadoProtocolo(),
                         QStringLiteral("--pasta-recebidos"), pasta_.path()});
        QElapsedTimer relogio;
        relogio.start();
        while (porta_ == 0 && relogio.elapsed() < 15000 && processo_.state() != QProcess::NotRunning) {
            processo_.waitForReadyRead(200);
            while (processo_.canReadLine()) {
                const QByteArray linha = processo_.readLine().trimmed();
                if (linha.startsWith("pronto ")) porta_ = linha.mid(7).toInt();
            }
        }
        if (porta_ == 0)
            ADD_FAILURE() << "simulator did not start: " << processo_.readAllStandardError().toStdString();
    }
    ~Simulador() {
        processo_.terminate();
        if (!processo_.waitForFinished(5000)) processo_.kill();
    }
    int porta() const { return porta_; }
    QString host() const { return QStringLiteral("127.0.0.1:") + QString::number(porta_); }
    void cenario(const QByteArray& nome) {
        QFile f(arquivoCenario());
        if (f.open(QIODevice::WriteOnly)) f.write(nome + '\n');
    }
    // The certificate of the key the simulator signs its protocols with.
    QString certificadoProtocolo() const { return pasta_.path() + QStringLiteral("/protocolo.crt"); }
    QString registro() const {
        QFile f(pasta_.path() + QStringLiteral("/registro.log"));
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
    }

    // The messages of a service the simulator received (decoded from their envelopes), in order.
    QList<QByteArray> recebidos(const QString& servico) const {
        QList<QByteArray> mensagens;
        const QStringList nomes = QDir(pasta_.path())
                                      .entryList({QStringLiteral("*-") + servico + QStringLiteral(".xml")},
                                                 QDir::Files, QDir::Name);
        for (const QString& nome : nomes) {
            QFile f(pasta_.path() + QLatin1Char('/') + nome);
            if (f.open(QIODevice::ReadOnly)) mensagens.append(f.readAll());
        }
        return mensagens;
    }

private:
    QString arquivoCenario() const { return pasta_.path() + QStringLiteral("/cenario"); }
    QTemporaryDir pasta_;
    QProcess processo_;
    int porta_ = 0;
};
