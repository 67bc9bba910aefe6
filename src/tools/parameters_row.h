#pragma once
// The program's parameters: the row of [Parameters] with ID 1, which holds the rebuild schedule.

#include "ado/connection.h"
#include "ado/recordset.h"

#include <memory>

namespace tools {

// Opens the row of [Parameters] with ID 1 for update; when there is none, begins a new row with ID 1 that the
// caller's Update inserts. Raises ado::Error.
std::unique_ptr<ado::Recordset> OpenParametersRow(ado::Connection& connection);

}  // namespace tools
