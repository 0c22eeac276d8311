#pragma once

// What the harnesses share: a temporary folder made once per process (removed at exit) for the
// parsers that read files, and the bytes of an input as the program decodes a text file.

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <cstdint>

namespace qel::fuzz {

// The process's own folder, ending with "/"; also the drive root ($QEL_DFE_RAIZ) of the process,
// so no path a parser maps can leave it. Qt's warnings are silenced.
const QString& pasta();

// Replaces the file (a name inside pasta()) with the bytes; returns its full path.
QString grava(const QString& nome, const QByteArray& bytes);

inline QByteArray bytes(const uint8_t* dados, size_t tamanho) {
    return QByteArray(reinterpret_cast<const char*>(dados), static_cast<qsizetype>(tamanho));
}

// The input read as a text file is read: byte-order mark, UTF-8 or Windows-1252.
QString texto(const uint8_t* dados, size_t tamanho);

// Stops the process with a message libFuzzer reports as a finding (for broken invariants).
[[noreturn]] void falha(const char* oQue);

} // namespace qel::fuzz
