#pragma once

// Small real file systems for the tests of failing disks (a tmpfs of a few hundred KB, filled or
// made read-only), and reading a running program's output up to a given line.

#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <gtest/gtest.h>

namespace teste {

class Tmpfs {
public:
    explicit Tmpfs(QString pasta, const QString& tamanho = QStringLiteral("200k"))
        : pasta_(std::move(pasta)) {
        QDir().mkpath(pasta_);
        QProcess mount;
        mount.start(QStringLiteral("mount"),
                    {QStringLiteral("-t"), QStringLiteral("tmpfs"), QStringLiteral("-o"),
                     QStringLiteral("size=") + tamanho, QStringLiteral("tmpfs"), pasta_});
        montado_ = mount.waitForFinished(10000) && mount.exitCode() == 0;
        if (!montado_) motivo_ = QString::fromLocal8Bit(mount.readAllStandardError()).trimmed();
    }
    ~Tmpfs() {
        if (montado_) QProcess::execute(QStringLiteral("umount"), {QStringLiteral("-l"), pasta_});
    }
    Tmpfs(const Tmpfs&) = delete;
    Tmpfs& operator=(const Tmpfs&) = delete;

    bool montado() const { return montado_; }
    // Why it could not be mounted (not root, in a container without the right).
    std::string motivo() const { return (QStringLiteral("mount -t tmpfs: ") + motivo_).toStdString(); }

    // Writes a filler file until the file system refuses more.
    void enche() const {
        QFile f(enchimento());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
        const QByteArray bloco(4096, 'x');
        while (f.write(bloco) == bloco.size()) {
        }
    }
    void esvazia() const { QFile::remove(enchimento()); }
    bool remonta(const QString& modo) const {
        return QProcess::execute(QStringLiteral("mount"),
                                 {QStringLiteral("-o"), QStringLiteral("remount,") + modo, pasta_}) == 0;
    }
    // Every file in the tree but the filler: what the program left there.
    QStringList arquivos() const {
        QStringList nomes;
        QDirIterator it(pasta_, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString nome = it.next();
            if (nome != enchimento()) nomes << nome.mid(pasta_.size() + 1);
        }
        nomes.sort();
        return nomes;
    }

private:
    QString enchimento() const { return pasta_ + QStringLiteral("/.enchimento"); }

    QString pasta_;
    bool montado_ = false;
    QString motivo_;
};

// Reads the program's standard output until a line begins with `inicio` (true) or it ends.
inline bool esperaLinha(QProcess& p, const QString& inicio, QString& saida) {
    QElapsedTimer relogio;
    relogio.start();
    while (relogio.elapsed() < 60000) {
        while (p.canReadLine()) {
            const QString linha = QString::fromUtf8(p.readLine());
            saida += linha;
            if (linha.startsWith(inicio)) return true;
        }
        if (p.state() == QProcess::NotRunning && !p.canReadLine()) return false;
        p.waitForReadyRead(200);
    }
    return false;
}

} // namespace teste
