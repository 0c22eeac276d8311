#pragma once

// The ABRASF 1.00 requests, which Thema, ISSNet and Curitiba speak each with its own namespaces
// and prefixes: the lot signed on LoteRps, the consultations by RPS and by the lot's protocol, the
// cancellation signed on InfPedidoCancelamento.

#include "nfse/provedor.h"

namespace qel::nfse {

struct DialetoAbrasf1 {
    QString nsEnvio;        // namespace of EnviarLoteRpsEnvio
    QString nsConsulta;     // of ConsultarNfseRpsEnvio
    QString nsCancelamento; // of CancelarNfseEnvio
    QString nsConsultaLote; // of ConsultarLoteRpsEnvio
    // The types' namespace and prefix when the provider keeps them apart (ISSNet: "tc"); empty:
    // the types are in the message's own namespace, without prefix.
    QString nsTipos;
    QString prefixoTipos;
    bool cpfCnpj = false; // the CNPJ inside CpfCnpj (lot and provider), as ISSNet writes it
};

CorpoNfse recepcaoAbrasf1(const DialetoAbrasf1& d, const DadosNfse& dados, const AssinadorNfse& assina);
CorpoNfse consultaAbrasf1(const DialetoAbrasf1& d, const DadosNfse& dados);
CorpoNfse consultaLoteAbrasf1(const DialetoAbrasf1& d, const DadosNfse& dados);
CorpoNfse cancelamentoAbrasf1(const DialetoAbrasf1& d, const DadosNfse& dados, const AssinadorNfse& assina);

// A provider of the ABRASF 1.00 requests in its own dialect; only its envelope is its own.
class ProvedorAbrasf1 : public ProvedorNfse {
public:
    explicit ProvedorAbrasf1(const DialetoAbrasf1& dialeto) : dialeto_(dialeto) {}
    CorpoNfse recepcao(const DadosNfse& dados, const AssinadorNfse& assina) const override {
        return recepcaoAbrasf1(dialeto_, dados, assina);
    }
    CorpoNfse consulta(const DadosNfse& dados) const override { return consultaAbrasf1(dialeto_, dados); }
    CorpoNfse cancelamento(const DadosNfse& dados, const AssinadorNfse& assina) const override {
        return cancelamentoAbrasf1(dialeto_, dados, assina);
    }
    // The lot is received with a protocol and processed later.
    bool consultaLotes() const override { return true; }
    CorpoNfse consultaLote(const DadosNfse& dados) const override {
        return consultaLoteAbrasf1(dialeto_, dados);
    }

private:
    const DialetoAbrasf1& dialeto_;
};

// The escaped form Thema and ISSNet take: the body as text of an "xml" element inside the
// operation element, after an ISO-8859-1 declaration of its own.
QString envelopeEscapado(const QString& operacao, const QString& ns, const QString& corpo);

// The lot number of the ABRASF 1.00 lot: the digits at the end of the document's name (its last
// ten characters), else the task's, else 1.
QString numeroLoteAbrasf1(const DadosNfse& dados);

} // namespace qel::nfse
