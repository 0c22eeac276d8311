#pragma once

// The prior registration event of an NF-e issued in EPEC contingency (tpEmis 4): event 110140
// at the national environment, made from the document itself.

#include "util/codigos.h"

#include <QString>

namespace qel {

struct EventoEpec {
    QString xml;    // the unsigned event, without declaration
    QString recusa; // why it cannot be made; then there is no xml
};

// The event of the document (already in tpEmis 4, under its key), with the run's environment and
// the event's time (the state's local time with its offset).
EventoEpec montaEventoEpec(const QString& documento, const QString& chave, const QString& cnpj,
                           Ambiente ambiente, const QString& dhEvento);

} // namespace qel
