#include "util/codigos.h"

#include <array>

using namespace Qt::StringLiterals;

namespace qel {

namespace {

constexpr std::array<Grafia<TipoDocumento>, 7> kTipos{{
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
    return grafiaDe<TipoDocumento>(kTipos, tipo);
}

TipoDocumento tipoDocumento(const QString& texto) {
    return codigoDe<TipoDocumento>(kTipos, texto).value_or(TipoDocumento::Nenhum);
}

QString codigo(Ambiente ambiente) {
    return ambiente == Ambiente::Homologacao ? u"2"_s : u"1"_s;
}

} // namespace qel
