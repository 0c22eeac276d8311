#pragma once

// Where each request goes and how it is labelled: address, SOAP action, namespace (or the
// operation name of the municipal providers) and message version. The table is data
// (enderecos.conf and hosts.conf, with the installation's files read over them, and the NFC-e
// consultation pages of consulta_nfce.conf), so that a new state, authoriser or municipality is
// a row, not code.

#include "util/codigos.h"
#include "ws/rede.h"
#include "ws/servicos.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

namespace qel {

// How a request of the endpoint goes out: a SOAP post, or a call the program prepares but
// does not make (the "Qel-Post" and "Qel-Get" entries of providers without a SOAP service).
enum class Envio { Soap, QelPost, QelGet };

struct Endpoint {
    QString endereco;
    QString acao;
    QString namespace_;
    QString versao;
    Envio envio = Envio::Soap;
};

struct ChaveEndpoint {
    TipoDocumento tipo = TipoDocumento::Nenhum;
    Servico servico = Servico::Status;
    QString cUF;             // two-digit state code of the task
    bool manifestar = false; // the task "Manifestar": the recipient's event service
    QString ufConsulta;      // letters of the state of a registry query
    QString municipio;       // code of the NFS-e municipality
    Ambiente ambiente = Ambiente::Producao;
    // An NF-e of the virtual contingency authorisers: "SVC-AN" or "SVC-RS" (empty: the state's
    // own authoriser).
    QString svc;
    bool epec = false; // the prior registration event of an NF-e in EPEC, at the national environment
};

// Published namespaces.
inline const QString kNsNFe = QStringLiteral("http://www.portalfiscal.inf.br/nfe");
inline const QString kNsCTe = QStringLiteral("http://www.portalfiscal.inf.br/cte");
inline const QString kNsMDFe = QStringLiteral("http://www.portalfiscal.inf.br/mdfe");
inline const QString kNsSoapPadrao = QStringLiteral("http://tempuri.org/");

class TabelaEnderecos {
public:
    // The built-in tables, with the installation's files of the settings read over them and
    // its single host, when it has one.
    static TabelaEnderecos carrega(const ConfiguracaoRede& rede);

    // Reads rows in the form of enderecos.conf (consulta_nfce.conf's rows included) / hosts.conf;
    // later rows replace earlier ones.
    void leEnderecos(const QString& texto, const QString& origem);
    void leHosts(const QString& texto, const QString& origem);
    // host:port that takes every request (not the QR pages printed on the documents).
    void defineHostUnico(const QString& hostPorta) { hostUnico_ = hostPorta; }

    // True with the record; false with an empty one when the table has no entry or the entry
    // has no address or namespace (a host not configured for this environment, say).
    bool Endereco_WebService(const ChaveEndpoint& chave, Endpoint& endpoint) const;

    // The entry of a service in a group and key of the table itself (the contingency
    // authorisers: group "SVC-NFe", key the state's code or the SVC's name); as above.
    bool Endereco_Grupo(const QString& grupo, const QString& chave, Servico servico, Ambiente ambiente,
                        Endpoint& endpoint) const;

    // The host of a role in an environment; empty when the role has none there. Never the
    // production host for a homologation run.
    QString hostDoPapel(const QString& papel, Ambiente ambiente) const;

    // The virtual contingency authoriser ("SVC-AN" or "SVC-RS") that stands in for a state's
    // NF-e authoriser; empty when the table names none.
    QString svcDoEstado(const QString& cUF) const;

    // The consultation page that the QR code of a printed document points to; empty when none.
    QString enderecoQr(TipoDocumento tipo, const QString& cUF, Ambiente ambiente) const;
    // The state's address of the NFC-e consultation by access key (the document's `urlChave`);
    // empty when the table has none for the state.
    QString enderecoConsultaNfce(const QString& cUF, Ambiente ambiente) const;

    // Lines of the data files that were not understood ("file:line: text").
    const QStringList& erros() const { return erros_; }

private:
    struct Servico_ {
        QString esquema;
        int porta = 0;
        QString caminho;
        QString acao;
        QString namespace_;
        QString versao;
    };
    struct Atende {
        QString conjunto;
        QString papel;
    };
    std::optional<Endpoint> procura(const QString& grupo, const QString& chave, Servico servico,
                                    Ambiente ambiente, bool redireciona) const;

    QHash<QString, Servico_> servicos_;                        // "set|service"
    QHash<QString, QList<Atende>> atende_;                     // "group|key"
    QHash<QString, std::pair<QString, QString>> hosts_;        // role -> production, homologation
    QHash<QString, std::pair<QString, QString>> consultaNfce_; // "cUF|tpAmb" -> QR page, urlChave
    QString hostUnico_;
    QStringList erros_;
};

} // namespace qel
