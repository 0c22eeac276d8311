#pragma once

// Files that hold secrets (certificate passwords, keys, tokens): owner-only from the first byte,
// whatever the umask of the process that writes them, and the check that nobody else can reach
// one.

#include <QByteArray>
#include <QFile>
#include <QString>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qel {

// Writes the bytes to a temporary file of mode 0600 in the target's folder and renames it over
// the target, so neither a crash nor another user ever sees the secret half written or readable.
inline bool gravaPrivado(const QString& caminho, const QByteArray& dados) {
    const QByteArray alvo = QFile::encodeName(caminho);
    QByteArray temporario = alvo + ".XXXXXX";
    const int fd = mkstemp(temporario.data());
    if (fd < 0) return false;
    bool ok = fchmod(fd, S_IRUSR | S_IWUSR) == 0;
    for (qsizetype feito = 0; ok && feito < dados.size();) {
        const ssize_t n = write(fd, dados.constData() + feito, static_cast<size_t>(dados.size() - feito));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0)
            ok = false;
        else
            feito += n;
    }
    ok = ok && fsync(fd) == 0;
    ok = close(fd) == 0 && ok;
    ok = ok && std::rename(temporario.constData(), alvo.constData()) == 0;
    if (!ok) {
        unlink(temporario.constData());
        return false;
    }
    // The rename itself reaches the disk with its folder.
    const qsizetype barra = alvo.lastIndexOf('/');
    const QByteArray pasta = barra > 0 ? alvo.left(barra) : QByteArray(".");
    if (const int dir = open(pasta.constData(), O_RDONLY | O_DIRECTORY); dir >= 0) {
        fsync(dir);
        close(dir);
    }
    return true;
}

// The permission bits of a file or folder (0 when it cannot be read).
inline unsigned modoDe(const QString& caminho) {
    struct stat s {};
    if (stat(QFile::encodeName(caminho).constData(), &s) != 0) return 0;
    return static_cast<unsigned>(s.st_mode) & 07777u;
}

// True when the group or other users have any access to it.
inline bool abertoAOutros(const QString& caminho) {
    return (modoDe(caminho) & 077u) != 0;
}

// "0644": the mode as users read it in messages.
inline QString textoModo(unsigned modo) {
    return QStringLiteral("0") + QString::number(modo & 0777u, 8).rightJustified(3, u'0');
}

} // namespace qel
