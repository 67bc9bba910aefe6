#pragma once
// Opening a connection with the program's time-outs, share mode, retries and the data-location fall-back.

#include "ado/connection.h"

#include <QString>

#include <cstdint>
#include <functional>

namespace data {

// Opens connection with connectionString (the caller's own settings variable, so that a location chosen in
// the data-location dialog is seen by the next attempt). Returns true when it is open; false when it is not,
// after telling the user or, for the silent errors, without a word. Never raises.
bool AdoOpenConnection(ado::Connection& connection, QString& connectionString, bool& exclusive);

// The native number of the last entry of the connection's Errors collection (0 when empty); clears it.
int32_t AdoLastNativeError(ado::Connection& connection);

// What AdoOpenConnection does when the embedded database file is missing: show the data-location dialog for
// dbFile (a bare file name) modally. Set by the program at start-up; until set (or after an empty function),
// the dialog's Cancel path runs: its message, then every window is unloaded.
void SetDataLocationDialog(std::function<void(const QString& dbFile)> showDialog);

}  // namespace data
