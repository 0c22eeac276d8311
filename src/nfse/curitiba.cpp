// Curitiba: ABRASF 1.00 types as typed elements of a SOAP 1.2 operation (the city's ASMX). The
// messages are in the namespace of the service description, which the operation element declares;
// the message declares it too, so its signature is computed as the service reads it.

#include "nfse/abrasf1.h"

using namespace Qt::StringLiterals;

namespace qel::nfse {

namespace {

const QString kNsCuritiba = u"http://www.e-governeapps2.com.br/"_s;

const DialetoAbrasf1& dialeto() {
    static const DialetoAbrasf1 d{kNsCuritiba, kNsCuritiba, kNsCuritiba, kNsCuritiba, {}, {}, false};
    return d;
}

class Curitiba : public ProvedorAbrasf1 {
public:
    Curitiba() : ProvedorAbrasf1(dialeto()) {}
    GrupoNfse grupo() const override { return GrupoNfse::Curitiba; }
    // Each service has its own operation element (RecepcionarLoteRps, ConsultarNfsePorRps,
    // ConsultarLoteRps, CancelarNfse: the action's last segment).
    EnvelopeNfse envelope(Servico, const Endpoint& endpoint, const QString& corpo) const override {
        const QString operacao = endpoint.acao.section(u'/', -1);
        return {u"<?xml version=\"1.0\" encoding=\"utf-8\"?><soap12:Envelope "
                "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
                "xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\" "
                "xmlns:soap12=\"http://www.w3.org/2003/05/soap-envelope\"><soap12:Body><"_s +
                    operacao + u" xmlns=\""_s + kNsCuritiba + u"\">"_s + corpo + u"</"_s + operacao +
                    u"></soap12:Body></soap12:Envelope>"_s,
                true};
    }
};

} // namespace

const ProvedorNfse& provedorCuritiba() {
    static const Curitiba p;
    return p;
}

} // namespace qel::nfse
