#include "util/codigos.h"

#include <array>

using namespace Qt::StringLiterals;

namespace qel {

namespace {

struct NomeTipo {
    TipoDocumento tipo;
    const char16_t* nome;
};

constexpr std::array<NomeTipo, 7> kTipos{{
    {TipoDocumento::NFe, u"NFe"},
    {TipoDocumento::NFCe, u"NFCe"},
    {TipoDocumento::CTe, u"CTe"},
    {TipoDocumento::MDFe, u"MDFe"},
    {TipoDocumento::NFSe, u"NFSe"},
    {TipoDocumento::DOT, u"DOT"},
    {TipoDocumento::Evento, u"Evento"},
}};

} // namespace

QString texto(TipoDocumento tipo) {
    for (const NomeTipo& t : kTipos)
        if (t.tipo == tipo) return QString::fromUtf16(t.nome);
    return {};
}

TipoDocumento tipoDocumento(const QString& texto) {
    for (const NomeTipo& t : kTipos)
        if (texto == QStringView(t.nome)) return t.tipo;
    return TipoDocumento::Nenhum;
}

QString codigo(Ambiente ambiente) {
    return ambiente == Ambiente::Homologacao ? u"2"_s : u"1"_s;
}

} // namespace qel
