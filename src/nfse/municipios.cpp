#include "nfse/municipios.h"

#include "util/arquivos.h"
#include "util/arvore_xml.h"

#include <QFile>
#include <QRegularExpression>

using namespace Qt::StringLiterals;

namespace qel {

namespace {

std::optional<GrupoNfse> grupoDoNome(const QString& nome) {
    static const std::pair<const char16_t*, GrupoNfse> nomes[] = {
        {u"tecnos", GrupoNfse::Tecnos},          {u"thema", GrupoNfse::Thema},
        {u"issnet", GrupoNfse::Issnet},          {u"curitiba", GrupoNfse::Curitiba},
        {u"estrela", GrupoNfse::Estrela},        {u"florianopolis", GrupoNfse::Florianopolis},
        {u"sem-servico", GrupoNfse::SemServico},
    };
    for (const auto& [n, g] : nomes)
        if (nome == QStringView(n)) return g;
    return std::nullopt;
}

} // namespace

QStringList leMunicipiosNfse(const QString& texto, const QString& origem, QList<MunicipioNfse>& destino) {
    static const QRegularExpression espacos(u"\\s+"_s);
    QStringList erros;
    int numero = 0;
    for (const QString& linha : divideLinhas(texto)) {
        ++numero;
        const QString limpa = linha.trimmed();
        if (limpa.isEmpty() || limpa.startsWith(u'#')) continue;
        const QStringList c = limpa.split(espacos);
        const std::optional<GrupoNfse> grupo = c.size() >= 4 ? grupoDoNome(c.at(2)) : std::nullopt;
        if (!grupo) {
            erros.append(origem + u':' + QString::number(numero) + u": "_s + limpa);
            continue;
        }
        destino.removeIf([&](const MunicipioNfse& m) { return m.codigo == c.at(0); });
        destino.append({c.at(0), c.at(1), c.mid(3).join(u' '), *grupo});
    }
    return erros;
}

const QList<MunicipioNfse>& municipiosNfse() {
    static const QList<MunicipioNfse> tabela = [] {
        QList<MunicipioNfse> t;
        QFile f(u":/qel/nfse/municipios.conf"_s);
        if (f.open(QIODevice::ReadOnly))
            leMunicipiosNfse(QString::fromUtf8(f.readAll()), u"municipios.conf"_s, t);
        return t;
    }();
    return tabela;
}

const MunicipioNfse* municipioNfse(const QString& codigo) {
    const QString c = codigo.trimmed();
    for (const MunicipioNfse& m : municipiosNfse())
        if (m.codigo == c) return &m;
    return nullptr;
}

GrupoNfse grupoNfse(const QString& codigo) {
    const MunicipioNfse* m = municipioNfse(codigo);
    return m ? m->grupo : GrupoNfse::Nenhum;
}

QString municipioDoDocumento(const QString& texto) {
    const LeituraXml leitura = leArvoreXml(texto);
    if (!leitura.raiz) return {};
    const NoXml& raiz = *leitura.raiz;
    // The municipality of the service first (where the tax is due is the provider's city in
    // these layouts), then the Tecnos city of the declaration, then the provider's address.
    QStringList candidatos;
    for (const NoXml* servico : raiz.todos(u"Servico"))
        candidatos << servico->valor(u"CodigoMunicipio") << servico->valor(u"MunicipioPrestacaoServico");
    if (const NoXml* declaracao = raiz.busca(u"InfDeclaracaoPrestacaoServico"))
        for (const NoXml& filho : declaracao->filhos)
            if (filho.nome == u"IdCidade"_s) candidatos << filho.texto.trimmed();
    for (const QString& c : std::as_const(candidatos))
        if (municipioNfse(c)) return c;
    return {};
}

} // namespace qel
