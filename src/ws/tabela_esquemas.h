#pragma once

// The table of esquemas.conf: which official schema checks a request or document, by its root
// element, version and event type. The rows an installation puts in its schema folder come before
// the built-in ones.

#include <QList>
#include <QString>

namespace qel {

struct LinhaEsquema {
    QString raiz;     // the root's name, or {namespace}name
    QString versao;   // "-" any
    QString tpEvento; // "-" none, "*" any
    QString esquema;  // relative to the schema folder
    QString detalhe;  // an event detail's schema ({elemento} its name); empty: none
    QString mostra;   // element from which paths are shown; empty: from the root
};

struct DocumentoEsquema {
    QString raiz;
    QString namespace_;
    QString versao;
    QString tpEvento;
};

struct EscolhaEsquema {
    const LinhaEsquema* linha = nullptr; // null: no row for this version or event
    bool raizConhecida = false;          // some row names the root
};

// The rows for a schema folder, read once per run.
const QList<LinhaEsquema>& tabelaEsquemas(const QString& pasta);

// The first row that fits the document.
EscolhaEsquema escolheEsquema(const QList<LinhaEsquema>& tabela, const DocumentoEsquema& documento);

} // namespace qel
