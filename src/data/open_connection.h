#pragma once
// Opening a connection with the program's time-outs, share mode, retries and the data-location fall-back.

#include "ado/connection.h"

#include <QString>

#include <cstdint>
#include <functional>

namespace data {

// The databases that AdoOpenConnection opens, each through its program-wide connection string.
enum class Database {
    Main,   // Settings().mainConnectionString
    Users,  // Settings().usersConnectionString
};

// Opens connection on database's connection string, shared for reading and writing or, when exclusive, for
// this connection alone. The string is read from the settings before each attempt, so that a location
// chosen in the data-location dialog is the next attempt's. True when it is open; false when it is not,
// after telling the user or, for the silent errors, without a word. Raises platform::EndProgram when the
// database file is still missing after a dialog that left no window loaded (its Cancel), and what the
// dialog raises.
[[nodiscard]] bool AdoOpenConnection(ado::Connection& connection, Database database, bool exclusive);

// The native number of the last entry of the connection's Errors collection (0 when empty); clears it.
// Never fails.
int32_t AdoLastNativeError(ado::Connection& connection);

// What AdoOpenConnection does when the embedded database file is missing: show the data-location dialog for
// dbFile (a bare file name) modally, which may rebuild the connection settings. Set by the program at
// start-up; until set (or after an empty function), the dialog's Cancel path runs: its message, then every
// window is unloaded.
void SetDataLocationDialog(std::function<void(const QString& dbFile)> showDialog);

}  // namespace data
