#pragma once

// The official schema check of what is about to be sent: the schema is chosen by the document's
// root element, version and event type (esquemas.conf), read from the installation's schema
// folder and compiled once per run. A document the authority would refuse for its layout
// (rejection 225, "Falha no Schema XML") is stopped here with readable lines instead.

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

namespace qel {

// One fault the validator found: where (element path without namespace prefixes, "det[3]" when
// an element has siblings of its name) and what was expected, in the user's language.
struct FalhaEsquema {
    QString caminho;
    QString texto;

    // "Esquema: /NFe/infNFe/emit/xNome: o valor tem 70 caracteres; o máximo é 60"
    QString linha() const;
};

struct ResultadoEsquema {
    enum Situacao {
        SemEsquema,  // a kind the table does not cover (NFS-e, NDD Cargo): nothing to say
        NaoValidado, // the kind is covered, but its schema could not be used: see motivo
        Valido,
        Invalido,
    };
    Situacao situacao = SemEsquema;
    QString esquema; // the schema file used or missing
    QString motivo;  // why it was not validated
    QList<FalhaEsquema> falhas;

    QStringList linhas() const;
};

// $QEL_DFE_ESQUEMAS, or qel-dfe/esquemas in the user's data folder (beside the certificate store).
QString pastaEsquemas();

// Validates the text that will be sent (UTF-8, without declaration or with one) against the
// schema of its kind in the folder.
ResultadoEsquema validaEsquemaOficial(const QByteArray& xml, const QString& pasta);

// Validates a text against one schema file: Valido, Invalido with the faults, or NaoValidado when
// the schema cannot be read. mostraDe: the element from which paths are shown.
ResultadoEsquema validaContraArquivo(const QByteArray& xml, const QString& arquivoXsd,
                                     const QString& mostraDe = {});

} // namespace qel
