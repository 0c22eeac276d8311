#pragma once

// The procs: a signed document (an authorised document, an event, an inutilização) followed by
// the authority's answer, in the official form of its kind; and the reading of answer elements.

#include "util/codigos.h"

#include <QString>
#include <optional>

namespace qel {

// The first whole element of the name in a text from a position on: from "<name" followed by a
// blank or ">" (never a longer name) through its closing tag; empty when there is none. *fim,
// when given, receives the position just after it.
QString elementoCompleto(const QString& texto, const QString& nome, qsizetype desde = 0,
                         qsizetype* fim = nullptr);

// The element with its start tag rewritten: the namespace first and once, whatever the service
// sent (before or after versao, or none). Declaring the namespace it was in scope of changes
// nothing in the canonical form of its signed parts.
QString comNamespace(const QString& elemento, const QString& nome, const QString& ns);

// The namespace of the documents of a kind (NF-e and NFC-e share one).
QString namespaceDoTipo(TipoDocumento tipo);

// The packed text of the first docZip of a distribution answer; empty when there is none.
QString primeiroDocZip(const QString& resposta);

// The value of the first element of the name (its text between the tags); empty when absent.
QString valorElemento(const QString& texto, const QString& nome);

// The version a signed document declares first ("versao" of its root or info element).
QString versaoDe(const QString& documento);

// The XML declaration every stored file begins with.
inline constexpr char16_t kDeclaracaoXml[] = u"<?xml version=\"1.0\" encoding=\"UTF-8\"?>";

// The protocol element of the kind in an answer, from "<protNFe" (protCTe, protMDFe) through its
// closing tag; empty when the answer holds none.
QString protocoloDaResposta(TipoDocumento tipo, const QString& resposta);

// The access key a protocol names (chNFe, chCTe or chMDFe of its infProt); empty when none.
QString chaveDoProtocolo(const QString& protocolo);

// True when the protocol names the key of the signed document (the Id of its infNFe, infCte or
// infMDFe). A protocol of another key, or of none, is never this document's.
bool protocoloDaChave(const QString& protocolo, const QString& documento);

// The status code inside a protocol; empty when it has none.
QString situacaoDoProtocolo(const QString& protocolo);

// True when the protocol was given to this very document: its digest value is the one the
// document's signature carries. A protocol without digVal, or a document without one, is not
// told apart (true).
bool protocoloDoDocumento(const QString& protocolo, const QString& documento);

// A proc of any kind: the declaration, the root with the kind's namespace and the document's
// version only (namespaces beyond it would be in scope of the signed elements and change their
// canonical form), the signed document, the answer element with the kind's namespace declared
// once, as its first attribute.
QString montaRaiz(const QString& raiz, TipoDocumento tipo, const QString& documento, const QString& resposta,
                  const QString& nomeResposta);

// nfeProc (NF-e, NFC-e), cteProc or cteProcSimp (CT-e), mdfeProc (MDF-e): the start tag with the
// kind's namespace and the document's version only (namespaces beyond it would be in scope of the
// signed elements and change their canonical form), the document, the protocol with the kind's
// namespace declared once, as its first attribute. Nothing when the answer holds no protocol, or
// one of another key: a proc is never assembled without the document's own protocol.
std::optional<QString> montaProc(TipoDocumento tipo, bool simplificado, const QString& documento,
                                 const QString& resposta);

} // namespace qel
