#pragma once

// The authorisation of a document by the tax authority, from the send to the archive; also what
// settles the documents the send journal still holds.

#include "flows/contingencia.h"
#include "flows/diario_envio.h"
#include "flows/fluxo.h"
#include "tarefa/contexto.h"

#include <QString>

namespace qel {

class Operacoes;

class Autorizacao {
public:
    explicit Autorizacao(Operacoes& op);

    // RECEPCAO of the document of the intake.
    Passo executa();

    // A journal entry of another document of the company: the authority is asked; an
    // authorised or denied document is archived, one the authority never received is sent
    // again as it was signed, a rejected one leaves the journal. Nothing is printed or mailed,
    // but for a contingency document's kept e-mail request (no run of its own will mail it).
    void resolve(const Pendente& pendente);
    // The last entry resolved came to a final outcome.
    bool resolvido() const { return resolvido_; }

    // A contingency document of the journal that has not gone out yet is sent as it was signed;
    // authorised → its proc stored, its entry closed, and mailed when the caller asked for it;
    // rejected → the entry closed, the signed copy (and e-mail request) left in the contingency
    // folder; otherwise it stays for a later run.
    enum class Transmissao { Autorizada, Recusada, SemResultado };
    Transmissao transmite(const Pendente& pendente, QString& motivo);

private:
    enum Tipo {
        NaoEnviado,   // stopped before anything left
        Desconhecido, // no answer, or no final one: the journal keeps the document
        NaoConsta,    // the authority does not know the key: it never arrived
        Rejeitado,    // the authority refused the document
        Divergente,   // the authority holds another document under this key
        Denegado,     // authorised with its use denied: archived, not mailed
        Autorizado,
    };
    struct Resultado {
        Tipo tipo;
        QString situacao; // the code that decided
        QString resposta; // the answer that holds the protocol
        QString motivo;   // why the outcome is unknown
    };

    Resultado envia(bool reenvio);
    // The journal entry of this run's document, signed and about to leave (or to wait).
    Pendente entradaDoDiario(const QString& chave, const QString& arquivo, const QString& assinado) const;
    Resultado consulta(const QString& chave);
    Resultado decide(const QString& situacao, const QString& resposta, bool podeConsultar);
    bool armazena(const Resultado& r);
    void entrega(const Resultado& r);
    void pendente(const Resultado& r);
    bool simplificado() const;
    std::optional<Passo> entraEmContingencia(const Contingencia& contingencia);
    Passo guardaContingencia(const Contingencia& contingencia);
    Passo emiteEpec(const Contingencia& contingencia);
    // The caller's e-mail request copied, as written and private, beside the document kept in
    // contingency. False when it could not be written.
    bool guardaPedidoEmail(const QString& doChamador, const QString& guardado);
    // A contingency document's kept e-mail request once its proc is stored (LbXML, ArquivoDocumento):
    // authorised, the proc and its PDF are mailed as an authorisation mails them; then, and for a
    // document whose use was denied, the request goes.
    void entregaPedidoGuardado(const QString& pedido, bool autorizado);

    Operacoes& op_;
    ContextoExecucao& ctx_;
    DiarioEnvio diario_;
    bool resolvido_ = false;
    // The contingency form the journal entries of the documents sent now are marked with.
    QString contingencia_;
    // The last answer read, as the authority wrote it: the protocol is stored from it.
    QString original_;
};

// Settles every entry of the run's company in the send journal but the one of the given key.
// A run that does not draw leaves the contingency documents that wait to be mailed (their PDF
// goes with the message) to one that does.
void resolvePendentes(Operacoes& op, const QString& excetoChave, bool desenha);

} // namespace qel
