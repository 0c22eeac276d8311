#pragma once

// Validation of a document against an official XSD, through the program's own validator: empty
// when valid, otherwise its readable lines (or why the schema could not be used).

#include "ws/validacao_esquema.h"

#include <QByteArray>
#include <QString>

namespace teste {

inline QString validaEsquema(const QByteArray& xml, const QString& xsd) {
    const qel::ResultadoEsquema r = qel::validaContraArquivo(xml, xsd);
    switch (r.situacao) {
    case qel::ResultadoEsquema::Valido:
        return {};
    case qel::ResultadoEsquema::Invalido:
        return r.linhas().join(u'\n');
    default:
        return QStringLiteral("schema not usable: ") + r.motivo;
    }
}

} // namespace teste
