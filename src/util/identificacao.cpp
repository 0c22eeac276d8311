#include "util/identificacao.h"

#include "util/arquivos.h"
#include "util/posicoes.h"

#include <array>

using namespace Qt::StringLiterals;

namespace qel {

namespace {

const QString kInicioId = u"Id=\""_s;

// Kind tests that need no key, in the order that decides.
struct MarcaTipo {
    const char16_t* marca;
    const char16_t* tipo;
};
constexpr std::array<MarcaTipo, 8> kMarcas{{
    {u"<CANCELARNFSEENVIO", u"Evento"},
    {u"<INFPEDIDOCANCELAMENTO", u"Evento"},
    {u"NFPSE>", u"NFSe"},
    {u"<NFSE", u"NFSe"},
    {u"RPS>", u"NFSe"},
    {u"<OT>", u"DOT"},
    {u"INFOPERACAOPAGAMENTO", u"DOT"},
    {u"INFOPERACAOVALEPEDAGIO", u"DOT"},
}};

// Looks at one line for the document kind. True when the whole identification ends here.
bool identificaTipo(ContextoExecucao& ctx, const QString& linha) {
    const QString u = linha.toUpper().trimmed();
    for (const MarcaTipo& m : kMarcas) {
        if (u.contains(QStringView(m.marca))) {
            ctx.CHAVE.clear();
            ctx.Tipo = QString::fromUtf16(m.tipo);
            return false;
        }
    }
    const qsizetype p = Posicao(kInicioId, linha);
    if (p == 0) return false;
    ctx.CHAVE = Copia(linha, p + 7, 44);
    if (linha.contains(u"infEvento"_s) || linha.contains(u"infInut"_s)) {
        ctx.Tipo = u"Evento"_s;
        return true;
    }
    if (const qsizetype q = Posicao(kInicioId + u"NFe"_s, linha); q > 0) {
        const QString modelo = Copia(linha, q + 27, 2);
        if (modelo == u"55"_s) {
            ctx.Tipo = u"NFe"_s;
            return true;
        }
        if (modelo == u"65"_s) {
            ctx.Tipo = u"NFCe"_s;
            return true;
        }
    }
    if (const qsizetype q = Posicao(kInicioId + u"MDFe"_s, linha);
        q > 0 && Copia(linha, q + 28, 2) == u"58"_s) {
        ctx.CHAVE = Copia(linha, q + 8, 44);
        ctx.Tipo = u"MDFe"_s;
        return true;
    }
    if (const qsizetype q = Posicao(kInicioId + u"CTe"_s, linha);
        q > 0 && Copia(linha, q + 27, 2) == u"57"_s) {
        ctx.Tipo = u"CTe"_s;
        return true;
    }
    return false;
}

} // namespace

void Identifica_Documento(ContextoExecucao& ctx, const std::function<void()>& carregaDadosEmpresa) {
    ctx.Tipo.clear();
    // The company data is read again only when the company changes: the same file gives the
    // same data, and a long document would otherwise read it once per line.
    QString carregado;
    bool jaCarregado = false;
    const auto carrega = [&] {
        if (jaCarregado && carregado == ctx.CNPJ) return;
        jaCarregado = true;
        carregado = ctx.CNPJ;
        if (carregaDadosEmpresa) carregaDadosEmpresa();
    };
    for (const QString& linha : std::as_const(ctx.LbXML)) {
        if (ctx.Tipo.isEmpty() && identificaTipo(ctx, linha)) return;
        if (const qsizetype p = Posicao(u"CodigoMunicipio"_s, linha); p > 0)
            ctx.cUF = Copia(linha, p + 16, 2);
        if (!ctx.CNPJ.trimmed().isEmpty()) {
            carrega();
            if (!ctx.Tipo.isEmpty()) return;
            continue;
        }
        const QString u = linha.toUpper().trimmed();
        if (const qsizetype p = Posicao(u"<CNPJ"_s, u); p > 0) {
            ctx.CNPJ = Copia(u, p + 6, 14);
            carrega();
            // A document written over several lines may name its company before the element
            // that tells its kind (an RPS lot does): the search for the kind goes on.
            if (!ctx.Tipo.isEmpty()) return;
        }
    }
}

void Modelo_Chave(ContextoExecucao& ctx) {
    const QString chave = ctx.CHAVE.trimmed();
    if (chave.isEmpty()) return;
    static const std::array<MarcaTipo, 6> modelos{{
        {u"55", u"NFe"},
        {u"57", u"CTe"},
        {u"65", u"NFCe"},
        {u"58", u"MDFe"},
        {u"NS", u"NFSe"},
        {u"DT", u"DOT"},
    }};
    const QString modelo = Copia(chave, 21, 2);
    for (const MarcaTipo& m : modelos) {
        if (modelo == QStringView(m.marca)) {
            ctx.Tipo = QString::fromUtf16(m.tipo);
            return;
        }
    }
    if (chave.size() == 31) ctx.Tipo = u"NFSe"_s;
}

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

void Identifica_Municipio(ContextoExecucao& ctx, const QString& texto) {
    if (!texto.contains(u"<Rps"_s) && !texto.contains(u"<nfse"_s)) {
        if (texto.contains(u"Nfpse>"_s)) {
            ctx.CODIGO_MUNICIPIO = u"4205407"_s;
            ctx.cUF = u"42"_s;
            ctx.UF = u"SC"_s;
        }
        return;
    }
    static const std::array<MarcaTipo, 11> marcas{{
        {u"cao><CodigoMunicipio>4312401", u"4312401"},
        {u"cao><CodigoMunicipio>4311403", u"4311403"},
        {u"cao><CodigoMunicipio>4316808", u"4316808"},
        {u"cao><CodigoMunicipio>4313409", u"4313409"},
        {u"cia><IdCidade>4301008", u"4301008"},
        {u"cia><IdCidade>4312054", u"4312054"},
        {u"cia><IdCidade>4306205", u"4306205"},
        {u"cia><IdCidade>4306809", u"4306809"},
        {u"cia><IdCidade>4307807", u"4307807"},
        {u"pfcnpj><cidade>37672", u"37672"},
        {u"pfcnpj><cidade>8653", u"8653"},
    }};
    for (const MarcaTipo& m : marcas) {
        if (texto.contains(QStringView(m.marca))) {
            ctx.CODIGO_MUNICIPIO = QString::fromUtf16(m.tipo);
            break;
        }
    }
    ctx.cUF = u"43"_s;
    ctx.UF = u"RS"_s;
    if (texto.contains(u"cao><CodigoMunicipio>4106902"_s)) {
        ctx.CODIGO_MUNICIPIO = u"4106902"_s;
        ctx.cUF = u"41"_s;
        ctx.UF = u"PR"_s;
    }
}

} // namespace qel
