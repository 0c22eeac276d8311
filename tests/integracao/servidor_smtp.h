#pragma once

// The local SMTP server of the tests (servidor_smtp.py, over aiosmtpd) on a free loopback port,
// and the reading of the messages it saved by Python's email module.

#include "apoio.h"

#include <QDir>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace teste {

using namespace Qt::StringLiterals;

inline QString executaPython(const QStringList& argumentos, QByteArray* erro = nullptr) {
    QProcess p;
    p.start(u"/usr/bin/python3"_s, argumentos);
    p.waitForFinished(30000);
    if (erro) *erro = p.readAllStandardError();
    return QString::fromUtf8(p.readAllStandardOutput());
}

class ServidorSmtpTeste {
public:
    // modo: starttls, implicito, simples, recusa-tls (see the script).
    // certificado, chave: the server's PEM files (prefix of .crt and .key).
    ServidorSmtpTeste(const QString& modo, const QString& certificado, int porta = 0) {
        processo_.start(u"/usr/bin/python3"_s,
                        {QString::fromUtf8(QEL_SERVIDOR_SMTP), u"--modo"_s, modo, u"--pasta"_s, pasta_.path(),
                         u"--porta"_s, QString::number(porta), u"--certificado"_s, certificado + u".crt"_s,
                         u"--chave"_s, certificado + u".key"_s, u"--usuario"_s, u"usuario"_s, u"--senha"_s,
                         u"s3nh@-Certa"_s});
        QElapsedTimer relogio;
        relogio.start();
        while (porta_ == 0 && relogio.elapsed() < 15000 && processo_.state() != QProcess::NotRunning) {
            processo_.waitForReadyRead(200);
            while (processo_.canReadLine()) {
                const QByteArray linha = processo_.readLine().trimmed();
                if (linha.startsWith("pronto ")) porta_ = linha.mid(7).toInt();
            }
        }
        if (porta_ == 0) erroPartida_ = processo_.readAllStandardError();
    }
    ~ServidorSmtpTeste() {
        processo_.terminate();
        if (!processo_.waitForFinished(5000)) processo_.kill();
    }
    int porta() const { return porta_; }
    const QByteArray& erroPartida() const { return erroPartida_; }

    // "tls NAME" / "claro NAME" per command, "login USER ok|recusado" per login.
    QStringList comandos() const {
        return QString::fromUtf8(teste::le(pasta_.path() + u"/comandos.log"_s))
            .split(u'\n', Qt::SkipEmptyParts);
    }
    QStringList mensagens() const {
        QStringList m;
        for (const QString& nome :
             QDir(pasta_.path()).entryList({u"mensagem-*.eml"_s}, QDir::Files, QDir::Name))
            m << pasta_.path() + u'/' + nome;
        return m;
    }
    // The envelope of the first message: {"de": ..., "para": [...]}.
    QJsonObject envelope() const {
        return QJsonDocument::fromJson(teste::le(pasta_.path() + u"/mensagem-1.json"_s)).object();
    }

private:
    QTemporaryDir pasta_;
    QProcess processo_;
    int porta_ = 0;
    QByteArray erroPartida_;
};

// The message as Python's email module reads it.
inline QJsonObject leMensagem(const QString& eml) {
    QByteArray erro;
    const QString saida = executaPython({QString::fromUtf8(QEL_SERVIDOR_SMTP), u"ler"_s, eml}, &erro);
    const QJsonObject o = QJsonDocument::fromJson(saida.toUtf8()).object();
    if (o.isEmpty()) ADD_FAILURE() << "message not parsed: " << erro.toStdString();
    return o;
}

inline QStringList textos(const QJsonArray& a) {
    QStringList l;
    for (const QJsonValue& v : a)
        l << v.toString();
    return l;
}

// A port on loopback where nobody listens.
inline int portaFechada() {
    const int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t n = sizeof a;
    bind(s, reinterpret_cast<sockaddr*>(&a), n);
    getsockname(s, reinterpret_cast<sockaddr*>(&a), &n);
    close(s);
    return ntohs(a.sin_port);
}

} // namespace teste
