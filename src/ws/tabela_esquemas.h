#pragma once

// The table of esquemas.conf: which official schema checks a request or document, by its root
// element, version and event type. The rows an installation puts in its schema folder come before
// the built-in ones.

#include <QList>
#include <QString>
#include <functional>

namespace qel {

struct LinhaEsquema {
    QString raiz;     // the root's name, or {namespace}name
    QString versao;   // "-" any
    QString tpEvento; // "-" none, "*" any
    QString esquema;  // relative to the schema folder
    QString detalhe;  // an event detail's schema ({elemento} its name); empty: none
    QString mostra;   // element from which paths are shown; empty: from the root
    // The schema's own namespace, for a provider whose messages travel in another one (its
    // service description's): the message is checked as if written in it. Empty: as it is.
    QString lidoComo;
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

// The first row that fits the document and whose schema is installed (`instalado`, given the
// row's file; unset: every file counts as installed). A row may so name a package an
// installation may lack (an event's own) before a more general one. When no fitting row's schema
// is installed, the first fitting row, so that the missing file is the one named.
using EsquemaInstalado = std::function<bool(const QString& arquivo)>;
EscolhaEsquema escolheEsquema(const QList<LinhaEsquema>& tabela, const DocumentoEsquema& documento,
                              const EsquemaInstalado& instalado = {});

} // namespace qel
