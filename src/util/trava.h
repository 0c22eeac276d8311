#pragma once

// Work that another process holds: the exchange folder another instance of the program is
// working on, and a file the calling application is still writing.

#include <QString>

namespace qel {

// One holder at a time, by an advisory lock (flock) on a lock file. The kernel drops the lock
// when its holder ends in any way, so a lock file left by a program that died is simply taken
// over. The holder's process id is written into the file for people to read; the file itself is
// never deleted, since deleting it would let a second holder lock a new file while the first
// still holds the old one.
class TravaExclusiva {
public:
    explicit TravaExclusiva(QString arquivo) : arquivo_(std::move(arquivo)) {}
    ~TravaExclusiva() { libera(); }
    TravaExclusiva(const TravaExclusiva&) = delete;
    TravaExclusiva& operator=(const TravaExclusiva&) = delete;

    enum class Estado { Obtida, Ocupada, Falhou };
    // One attempt, without waiting. Falhou: the lock file cannot be opened (erro() says why).
    Estado tenta();
    void libera();

    // The process id the holder wrote into the file; 0 when there is none.
    qint64 detentor() const;
    const QString& erro() const { return erro_; }

private:
    QString arquivo_;
    int descritor_ = -1;
    bool obtida_ = false;
    QString erro_;
};

// True when another process holds a write lock on the file (flock or fcntl): it is still being
// written, and reading or deleting it now would take half a document.
bool arquivoEmEscrita(const QString& caminho);

} // namespace qel
