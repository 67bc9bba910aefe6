#pragma once
// The product's tables in a test database, made from the same schema files that kestrane-admin uses.

#include "support/databases.h"

#include <QString>

namespace testsupport {

// A new database of the given engine (dir and name are used for the embedded engine only) with the product's
// tables (schema/sqlite.sql or schema/postgresql.sql); returns its connection string. Raises ado::Error when
// a statement fails.
QString NewProductDatabase(Engine engine, const QString& dir,
                           const QString& name = QStringLiteral("test.mdb"));

}  // namespace testsupport
