#include "apoio_fuzz.h"

#include "util/codificacao.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>

namespace qel::fuzz {

namespace {

void semMensagens(QtMsgType, const QMessageLogContext&, const QString&) {}

} // namespace

const QString& pasta() {
    // Never destroyed before the harness's last input; QTemporaryDir removes it at exit.
    static QTemporaryDir* dir = [] {
        qInstallMessageHandler(semMensagens);
        // Every run writes its input to a file: in memory where the system has such a folder, as
        // a disk write per run would make the harness a hundred times slower.
        const QFileInfo memoria(QStringLiteral("/dev/shm"));
        const QString base = memoria.isDir() && memoria.isWritable() ? memoria.filePath() : QDir::tempPath();
        auto* d = new QTemporaryDir(base + QStringLiteral("/qel-fuzz-XXXXXX"));
        if (!d->isValid()) falha("temporary folder");
        qputenv("QEL_DFE_RAIZ", QFile::encodeName(d->path() + QLatin1Char('/')));
        std::atexit([] { delete dir; });
        return d;
    }();
    static const QString caminho = dir->path() + QLatin1Char('/');
    return caminho;
}

QString grava(const QString& nome, const QByteArray& bytes) {
    const QString caminho = pasta() + nome;
    QFile f(caminho);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size())
        falha("cannot write the input file");
    return caminho;
}

QString texto(const uint8_t* dados, size_t tamanho) {
    return decodificaTextoArquivo(bytes(dados, tamanho));
}

void falha(const char* oQue) {
    std::fprintf(stderr, "qel-fuzz: %s\n", oQue);
    std::abort();
}

} // namespace qel::fuzz
