#include "tarefa/identificacao.h"

#include "tarefa/chave.h"
#include "util/arquivos.h"
#include "util/posicoes.h"

#include <algorithm>
#include <array>

using namespace Qt::StringLiterals;

namespace qel {

namespace {

const QString kInicioId = u"Id=\""_s;

// Kind tests that need no key, in the order that decides.
using Marca = Grafia<TipoDocumento>;
constexpr std::array<Marca, 9> kMarcas{{
    {TipoDocumento::Evento, u"<CANCELARNFSEENVIO"},
    {TipoDocumento::Evento, u"<INFPEDIDOCANCELAMENTO"},
    {TipoDocumento::NFSe, u"NFPSE>"},
    {TipoDocumento::NFSe, u"<NFSE"},
    {TipoDocumento::NFSe, u"RPS>"},
    {TipoDocumento::DOT, u"<OT>"},
    {TipoDocumento::DOT, u"INFOPERACAOPAGAMENTO"},
    {TipoDocumento::DOT, u"INFOPERACAOVALEPEDAGIO"},
    // A stored CIOT operation (its operation declares its namespaces, so no bare "<OT>").
    {TipoDocumento::DOT, u"<CIOTPROC"},
}};

// A company number as a document carries it: 14 characters of the CNPJ shape (twelve letters
// or digits, then two check digits) or the 11 digits of a CPF.
bool ehNumeroEmpresa(QStringView valor) {
    const auto digito = [](QChar c) { return c >= u'0' && c <= u'9'; };
    const auto alfanumerico = [&](QChar c) { return digito(c) || (c >= u'A' && c <= u'Z'); };
    if (valor.size() == 11) return std::all_of(valor.begin(), valor.end(), digito);
    if (valor.size() != 14) return false;
    return std::all_of(valor.begin(), valor.begin() + 12, alfanumerico) &&
           std::all_of(valor.begin() + 12, valor.end(), digito);
}

// The content of the first element named exactly CNPJ (any letter case; the line is given
// upper-cased) whose value is a company number. Elements whose names only begin the same
// ("<CNPJDEST>") are no company of the document.
QString cnpjDaLinha(const QString& u) {
    static const QString abre = u"<CNPJ"_s;
    for (qsizetype p = u.indexOf(abre); p >= 0; p = u.indexOf(abre, p + 1)) {
        const qsizetype depois = p + abre.size();
        if (depois >= u.size()) break;
        const QChar c = u.at(depois);
        if (c != u'>' && !c.isSpace()) continue;
        const qsizetype inicio = u.indexOf(u'>', depois);
        if (inicio < 0) break;
        const qsizetype fim = u.indexOf(u'<', inicio);
        const QStringView valor = QStringView(u).mid(inicio + 1, fim < 0 ? -1 : fim - inicio - 1).trimmed();
        if (ehNumeroEmpresa(valor)) return valor.toString();
    }
    return {};
}

// Looks at one line for the document kind. True when the whole identification ends here.
bool identificaTipo(ContextoExecucao& ctx, const QString& linha) {
    const QString u = linha.toUpper().trimmed();
    for (const Marca& m : kMarcas) {
        if (u.contains(QStringView(m.nome))) {
            ctx.CHAVE.clear();
            ctx.Tipo = m.codigo;
            return false;
        }
    }
    const qsizetype p = Posicao(kInicioId, linha);
    if (p == 0) return false;
    ctx.CHAVE = Copia(linha, p + 7, 44);
    if (linha.contains(u"infEvento"_s) || linha.contains(u"infInut"_s)) {
        ctx.Tipo = TipoDocumento::Evento;
        return true;
    }
    if (const qsizetype q = Posicao(kInicioId + u"NFe"_s, linha); q > 0) {
        const QString modelo = Copia(linha, q + 27, 2);
        if (modelo == u"55"_s) {
            ctx.Tipo = TipoDocumento::NFe;
            return true;
        }
        if (modelo == u"65"_s) {
            ctx.Tipo = TipoDocumento::NFCe;
            return true;
        }
    }
    if (const qsizetype q = Posicao(kInicioId + u"MDFe"_s, linha);
        q > 0 && Copia(linha, q + 28, 2) == u"58"_s) {
        ctx.CHAVE = Copia(linha, q + 8, 44);
        ctx.Tipo = TipoDocumento::MDFe;
        return true;
    }
    if (const qsizetype q = Posicao(kInicioId + u"CTe"_s, linha);
        q > 0 && Copia(linha, q + 27, 2) == u"57"_s) {
        ctx.Tipo = TipoDocumento::CTe;
        return true;
    }
    return false;
}

} // namespace

void Identifica_Documento(ContextoExecucao& ctx, const std::function<void()>& carregaDadosEmpresa) {
    ctx.Tipo = TipoDocumento::Nenhum;
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
        if (ctx.Tipo == TipoDocumento::Nenhum && identificaTipo(ctx, linha)) return;
        if (const qsizetype p = Posicao(u"CodigoMunicipio"_s, linha); p > 0)
            ctx.cUF = Copia(linha, p + 16, 2);
        if (!ctx.CNPJ.trimmed().isEmpty()) {
            carrega();
            if (ctx.Tipo != TipoDocumento::Nenhum) return;
            continue;
        }
        if (const QString cnpj = cnpjDaLinha(linha.toUpper().trimmed()); !cnpj.isEmpty()) {
            ctx.CNPJ = cnpj;
            carrega();
            // A document written over several lines may name its company before the element
            // that tells its kind (an RPS lot does): the search for the kind goes on.
            if (ctx.Tipo != TipoDocumento::Nenhum) return;
        }
    }
}

void Modelo_Chave(ContextoExecucao& ctx) {
    const QString chave = ctx.CHAVE.trimmed();
    if (chave.isEmpty()) return;
    static constexpr std::array<Grafia<TipoDocumento>, 6> modelos{{
        {TipoDocumento::NFe, u"55"},
        {TipoDocumento::CTe, u"57"},
        {TipoDocumento::NFCe, u"65"},
        {TipoDocumento::MDFe, u"58"},
        {TipoDocumento::NFSe, u"NS"},
        {TipoDocumento::DOT, u"DT"},
    }};
    if (const auto tipo = codigoDe<TipoDocumento>(modelos, modeloDaChave(chave)))
        ctx.Tipo = *tipo;
    else if (chave.size() == 31)
        ctx.Tipo = TipoDocumento::NFSe;
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
    struct MarcaMunicipio {
        const char16_t* marca;
        const char16_t* codigo;
    };
    static const std::array<MarcaMunicipio, 11> marcas{{
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
    for (const MarcaMunicipio& m : marcas) {
        if (texto.contains(QStringView(m.marca))) {
            ctx.CODIGO_MUNICIPIO = QString::fromUtf16(m.codigo);
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
