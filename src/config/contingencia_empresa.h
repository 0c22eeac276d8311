#pragma once

// The contingency setting of a company: the values the program takes, the choices the
// configuration window offers for them, and the rule on the justification that every send
// applies. The window and the task run both decide through these, so a setting the window
// accepts is one the run takes.

#include <QList>
#include <QString>

namespace qel {

enum class FormaContingencia {
    Nenhuma,
    SvcAn,   // tpEmis 6: the national environment's virtual authoriser
    SvcRs,   // tpEmis 7: SVRS's virtual authoriser
    Epec,    // tpEmis 4: prior registration event at the national environment
    Offline, // tpEmis 9: NFC-e issued and printed offline, sent later
};

// A contingency value as the settings file or the task gives it (any letter case, blanks
// around it); empty and "NORMAL" are normal emission.
struct ValorContingencia {
    FormaContingencia forma = FormaContingencia::Nenhuma;
    // "SVC": the virtual authoriser that the endpoint table names for the state of the run.
    bool svcDoEstado = false;
    bool reconhecido = true;
};
ValorContingencia leContingencia(const QString& valor);

// The choices of the configuration window, normal emission first (its value is empty).
struct OpcaoContingencia {
    QString valor;
    QString rotulo;
};
const QList<OpcaoContingencia>& opcoesContingencia();

// A justification the authority takes: 15 to 256 characters, blanks around it not counted
// (NF-e manual, ide group, xJust).
bool justificativaValida(const QString& justificativa);

// The refusal of a value that is no contingency form.
QString contingenciaNaoReconhecida(const QString& valor);
// The refusal of the justification of the contingency named; empty when it is valid.
QString recusaJustificativa(const QString& nome, const QString& justificativa);

// Why a company's contingency setting would be refused at a send; empty when it is normal
// emission, or a form with a valid justification.
QString recusaContingenciaEmpresa(const QString& valor, const QString& justificativa);

} // namespace qel
