#pragma once
// Adding one row to a table, as the product's other programs add users, workstations and queue requests.

#include "ado/connection.h"
#include "ado/variant.h"

#include <QString>

#include <cstdint>
#include <utility>
#include <vector>

namespace tools {

// Inserts a row with the given fields into table (the others take their defaults) and returns the ID the
// database gave it. Raises ado::Error.
int32_t AddRow(ado::Connection& connection, const QString& table,
               const std::vector<std::pair<QString, ado::Variant>>& fields);

}  // namespace tools
