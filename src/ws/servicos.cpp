#include "ws/servicos.h"

#include "util/codigos.h"

#include <array>

namespace qel {

namespace {

constexpr std::array<Grafia<Servico>, 16> kServicos{{
    {Servico::Status, u"Status"},
    {Servico::Consultar, u"Consultar"},
    {Servico::Download, u"Download"},
    {Servico::Inutilizar, u"Inutilizar"},
    {Servico::RetRecepcao, u"RetRecepcao"},
    {Servico::Evento, u"Evento"},
    {Servico::Recepcao, u"Recepcao"},
    {Servico::Simplificado, u"Simplificado"},
    {Servico::Cadastro, u"Cadastro"},
    {Servico::NaoEncerrados, u"NaoEncerrados"},
    {Servico::Cancelar, u"Cancelar"},
    {Servico::Substituicao, u"Substituicao"},
    {Servico::NDDGeraGUID, u"NDDGeraGUID"},
    {Servico::Rota, u"Rota"},
    {Servico::Pagar, u"Pagar"},
    {Servico::QrCode, u"QrCode"},
}};

} // namespace

QString nome(Servico servico) {
    return grafiaDe<Servico>(kServicos, servico);
}

std::optional<Servico> servicoDoNome(const QString& nome) {
    return codigoDe<Servico>(kServicos, nome);
}

} // namespace qel
