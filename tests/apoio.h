#pragma once

// Small shared pieces of the tests: the reference folder and files written byte for byte.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <ostream>

namespace teste {

// The folder of official samples and schemas, or an empty text when this machine has none.
inline QString pastaReferencia() {
    QString pasta = qEnvironmentVariable("QEL_REFERENCIA");
    if (pasta.isEmpty()) pasta = QString::fromUtf8(QEL_REFERENCIA);
    return QFileInfo(pasta + QStringLiteral("/samples")).isDir() ? pasta : QString();
}

inline void escreve(const QString& caminho, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(caminho).absolutePath());
    QFile f(caminho);
    if (!f.open(QIODevice::WriteOnly)) qFatal("cannot write %s", qPrintable(caminho));
    f.write(bytes);
}

inline QByteArray le(const QString& caminho) {
    QFile f(caminho);
    if (!f.open(QIODevice::ReadOnly)) return {};
    return f.readAll();
}

} // namespace teste

#define PULA_SEM_REFERENCIA()                                                                                \
    if (teste::pastaReferencia().isEmpty())                                                                  \
    GTEST_SKIP() << "reference folder not found (set QEL_REFERENCIA); sample-based checks skipped"

// Readable failures for texts.
inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}
