#pragma once

// Small text operations shared by the whole program: alignment and filling, document numbers
// and phone layouts, accent removal and the un-escaping of XML that came back inside a SOAP
// answer. Positions count characters from 1; "trimmed" means QString::trimmed.

#include <QString>

namespace qel {

// The text trimmed, then upper-cased character by character (the length never changes, so
// positions found in the upper-cased text are valid in the original).
QString Maiusculo(const QString& texto);

// The text padded on the right with blanks and cut to `largura` characters.
QString Alinha_Esquerda(const QString& texto, qsizetype largura);

// The trimmed text right-aligned in `largura` characters; a longer text loses its left part.
QString Alinha_Direita(const QString& texto, qsizetype largura);

// `texto` repeated `vezes` times (empty for vezes <= 0).
QString Repete(const QString& texto, qsizetype vezes);

// The text without ".", "-" and "/" (a formatted CNPJ or CPF back to its characters).
QString Limpa_Documento(const QString& texto);

// A CNPJ or CPF as requests, file names and searches carry it: its digits, and the letters
// (upper-cased) of an alphanumeric CNPJ; punctuation and blanks dropped.
QString CnpjSemPontuacao(const QString& texto);

// True for a CNPJ without punctuation: twelve digits or upper-case letters, then two check
// digits (the alphanumeric CNPJ keeps numeric check digits).
bool FormaDeCnpj(const QString& semPontuacao);

// The root of a company's CNPJ (its first eight characters without punctuation), which every
// certificate of the company names.
QString RaizCnpj(const QString& texto);

// The digits 0-9 of the trimmed text, in order; with flag "S" also ",", "-" and ".". With
// largura > 0 the result is left-padded with "0" and only its last `largura` characters remain.
QString Somente_Numeros(const QString& texto, const QString& flag = QString(), qsizetype largura = 0);

// True for an empty or blank text.
bool Vazio(const QString& texto);
// True for the number 0.
bool Vazio(double valor);

// Accented Latin-1 letters to their base letter; any other character outside 32-126 becomes one
// blank. The length never changes.
QString Remove_Acentos(const QString& texto);

// Turns an XML document that came back escaped inside a SOAP answer into plain XML text.
QString Desfaz_Entidades(const QString& texto);

// Each character's code as upper-case hexadecimal of at least two digits; empty for a blank text.
QString Texto_Hexa(const QString& texto);

// The text cut into two-character pieces from the left, pieces in reverse order.
QString Inverte_Pares(const QString& texto);

// A CNPJ laid out as "dd.ddd.ddd/dddd-dd" (alphanumeric CNPJs included) or, for any other count
// of characters, a CPF as "ddd.ddd.ddd-dd"; empty for a blank text.
QString Formata_CNPJ(const QString& texto);

// A phone number in the usual groups separated by blanks (0800/0300, local, with area code,
// with carrier code); an unknown length is returned without its blanks, brackets and hyphens.
QString Formata_Fone(const QString& texto);

// For the kind "DOCUMENTO": "CPF" for a number with fewer than 14 characters, else "CNPJ".
// Empty for any other kind.
QString Tipo_Documento(const QString& tipo, const QString& numero);

} // namespace qel
