#pragma once

// The event documents a company registers against its documents (cancellation, closing of an
// MDF-e, correction letter, a recipient's manifestation) in the layout of each kind, checked
// before anything is sent; the event proc; and the event procs an authority's answer holds.

#include "util/codigos.h"

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <optional>

namespace qel {

enum class TipoEvento {
    Cancelamento,  // 110111
    Encerramento,  // 110112, MDF-e
    CartaCorrecao, // 110110
    Manifestacao,  // 210200, 210210, 210220, 210240 (NF-e recipient), 610110 (CT-e)
};

struct PedidoEvento {
    TipoEvento evento = TipoEvento::Cancelamento;
    TipoDocumento tipo = TipoDocumento::Nenhum; // NFe or NFCe, CTe, MDFe
    QString codigo;                             // tpEvento
    int sequencia = 1;
    QString chave;
    QString cnpj; // of the author; 11 digits are a CPF
    QString cOrgao;
    Ambiente ambiente = Ambiente::Producao;
    QString dhEvento; // the state's local time with its offset
    QString protocolo;
    QString justificativa;
    QStringList correcoes;
    QString condicaoUso;
    QString ufEncerramento;   // IBGE code of the state of unloading
    QString munEncerramento;  // IBGE code of the municipality of unloading
    QString dataEncerramento; // yyyy-MM-dd
};

struct DocumentoEvento {
    QString xml;    // the unsigned event, without declaration
    QString recusa; // why it cannot be sent; then there is no xml
};

DocumentoEvento montaEvento(const PedidoEvento& pedido);

// tpEvento of an event kind; for a manifestation the task's own code.
QString codigoEvento(TipoEvento evento, const QString& codigoManifestacao);
// Highest sequence the layout of the kind takes (NF-e 20, CT-e 999, MDF-e 99).
int sequenciaMaxima(TipoDocumento tipo);
// "con", "cie", "des", "nao", "dso" for a manifestation code; empty for another one.
QString sufixoManifestacao(const QString& codigo);

// Local time of a state for an instant: "2024-05-10T14:03:07-03:00".
QString dataHoraDoEstado(const QDateTime& instante, const QString& uf);

// The event proc: the signed event and the whole answer element of its registration (retEvento,
// retEventoCTe, retEventoMDFe). Nothing when the answer holds none.
std::optional<QString> montaProcEvento(TipoDocumento tipo, const QString& eventoAssinado,
                                       const QString& resposta);

// Every event proc (procEventoNFe, procEventoCTe, procEventoMDFe) in an answer, byte for byte as
// the authority wrote it, the kind's namespace declared on its root, each a file of its own with
// the declaration in front.
QStringList procsEventoDaResposta(TipoDocumento tipo, const QString& resposta);

} // namespace qel
