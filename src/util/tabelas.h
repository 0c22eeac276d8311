#pragma once

#include <QDate>
#include <QString>

namespace qel {

// "RS" -> "43" and "43" -> "RS" for the 27 units of the federation (IBGE codes). Exact
// comparison: anything else, "rs" included, gives an empty text.
QString Converte_UF(const QString& texto);

// Name of a municipality whose NFS-e the program handles; empty for any other code.
QString Nome_Municipio(const QString& codigo);

// Text of an NFS-e tax situation code (exigibility or nature of operation); empty when unknown.
QString Situacao_Tributaria_NFSe(const QString& codigo, const QString& municipio);

// Offset of local time for a state on a date, with the daylight-saving summers that Brazil
// still had up to February 2019.
QString Fuso_Horario(const QString& uf, const QDate& data);

} // namespace qel
