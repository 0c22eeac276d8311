#include "ws/servicos.h"

#include <array>

namespace qel {

namespace {

struct NomeServico {
    Servico servico;
    const char16_t* nome;
};

constexpr std::array<NomeServico, 16> kServicos{{
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
    for (const NomeServico& s : kServicos)
        if (s.servico == servico) return QString::fromUtf16(s.nome);
    return {};
}

std::optional<Servico> servicoDoNome(const QString& nome) {
    for (const NomeServico& s : kServicos)
        if (nome == QStringView(s.nome)) return s.servico;
    return std::nullopt;
}

} // namespace qel
