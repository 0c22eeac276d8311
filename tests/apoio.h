#pragma once

// Small shared pieces of the tests: the reference folder and files written byte for byte.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
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

// A real document without its old signature, as the web-service call prepares a document:
// lines trimmed and joined, from the opening of the element named to its closing tag.
inline QString semAssinatura(const QString& arquivo, const QString& abre, const QString& fecha);

inline QByteArray le(const QString& caminho) {
    QFile f(caminho);
    if (!f.open(QIODevice::ReadOnly)) return {};
    return f.readAll();
}

inline QString semAssinatura(const QString& arquivo, const QString& abre, const QString& fecha) {
    QString texto = QString::fromUtf8(le(arquivo));
    texto.remove(QRegularExpression(QStringLiteral("<Signature.*?</Signature>"),
                                    QRegularExpression::DotMatchesEverythingOption));
    QString linha;
    for (const QString& l : texto.split(QLatin1Char('\n')))
        linha += l.trimmed();
    const qsizetype a = linha.indexOf(abre);
    const qsizetype f = linha.indexOf(fecha, a);
    return a < 0 || f < 0 ? QString() : linha.mid(a, f + fecha.size() - a);
}

} // namespace teste

#define PULA_SEM_REFERENCIA()                                                                                \
    if (teste::pastaReferencia().isEmpty())                                                                  \
    GTEST_SKIP() << "reference folder not found (set QEL_REFERENCIA); sample-based checks skipped"

// Readable failures for texts.
inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}
