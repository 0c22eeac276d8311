#pragma once

// Small pieces the provider units write their requests with.

#include <QString>

namespace qel::nfse {

// Text made safe to stand as an element value or attribute.
QString escapa(const QString& valor);
// "<prefixo:nome>valor</prefixo:nome>", the value escaped.
QString el(const QString& nome, const QString& valor);

// The text of the first element of the local name (with any prefix) through its closing tag, up
// to the last such element when ate_ultimo; empty when there is none. Used to take the RPS out of
// a caller's document byte for byte.
QString recorta(const QString& texto, const QString& nomeLocal, bool ateUltimo = false);
// The prefix ("tc:" or "") of the first start tag of the local name; empty when absent.
QString prefixoDe(const QString& texto, const QString& nomeLocal);

// The value of an attribute (Id or id) of the first start tag of the local name.
QString atributoId(const QString& texto, const QString& nomeLocal);

// The digits of a text read as a whole number, without leading zeros; empty when it has none.
QString numeroInteiro(const QString& texto);

// A text for a CDATA section: a "]]>" inside is split across two sections.
QString cdata(const QString& texto);

} // namespace qel::nfse
