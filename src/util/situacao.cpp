#include "util/situacao.h"

#include "util/arquivos.h"

using namespace Qt::StringLiterals;

namespace qel {

QString Ultimo_cStat(const QString& texto) {
    static const QString abre = u"<cStat>"_s;
    static const QString fecha = u"</cStat>"_s;
    QString resultado = u"0"_s;
    qsizetype de = 0;
    while (true) {
        const qsizetype a = texto.indexOf(abre, de);
        if (a < 0) break;
        const qsizetype f = texto.indexOf(fecha, de);
        // An unclosed element ends the search with what was already found.
        if (f < 0) break;
        resultado = f > a ? texto.mid(a + abre.size(), f - a - abre.size()) : QString();
        de = f + fecha.size();
    }
    return resultado;
}

QString Situacao_Documento(const QString& nomeBase) {
    QString b = nomeBase;
    if (b.size() >= 4 && b.at(b.size() - 4) == u'.') b.chop(8);
    if (b.trimmed().isEmpty()) return {};
    QString resultado;
    if (existeArquivo(b + u"-Can.XML"_s)) resultado = u"Cancelada"_s;
    if (existeArquivo(b + u"-Dng.XML"_s)) resultado = u"Denegada"_s;
    if (existeArquivo(b + u"-Enc.XML"_s)) resultado = u"Encerrada"_s;
    return resultado;
}

} // namespace qel
