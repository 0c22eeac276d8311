#include "ws/tabela_esquemas.h"

#include "util/arquivos.h"

#include <QFile>
#include <QHash>
#include <QRegularExpression>

using namespace Qt::StringLiterals;

namespace qel {

namespace {

QString vazioSeTraco(const QString& v) {
    return v == u"-"_s ? QString() : v;
}

QList<LinhaEsquema> leTabela(const QString& texto) {
    static const QRegularExpression espacos(u"\\s+"_s);
    QList<LinhaEsquema> linhas;
    for (const QString& linha : divideLinhas(texto)) {
        const QString limpa = linha.trimmed();
        if (limpa.isEmpty() || limpa.startsWith(u'#')) continue;
        const QStringList c = limpa.split(espacos);
        if (c.size() != 6 && c.size() != 7) continue;
        linhas.append({c[0], c[1], c[2], c[3], vazioSeTraco(c[4]), vazioSeTraco(c[5]),
                       c.size() == 7 ? vazioSeTraco(c[6]) : QString()});
    }
    return linhas;
}

QString leArquivo(const QString& caminho) {
    QFile f(caminho);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

} // namespace

const QList<LinhaEsquema>& tabelaEsquemas(const QString& pasta) {
    static QHash<QString, QList<LinhaEsquema>> porPasta;
    auto it = porPasta.find(pasta);
    if (it == porPasta.end()) {
        QList<LinhaEsquema> linhas = leTabela(leArquivo(pasta + u"/esquemas.conf"_s));
        linhas += leTabela(leArquivo(u":/qel/ws/esquemas.conf"_s));
        it = porPasta.insert(pasta, linhas);
    }
    return *it;
}

EscolhaEsquema escolheEsquema(const QList<LinhaEsquema>& tabela, const DocumentoEsquema& d,
                              const EsquemaInstalado& instalado) {
    const QString comNamespace = d.namespace_.isEmpty() ? d.raiz : u'{' + d.namespace_ + u'}' + d.raiz;
    EscolhaEsquema e;
    for (const LinhaEsquema& l : tabela) {
        if (l.raiz != (l.raiz.startsWith(u'{') ? comNamespace : d.raiz)) continue;
        e.raizConhecida = true;
        if (l.versao != u"-"_s && l.versao != d.versao) continue;
        if (l.tpEvento != u"-"_s && l.tpEvento != u"*"_s && l.tpEvento != d.tpEvento) continue;
        if (!instalado || instalado(l.esquema)) {
            e.linha = &l;
            return e;
        }
        if (!e.linha) e.linha = &l;
    }
    return e;
}

} // namespace qel
