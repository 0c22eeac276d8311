#pragma once

// The municipalities whose NFS-e the program sends and the provider group of each: a table of
// data (municipios.conf), so a new municipality of a known group is a row, not code.

#include <QList>
#include <QString>

namespace qel {

enum class GrupoNfse {
    Nenhum,        // not a municipality of the table
    Tecnos,        // ABRASF 2 "Tecnos" layout, synchronous lot, one ASMX per operation
    Thema,         // ABRASF 1.00, escaped message in ISO-8859-1, Axis2 services
    Issnet,        // ISSNet's ABRASF 1.00 (one namespace per message)
    Curitiba,      // ABRASF 1.00 types as typed SOAP 1.2 elements
    Florianopolis, // the municipality's REST service: calls prepared, never sent
    Estrela,       // file exchange with the provider's program
    SemServico,    // known, without any service
};

struct MunicipioNfse {
    QString codigo; // IBGE code (or the provider's own)
    QString cUF;
    QString nome;
    GrupoNfse grupo = GrupoNfse::Nenhum;
};

// The municipality of the code; nullptr for a code outside the table.
const MunicipioNfse* municipioNfse(const QString& codigo);
const QList<MunicipioNfse>& municipiosNfse();

// The group of a code; Nenhum outside the table.
GrupoNfse grupoNfse(const QString& codigo);

// The municipality an NFS-e document names where the layouts name it (the service's
// CodigoMunicipio, the Tecnos IdCidade), when the table knows it; empty otherwise.
QString municipioDoDocumento(const QString& texto);

// Reads rows in the form of municipios.conf (tests and installations): the errors, one per line
// not understood ("origem:line: text").
QStringList leMunicipiosNfse(const QString& texto, const QString& origem, QList<MunicipioNfse>& destino);

} // namespace qel
