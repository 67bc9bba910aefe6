#pragma once
// The product's tables, from the schema scripts built into kestrane-admin.

#include "ado/connection.h"

#include <QString>

namespace tools {

inline const QString kSqliteSchema = QStringLiteral(":/schema/sqlite.sql");
inline const QString kPostgresSchema = QStringLiteral(":/schema/postgresql.sql");

// Runs every statement of the script (a resource path) on connection, in order. Raises ado::Error at the
// first statement that fails, CommandFailed when the script is not built in.
void RunSchemaScript(ado::Connection& connection, const QString& script);

}  // namespace tools
