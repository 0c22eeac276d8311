#include "util/tabelas.h"

#include <QStringList>
#include <array>
#include <utility>

using namespace Qt::StringLiterals;

namespace qel {

namespace {

struct Par {
    const char16_t* a;
    const char16_t* b;
};

constexpr std::array<Par, 27> kEstados{{
    {u"RO", u"11"}, {u"AC", u"12"}, {u"AM", u"13"}, {u"RR", u"14"}, {u"PA", u"15"}, {u"AP", u"16"},
    {u"TO", u"17"}, {u"MA", u"21"}, {u"PI", u"22"}, {u"CE", u"23"}, {u"RN", u"24"}, {u"PB", u"25"},
    {u"PE", u"26"}, {u"AL", u"27"}, {u"SE", u"28"}, {u"BA", u"29"}, {u"MG", u"31"}, {u"ES", u"32"},
    {u"RJ", u"33"}, {u"SP", u"35"}, {u"PR", u"41"}, {u"SC", u"42"}, {u"RS", u"43"}, {u"MS", u"50"},
    {u"MT", u"51"}, {u"GO", u"52"}, {u"DF", u"53"},
}};

constexpr std::array<Par, 14> kMunicipios{{
    {u"4311403", u"Lajeado"},
    {u"4316808", u"Santa Cruz do Sul"},
    {u"4312401", u"Montenegro"},
    {u"4301008", u"Arroio do Meio"},
    {u"4312054", u"Marques de Souza"},
    {u"4306809", u"Encantado"},
    {u"4306205", u"Cruzeiro do Sul"},
    {u"4307807", u"Estrela"},
    {u"8653", u"Estrela"},
    {u"4310363", u"Imigrante"},
    {u"4313409", u"Novo Hamburgo"},
    {u"4106902", u"Curitiba"},
    {u"4205407", u"Florianopolis"},
    {u"4305587", u"Colinas"},
}};

// States whose standard time is four hours behind UTC.
bool fusoQuatroHoras(const QString& uf) {
    static const QStringList estados{u"RO"_s, u"AC"_s, u"AM"_s, u"RR"_s, u"MS"_s, u"MT"_s};
    return estados.contains(uf);
}

bool emHorarioDeVerao(const QDate& data) {
    // Start day included, end day excluded.
    static const std::array<std::pair<QDate, QDate>, 4> periodos{{
        {QDate(2015, 10, 18), QDate(2016, 2, 21)},
        {QDate(2016, 10, 16), QDate(2017, 2, 19)},
        {QDate(2017, 10, 15), QDate(2018, 2, 18)},
        {QDate(2018, 11, 4), QDate(2019, 2, 18)},
    }};
    for (const auto& [inicio, fim] : periodos)
        if (data >= inicio && data < fim) return true;
    return false;
}

} // namespace

QString Converte_UF(const QString& texto) {
    for (const Par& p : kEstados) {
        if (texto == QStringView(p.a)) return QString::fromUtf16(p.b);
        if (texto == QStringView(p.b)) return QString::fromUtf16(p.a);
    }
    return {};
}

QString Nome_Municipio(const QString& codigo) {
    for (const Par& p : kMunicipios)
        if (codigo == QStringView(p.a)) return QString::fromUtf16(p.b);
    return {};
}

QString Situacao_Tributaria_NFSe(const QString& codigo, const QString& municipio) {
    const int n = codigo.toInt();
    if (QString::number(n) != codigo) return {};
    switch (n) {
    case 1:
        return u"Exigível"_s;
    case 2:
        return u"Nao incidência"_s;
    case 3:
        return u"Isenção"_s;
    case 4:
        return u"Exportação"_s;
    case 5:
        return u"Imunidade"_s;
    case 6:
        return u"Exigibilidade Suspensa por Decisão Judicial"_s;
    case 7:
        return u"Exigibilidade Suspensa por Processo Administrativo"_s;
    case 51:
    case 61:
        return u"Imposto devido em "_s + municipio + u", com obrigação de retenção na fonte."_s;
    case 52:
    case 62:
        return u"Imposto devido em "_s + municipio + u", sem obrigação de retenção na fonte."_s;
    case 57:
    case 67:
        return u"ISSQN Fixo."_s;
    case 58:
    case 68:
        return u"Não Tributável."_s;
    case 59:
    case 69:
    case 79:
        return u"Imposto recolhido pelo regime único de arrecadação."_s;
    case 63:
        return u"Imposto Devido fora de "_s + municipio + u", com obrigações de retenção na fonte."_s;
    case 64:
        return u"Imposto Devido fora de "_s + municipio + u", sem obrigações de retenção na fonte."_s;
    case 78:
        return u"Não Tributável"_s;
    default:
        return {};
    }
}

QString Fuso_Horario(const QString& uf, const QDate& data) {
    const bool quatro = fusoQuatroHoras(uf);
    if (emHorarioDeVerao(data)) return quatro ? u"-03:00"_s : u"-02:00"_s;
    return quatro ? u"-04:00"_s : u"-03:00"_s;
}

} // namespace qel
