#pragma once
// The Jet provider's errors: SQLite result codes turned into the HRESULTs and native numbers ADO raised.

#include "ado/error.h"

#include <QString>

struct sqlite3;

namespace ado::sqlite {

inline constexpr int kBusyTimeoutMs = 100;  // how long one attempt waits for another connection's lock

// The error for result code rc on db (whose message sqlite3_errmsg still holds), carrying statement.
Error EngineError(sqlite3* db, int rc, const QString& statement);
// The error for a file that does not exist.
Error FileNotFound(const QString& file);
// The error for a file that is not a database.
Error NotADatabase(const QString& file);
// The error for a write to a database whose file, or the folder that holds it, cannot be written; path names
// the one that cannot.
Error ReadOnly(const QString& path);

}  // namespace ado::sqlite
