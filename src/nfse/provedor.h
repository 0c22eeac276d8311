#pragma once

// One interface for every NFS-e provider group: the bodies of the reception, the consultation
// by RPS (and by the lot's protocol) and the cancellation, and the SOAP envelope each provider wants. One
// unit per group (tecnos.cpp, thema.cpp, issnet.cpp, curitiba.cpp, florianopolis.cpp, estrela.cpp,
// sem_servico.cpp); provedorNfse() picks the unit of a municipality's group.

#include "nfse/municipios.h"
#include "sign/assinatura.h"
#include "ws/enderecos.h"
#include "ws/servicos.h"

#include <QString>
#include <functional>
#include <optional>

namespace qel {

// Published namespaces of the municipal layouts.
inline const QString kNsAbrasf1 = QStringLiteral("http://www.abrasf.org.br/ABRASF/arquivos/nfse.xsd");
inline const QString kNsAbrasf2 = QStringLiteral("http://www.abrasf.org.br/nfse.xsd");

struct IdentificacaoRps {
    QString numero;
    QString serie;
    QString tipo;
};

// What the requests are made of; each builder takes what its service needs.
struct DadosNfse {
    QString documento;          // reception: the caller's document, lines trimmed and joined
    QString cnpj;               // the company (digits, and the letters of an alphanumeric CNPJ)
    QString inscricaoMunicipal; // the company's municipal registration
    QString razaoSocial;        // the company's name
    QString codigoMunicipio;    // IBGE code of the municipality
    QString nomeBase;           // the caller's document file without its extension
    QString numeroLote;         // the task's SEQUENCIA EVENTO, read as the lot number
    QString chave;              // the run's CHAVE
    IdentificacaoRps rps;       // consultation: the RPS of the lot sent
    QString protocolo;          // lot consultation: the protocol the provider gave the lot
    QString numeroNfse;         // cancellation: the NFS-e's number
    QString codigoCancelamento; // cancellation: the ABRASF code of the reason ("1" when blank)
    QString motivo;             // cancellation: the task's justification
};

struct CorpoNfse {
    QString texto;  // the body, signed where the provider wants it signed
    QString chave;  // reception: the RPS identifier, the run's CHAVE from now on
    QString recusa; // why the request cannot be made; nothing is sent
};

// Signs a text with the signature at the place given; nothing when it failed (the user was told).
using AssinadorNfse =
    std::function<std::optional<QString>(const QString& texto, const LocalAssinatura& local)>;

struct EnvelopeNfse {
    QString texto;
    bool soap12 = false; // a SOAP 1.2 envelope goes with its own content type
};

class ProvedorNfse {
public:
    virtual ~ProvedorNfse() = default;
    virtual GrupoNfse grupo() const = 0;

    virtual CorpoNfse recepcao(const DadosNfse& dados, const AssinadorNfse& assina) const = 0;
    virtual CorpoNfse consulta(const DadosNfse& dados) const = 0;
    virtual CorpoNfse cancelamento(const DadosNfse& dados, const AssinadorNfse& assina) const = 0;
    // The result of a lot the provider processes later, asked for by its protocol; only a
    // provider that answers the lot with a protocol alone has it.
    virtual bool consultaLotes() const { return false; }
    virtual CorpoNfse consultaLote(const DadosNfse& dados) const;
    // The envelope of a body for the service of the endpoint; empty when the provider has none.
    virtual EnvelopeNfse envelope(Servico servico, const Endpoint& endpoint, const QString& corpo) const = 0;

    // Whether the year and month of the key come from the NFS-e's emission (a synchronous
    // provider, whose lot answer is the NFS-e itself) rather than from the lot's reception.
    virtual bool periodoDaEmissao() const { return false; }
    // The RPS number the key carries, from the lot sent and the caller's document name.
    virtual QString numeroRpsDaChave(const QString& loteEnviado, const QString& nomeBase,
                                     const QString& chave) const;
};

// The unit of a group; nullptr for Nenhum.
const ProvedorNfse* provedorNfse(GrupoNfse grupo);

// The identification of the first RPS of a lot or document (Numero, Serie, Tipo by local name).
IdentificacaoRps rpsDoDocumento(const QString& texto);

} // namespace qel
