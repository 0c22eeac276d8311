// Imigrante: a municipality the program knows, whose NFS-e has no service (the endpoint table
// has no entry, so every call ends as a failed exchange before any body is built).

#include "nfse/provedor.h"

using namespace Qt::StringLiterals;

namespace qel::nfse {

namespace {

class SemServico : public ProvedorNfse {
public:
    GrupoNfse grupo() const override { return GrupoNfse::SemServico; }
    CorpoNfse recepcao(const DadosNfse&, const AssinadorNfse&) const override { return nada(); }
    CorpoNfse consulta(const DadosNfse&) const override { return nada(); }
    CorpoNfse cancelamento(const DadosNfse&, const AssinadorNfse&) const override { return nada(); }
    EnvelopeNfse envelope(Servico, const Endpoint&, const QString&) const override { return {}; }

private:
    static CorpoNfse nada() {
        CorpoNfse c;
        c.recusa = u"O município não tem serviço de NFS-e."_s;
        return c;
    }
};

} // namespace

const ProvedorNfse& provedorSemServico() {
    static const SemServico p;
    return p;
}

} // namespace qel::nfse
