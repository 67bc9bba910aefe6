#pragma once
// Values between the server's text format and Variant: the kind of each column type, a result cell as a
// Variant, and a Variant as a statement parameter.

#include "ado/provider.h"
#include "ado/variant.h"

#include <libpq-fe.h>

#include <QByteArray>

#include <optional>
#include <vector>

namespace ado::postgresql {

// The Variant kind that a column of the type reads as. Booleans are smallint 0/1 on the server, so smallint
// reads as Boolean. Types without a better match read as String.
Variant::Kind KindOfType(Oid type);

// The columns of a result, named as the server names them.
std::vector<provider::Column> ColumnsOf(const PGresult* result);

// The value of one cell (text format) as its column's kind; SQL NULL gives Null.
Variant ReadCell(const PGresult* result, int row, int column);

// Reads a whole row into row (resized to the column count).
void ReadRow(const PGresult* result, int rowIndex, std::vector<Variant>& row);

// A Variant as a text-format parameter; nullopt for Null and Empty. Booleans go as 1/0, which both smallint
// and boolean columns take; dates as local time.
std::optional<QByteArray> ParameterText(const Variant& value);

}  // namespace ado::postgresql
