// ISSNet (Novo Hamburgo): its ABRASF 1.00, one namespace per message and the types under the
// prefix "tc", as escaped text of the operation's "xml" parameter (the provider's ASMX).

#include "nfse/abrasf1.h"

using namespace Qt::StringLiterals;

namespace qel::nfse {

namespace {

const QString kVsd = u"http://www.issnetonline.com.br/webserviceabrasf/vsd/"_s;
const QString kNsIssnet = u"http://www.issnetonline.com.br/webservice/nfd"_s;

const DialetoAbrasf1& dialeto() {
    static const DialetoAbrasf1 d{kVsd + u"servico_enviar_lote_rps_envio.xsd"_s,
                                  kVsd + u"servico_consultar_nfse_rps_envio.xsd"_s,
                                  kVsd + u"servico_cancelar_nfse_envio.xsd"_s,
                                  kVsd + u"servico_consultar_lote_rps_envio.xsd"_s,
                                  kVsd + u"tipos_complexos.xsd"_s,
                                  u"tc"_s,
                                  true};
    return d;
}

class Issnet : public ProvedorAbrasf1 {
public:
    Issnet() : ProvedorAbrasf1(dialeto()) {}
    GrupoNfse grupo() const override { return GrupoNfse::Issnet; }
    // The endpoint's namespace slot holds the operation, or its whole action: the element is
    // named by the operation, the action's last segment.
    EnvelopeNfse envelope(Servico, const Endpoint& endpoint, const QString& corpo) const override {
        const QString operacao = endpoint.namespace_.section(u'/', -1);
        return {envelopeEscapado(operacao, kNsIssnet, corpo), false};
    }
};

} // namespace

const ProvedorNfse& provedorIssnet() {
    static const Issnet p;
    return p;
}

} // namespace qel::nfse
