#pragma once

// The authorised document ("proc"): the signed document followed by its authorisation protocol,
// in the official form of its kind.

#include "util/codigos.h"

#include <QString>
#include <optional>

namespace qel {

// The protocol element of the kind in an answer, from "<protNFe" (protCTe, protMDFe) through its
// closing tag; empty when the answer holds none.
QString protocoloDaResposta(TipoDocumento tipo, const QString& resposta);

// The status code inside a protocol; empty when it has none.
QString situacaoDoProtocolo(const QString& protocolo);

// True when the protocol was given to this very document: its digest value is the one the
// document's signature carries. A protocol without digVal, or a document without one, is not
// told apart (true).
bool protocoloDoDocumento(const QString& protocolo, const QString& documento);

// nfeProc (NF-e, NFC-e), cteProc or cteProcSimp (CT-e), mdfeProc (MDF-e): the start tag with the
// kind's namespace and the document's version only (namespaces beyond it would be in scope of the
// signed elements and change their canonical form), the document, the protocol with the kind's
// namespace declared once, as its first attribute. Nothing when the answer holds no protocol: a
// proc is never assembled without one.
std::optional<QString> montaProc(TipoDocumento tipo, bool simplificado, const QString& documento,
                                 const QString& resposta);

} // namespace qel
