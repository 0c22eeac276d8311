#pragma once

// A small tree of an XML text, read by local names: for the answers of services that do not
// agree on namespaces and prefixes, and for documents whose elements are found by name wherever
// they stand. A text that is itself an XML document (the escaped message inside a SOAP answer)
// can be read as a child of the element that carries it.

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

namespace qel {

struct NoXml {
    QString nome;      // local name
    QString ns;        // namespace URI
    QString texto;     // the element's own text (its children's left out), as written less escapes
    QHash<QString, QString> atributos; // by local name
    QList<NoXml> filhos;
    // For the root of a document read out of an element's text: that text, as it came.
    QString original;

    // The first child element of the local name; nullptr when there is none.
    const NoXml* filho(QStringView nome) const;
    // The first element of the local name below this one, in document order (this one excluded).
    const NoXml* busca(QStringView nome) const;
    // Every element of the local name below this one, in document order.
    QList<const NoXml*> todos(QStringView nome) const;
    // The trimmed text at the end of a path of child names ("IdentificacaoRps/Numero"); the first
    // step may stand anywhere below this element. Empty when the path is absent.
    QString valor(QStringView caminho) const;
    // The element written back as XML: its namespace declared where it differs from the
    // parent's, attributes and text escaped. The original text, when it has one.
    QString xml(const QString& nsPai = QString()) const;
};

struct LeituraXml {
    std::optional<NoXml> raiz; // nothing when the text holds no element at all
    QString erro;              // the reader's complaint; what was read before it stays
};

// Reads the first element of the text (an XML declaration and a byte-order mark are passed
// over; a DTD stops the reading). With desdobra, an element whose whole text is an XML document
// gets that document's root element as its last child.
LeituraXml leArvoreXml(const QString& texto, bool desdobra = false);

} // namespace qel
