#pragma once
// The product's activity log: one row per event, in the users database.

#include <QString>

namespace activitylog {

// Waits one second, then appends a row with notes, the current user and workstation, the time and
// "* SYSTEM *" to [Activity Log] of the users database. A failure to open or fill the row raises
// ado::Error to the caller (platform::EndProgram when the users file is missing and its set-up is cancelled)
// and writes nothing; a failed save has been told to the user and counted by the save itself.
void WriteActivityLog(const QString& notes);

}  // namespace activitylog
