// Florianópolis: the municipality's NFPS-e REST service (token, notes, cancellation). Its calls
// are prepared and signed, never sent: the endpoint table marks them "Qel-Post" and "Qel-Get".

#include "nfse/provedor.h"

using namespace Qt::StringLiterals;

namespace qel::nfse {

namespace {

class Florianopolis : public ProvedorNfse {
public:
    GrupoNfse grupo() const override { return GrupoNfse::Florianopolis; }

    CorpoNfse recepcao(const DadosNfse& dados, const AssinadorNfse& assina) const override {
        CorpoNfse c;
        // The processing request is signed as the signing table knows it.
        const LocalAssinatura local = localAssinatura(dados.documento, dados.chave, dados.codigoMunicipio);
        if (!local.reconhecido) {
            c.recusa = u"O documento não é uma NFPS-e de Florianópolis (xmlProcessamentoNfpse)."_s;
            return c;
        }
        const std::optional<QString> assinado = assina(dados.documento, local);
        if (!assinado) {
            c.recusa = u"Erro durante a assinatura."_s;
            return c;
        }
        c.texto = *assinado;
        return c;
    }
    CorpoNfse consulta(const DadosNfse&) const override { return semChamada(); }
    CorpoNfse cancelamento(const DadosNfse&, const AssinadorNfse&) const override { return semChamada(); }
    EnvelopeNfse envelope(Servico, const Endpoint&, const QString&) const override { return {}; }

private:
    static CorpoNfse semChamada() {
        CorpoNfse c;
        c.recusa = u"O serviço da NFPS-e de Florianópolis não é chamado por esta versão."_s;
        return c;
    }
};

} // namespace

const ProvedorNfse& provedorFlorianopolis() {
    static const Florianopolis p;
    return p;
}

} // namespace qel::nfse
