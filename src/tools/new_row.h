#pragma once
// Adding one row to a table, as the product's other programs add users, workstations and queue requests.

#include "ado/connection.h"
#include "ado/variant.h"
#include "tools/database.h"

#include <QString>

#include <cstdint>
#include <utility>
#include <vector>

namespace tools {

using FieldValues = std::vector<std::pair<QString, ado::Variant>>;

// Inserts a row with the given fields into table (the others take their defaults) and returns the ID the
// database gave it. Raises ado::Error; nothing is written when it does.
int32_t AddRow(ado::Connection& connection, const QString& table, const FieldValues& fields);

// A row that a name identifies: a user, a workstation.
struct NamedRow {
    QString table;      // "[Application User List]"
    QString nameField;  // "User Name"
    QString what;       // "user", for messages
};

// Adds a row of kind whose name field is name, with the other fields given, to the open database, waiting out
// locks; returns its ID. Raises CommandFailed (kExitRefused) when a row of that name exists and
// allowDuplicate is false, or as Database::Write does.
int32_t AddNamedRow(Database& database, const NamedRow& kind, const QString& name, FieldValues otherFields,
                    bool allowDuplicate, const LockWait& wait);

}  // namespace tools
