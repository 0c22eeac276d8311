#pragma once

// What the printout tests read back from a PDF: its text (pdftotext), its pages (pdfinfo) and the
// barcodes of a page rendered at a resolution (pdftoppm) as an independent reader decodes them
// (zbarimg). And the stored documents the tests print, made by documentos_impressao.py.

#include "programa.h"

#include <QRegularExpression>
#include <QStandardPaths>

namespace impresso {

using namespace Qt::StringLiterals;

inline QString comando(const QString& programa, const QStringList& argumentos, int* codigo = nullptr) {
    QProcess p;
    p.start(programa, argumentos);
    p.waitForFinished(120000);
    if (codigo) *codigo = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    return QString::fromUtf8(p.readAllStandardOutput());
}

inline int paginas(const QString& pdf) {
    const auto achado = QRegularExpression(u"Pages:\\s+(\\d+)"_s).match(comando(u"pdfinfo"_s, {pdf}));
    return achado.hasMatch() ? achado.captured(1).toInt() : 0;
}

// The text of one page (0: every page), in reading order without the layout.
inline QString texto(const QString& pdf, int pagina = 0) {
    QStringList argumentos;
    if (pagina > 0) argumentos << u"-f"_s << QString::number(pagina) << u"-l"_s << QString::number(pagina);
    return comando(u"pdftotext"_s, argumentos << pdf << u"-"_s);
}

inline bool temLeitorDeCodigos() {
    return !QStandardPaths::findExecutable(u"zbarimg"_s).isEmpty();
}

// The symbols zbarimg reads on the page rendered at `dpi`, as "TYPE:text" lines.
inline QStringList codigosDaPagina(const QString& pdf, int pagina, int dpi) {
    QTemporaryDir pasta;
    comando(u"pdftoppm"_s,
            {u"-png"_s, u"-r"_s, QString::number(dpi), u"-f"_s, QString::number(pagina), u"-l"_s,
             QString::number(pagina), u"-singlefile"_s, pdf, pasta.path() + u"/pagina"_s});
    const QString saida = comando(u"zbarimg"_s, {u"-q"_s, pasta.path() + u"/pagina.png"_s});
    return saida.split(u'\n', Qt::SkipEmptyParts);
}

// How many times each 44-digit access key appears in the text.
inline QHash<QString, int> chaves(const QString& texto) {
    QHash<QString, int> contagem;
    static const QRegularExpression chave(u"(?<![0-9])[0-9]{44}(?![0-9])"_s);
    for (auto it = chave.globalMatch(texto); it.hasNext();)
        ++contagem[it.next().captured(0)];
    return contagem;
}

inline QString agrupada(const QString& c) {
    return c.left(2) + u'.' + c.mid(2, 4) + u'.' + c.mid(6, 14) + u'.' + c.mid(20, 2) + u'.' + c.mid(22, 3) +
           u'.' + c.mid(25, 9) + u'.' + c.mid(34, 9) + u'-' + c.mid(43, 1);
}

struct Gerado {
    QString chave;
    QByteArray texto;
};

// A stored document of the printout tests' generator.
inline Gerado gera(const QStringList& argumentos) {
    QProcess p;
    p.start(u"/usr/bin/python3"_s, QStringList{QString::fromUtf8(QEL_DOCUMENTOS_IMPRESSAO)} + argumentos);
    if (!p.waitForFinished(30000) || p.exitCode() != 0)
        ADD_FAILURE() << "document generator: " << p.readAllStandardError().toStdString();
    return {QString::fromUtf8(p.readAllStandardError()).trimmed(), p.readAllStandardOutput()};
}

} // namespace impresso
