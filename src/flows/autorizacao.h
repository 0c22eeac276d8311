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
    // again as it was signed, a rejected one leaves the journal. Nothing is printed or mailed.
    void resolve(const Pendente& pendente);
    // The last entry resolved came to a final outcome.
    bool resolvido() const { return resolvido_; }

    // A contingency document of the journal that has not gone out yet is sent as it was signed;
    // authorised → its proc stored and its entry closed; rejected → the entry closed, the
    // signed copy left in the contingency folder; otherwise it stays for a later run.
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
void resolvePendentes(Operacoes& op, const QString& excetoChave);

} // namespace qel
