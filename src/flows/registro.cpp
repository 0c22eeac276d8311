#include "flows/registro.h"

#include "util/arquivos.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

using namespace Qt::StringLiterals;

namespace qel {

void Registro::anota(const QString& texto) {
    if (caminho_.isEmpty()) return;
    const QString real = localizaCaminho(caminho_);
    // The log is never a reason to stop a task: a folder that cannot be written leaves no log.
    if (!QFileInfo(real).dir().exists()) return;
    QFile arquivo(real);
    if (!arquivo.open(QIODevice::WriteOnly | QIODevice::Append)) return;
    const QString carimbo = relogio_().toLocalTime().toString(u"dd/MM/yyyy HH:mm:ss"_s);
    QByteArray linhas;
    for (const QString& linha : texto.split(u'\n'))
        linhas += (carimbo + u' ' + linha + u'\n').toUtf8();
    arquivo.write(linhas);
}

} // namespace qel
