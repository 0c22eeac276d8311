#pragma once

// Where each request goes and how it is labelled: address, SOAP action, namespace (or the
// operation name of the municipal providers) and message version.

#include <QString>

namespace qel {

struct Endpoint {
    QString endereco;
    QString acao;
    QString namespace_;
    QString versao;
};

struct ChaveEndpoint {
    QString tipo{};       // "NFe", "NFCe", "CTe", "MDFe", "NFSe", "DOT"
    QString servico{};    // "Status", "Consultar", "Recepcao", ...
    QString cUF{};        // two-digit state code of the task
    QString tarefa{};     // the task name as written ("Manifestar" matters)
    QString ufConsulta{}; // state of a registry query
    QString municipio{};  // name of the NFS-e municipality
    QString ambiente{};   // "1" production, "2" homologation
};

// Published namespaces.
inline const QString kNsNFe = QStringLiteral("http://www.portalfiscal.inf.br/nfe");
inline const QString kNsCTe = QStringLiteral("http://www.portalfiscal.inf.br/cte");
inline const QString kNsMDFe = QStringLiteral("http://www.portalfiscal.inf.br/mdfe");
inline const QString kNsSoapPadrao = QStringLiteral("http://tempuri.org/");

// True with the record, or false with an empty one when the table has no entry or the entry
// has no address or namespace (for instance a host not configured for this environment).
bool Endereco_WebService(const ChaveEndpoint& chave, Endpoint& endpoint);

} // namespace qel
