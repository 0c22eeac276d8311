#pragma once

// Small readings every flow that talks to the state authorities makes.

#include "util/codigos.h"
#include "util/situacao.h"

#include <QString>
#include <QStringList>

namespace qel {

// The kinds the state authorities' services handle.
inline bool ehSefaz(TipoDocumento tipo) {
    return tipo == TipoDocumento::NFe || tipo == TipoDocumento::NFCe || tipo == TipoDocumento::CTe ||
           tipo == TipoDocumento::MDFe;
}

// The last status code of an answer; empty when it has none (no answer, an HTTP failure).
inline QString cStatDe(const QString& resposta) {
    return resposta.contains(QStringLiteral("<cStat>")) ? Ultimo_cStat(resposta) : QString();
}

inline QString primeira(const QStringList& linhas) {
    return linhas.isEmpty() ? QString() : linhas.first();
}

} // namespace qel
