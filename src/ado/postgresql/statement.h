#pragma once
// Runs one translated statement on a link. Data statements run as prepared statements with their number
// literals as parameters. A query streams: the server keeps its rows in a cursor and hands them out a few
// hundred at a time, so a scan of any size never sits whole in memory, and other statements can run on the
// same connection while it is read. Queries that cannot return more than one chunk skip the cursor.

#include "ado/postgresql/link.h"
#include "ado/provider.h"

#include <QString>

#include <cstdint>
#include <memory>
#include <optional>

namespace ado::postgresql {

// Rows handed out per round trip by a streaming query.
inline constexpr int kChunkRows = 256;

// Runs a query (one statement, in the server's dialect) and returns its rows. written is the program's
// text, for errors. Raises ado::Error.
std::unique_ptr<provider::Cursor> RunQuery(const std::shared_ptr<Link>& link, const QString& sent,
                                           const QString& written);

// A data statement (in the server's dialect) as a prepared call with its number literals as parameters;
// nullopt for any other statement. written is the program's text, for errors.
std::optional<PreparedCall> PreparedCallFor(const QString& sent, const QString& written);

// Runs one statement (in the server's dialect) and returns the rows it affected. Raises ado::Error.
int64_t RunStatement(Link& link, const QString& sent, const QString& written);

// Runs a statement built by the provider, with values as its parameters, and returns the whole result.
// Raises ado::Error.
ResultPtr RunWithValues(Link& link, const QString& sql, const ParameterValues& values);

// The rows of a result that is already whole.
std::unique_ptr<provider::Cursor> CursorOver(ResultPtr result);

}  // namespace ado::postgresql
