// Thema (Lajeado, Montenegro, Santa Cruz do Sul): ABRASF 1.00 messages as escaped text of the
// operation's "xml" parameter (Axis2 services of the provider's WSDL).

#include "nfse/abrasf1.h"

using namespace Qt::StringLiterals;

namespace qel::nfse {

namespace {

const QString kNsThema = u"http://server.nfse.thema.inf.br"_s;

const DialetoAbrasf1& dialeto() {
    static const DialetoAbrasf1 d{kNsAbrasf1, kNsAbrasf1, kNsAbrasf1, kNsAbrasf1, {}, {}, false};
    return d;
}

class Thema : public ProvedorAbrasf1 {
public:
    Thema() : ProvedorAbrasf1(dialeto()) {}
    GrupoNfse grupo() const override { return GrupoNfse::Thema; }
    // The endpoint names the operation (recepcionarLoteRpsLimitado, consultarNfsePorRps,
    // consultarLoteRps, cancelarNfse).
    EnvelopeNfse envelope(Servico, const Endpoint& endpoint, const QString& corpo) const override {
        return {envelopeEscapado(endpoint.namespace_, kNsThema, corpo), false};
    }
};

} // namespace

const ProvedorNfse& provedorThema() {
    static const Thema p;
    return p;
}

} // namespace qel::nfse
