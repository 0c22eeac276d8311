#include "util/trava.h"

#include <QFile>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace qel {

namespace {

QString textoErro(int codigo) {
    return QString::fromLocal8Bit(std::strerror(codigo));
}

} // namespace

TravaExclusiva::Estado TravaExclusiva::tenta() {
    if (obtida_) return Estado::Obtida;
    const QByteArray caminho = QFile::encodeName(arquivo_);
    for (;;) {
        if (descritor_ < 0) {
            descritor_ = ::open(caminho.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
            // A lock file that is there already locks as well read-only (a folder mounted
            // read-only, say); it just keeps the number of an earlier holder.
            const int motivo = errno;
            if (descritor_ < 0) descritor_ = ::open(caminho.constData(), O_RDONLY | O_CLOEXEC);
            if (descritor_ < 0) errno = motivo;
            if (descritor_ < 0) {
                erro_ = textoErro(errno);
                return Estado::Falhou;
            }
        }
        if (::flock(descritor_, LOCK_EX | LOCK_NB) != 0) {
            if (errno == EWOULDBLOCK || errno == EINTR) return Estado::Ocupada;
            erro_ = textoErro(errno);
            return Estado::Falhou;
        }
        // Someone deleted or replaced the file while we waited for it: the lock must be on the
        // file the others open, so start again on the current one.
        struct stat nosso {};
        struct stat atual {};
        if (::fstat(descritor_, &nosso) == 0 && ::stat(caminho.constData(), &atual) == 0 &&
            nosso.st_dev == atual.st_dev && nosso.st_ino == atual.st_ino)
            break;
        ::close(descritor_);
        descritor_ = -1;
    }
    obtida_ = true;
    // The process id is for people; a full disk that refuses it does not weaken the lock.
    const QByteArray pid = QByteArray::number(static_cast<qint64>(::getpid())) + '\n';
    const bool escrito =
        ::ftruncate(descritor_, 0) == 0 &&
        ::pwrite(descritor_, pid.constData(), static_cast<size_t>(pid.size()), 0) == pid.size();
    Q_UNUSED(escrito)
    return Estado::Obtida;
}

void TravaExclusiva::libera() {
    if (descritor_ < 0) return;
    // The number of a process that no longer holds the folder would mislead whoever reads it.
    if (obtida_) {
        const int truncado = ::ftruncate(descritor_, 0);
        Q_UNUSED(truncado) // when it fails the next holder overwrites the number
    }
    ::close(descritor_);
    descritor_ = -1;
    obtida_ = false;
}

qint64 TravaExclusiva::detentor() const {
    QFile arquivo(arquivo_);
    if (!arquivo.open(QIODevice::ReadOnly)) return 0;
    return arquivo.read(32).trimmed().toLongLong();
}

bool arquivoEmEscrita(const QString& caminho) {
    const int descritor = ::open(QFile::encodeName(caminho).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (descritor < 0) return false;
    bool emEscrita = false;
    if (::flock(descritor, LOCK_SH | LOCK_NB) != 0)
        emEscrita = errno == EWOULDBLOCK;
    else
        ::flock(descritor, LOCK_UN);
    if (!emEscrita) {
        struct flock pedido {};
        pedido.l_type = F_RDLCK;
        pedido.l_whence = SEEK_SET;
        pedido.l_start = 0;
        pedido.l_len = 0;
        emEscrita = ::fcntl(descritor, F_GETLK, &pedido) == 0 && pedido.l_type != F_UNLCK;
    }
    ::close(descritor);
    return emEscrita;
}

} // namespace qel
