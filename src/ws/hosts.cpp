#include "ws/hosts.h"

#include "util/arquivos.h"

#include <QFile>
#include <QHash>
#include <QRegularExpression>

using namespace Qt::StringLiterals;

namespace qel {

namespace {

using TabelaHosts = QHash<QString, std::pair<QString, QString>>;

void leTabela(const QString& texto, TabelaHosts& tabela) {
    static const QRegularExpression espacos(u"\\s+"_s);
    for (const QString& linha : divideLinhas(texto)) {
        const QString limpa = linha.trimmed();
        if (limpa.isEmpty() || limpa.startsWith(u'#')) continue;
        const QStringList partes = limpa.split(espacos);
        if (partes.size() < 3) continue;
        const auto valor = [](const QString& v) { return v == u"-"_s ? QString() : v; };
        tabela.insert(partes.at(0), {valor(partes.at(1)), valor(partes.at(2))});
    }
}

const TabelaHosts& tabela() {
    static const TabelaHosts hosts = [] {
        TabelaHosts t;
        QFile embutido(u":/qel/ws/hosts.conf"_s);
        if (embutido.open(QIODevice::ReadOnly)) leTabela(QString::fromUtf8(embutido.readAll()), t);
        const QString arquivo = qEnvironmentVariable("QEL_DFE_HOSTS");
        if (!arquivo.isEmpty() && existeArquivo(arquivo)) leTabela(lerTexto(arquivo), t);
        return t;
    }();
    return hosts;
}

} // namespace

QString hostDoPapel(const QString& papel, const QString& ambiente) {
    const auto par = tabela().value(papel);
    return ambiente == u"2"_s ? par.second : par.first;
}

QString montaEndereco(const QString& esquema, const QString& papel, const QString& ambiente, int porta,
                      const QString& caminho) {
    const QString host = hostDoPapel(papel, ambiente);
    if (host.isEmpty()) return {};
    QString autoridade = host + (porta > 0 ? u':' + QString::number(porta) : QString());
    // Every request to one place (the local simulator), scheme and path kept.
    if (const QString unico = qEnvironmentVariable("QEL_DFE_HOST"); !unico.isEmpty()) autoridade = unico;
    return esquema + u"://"_s + autoridade + caminho;
}

} // namespace qel
