#pragma once
// The product's tables in a test database, made from the same schema files that kestrane-admin uses.

#include "support/databases.h"

#include <QString>

namespace testsupport {

// Creates the product's tables in the database that connectionString names: schema/sqlite.sql for the
// embedded engine, schema/postgresql.sql for the server. Raises ado::Error when a statement fails.
void LoadProductSchema(const QString& connectionString);

// A new database of the given engine (dir and name are used for the embedded engine only) with the
// product's tables; returns its connection string.
QString NewProductDatabase(Engine engine, const QString& dir,
                           const QString& name = QStringLiteral("test.mdb"));

}  // namespace testsupport
