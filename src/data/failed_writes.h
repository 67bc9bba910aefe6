#pragma once
// The writes of the run that failed: every write that a record operation gave up on. Where the system shows
// its failure message and goes on, it still does; this count is what the end of the run reports, so that a
// run that lost entries never looks like a good one. None of these fails.

#include <QString>

namespace data {

// An update saves changed fields of a row, an add a new row (AdoAutoAddRS, or AdoUpdateRecord of a new row).
enum class FailedWrite { Update, Delete, Add };

// Counts one write of that kind that was given up on.
void CountFailedWrite(FailedWrite kind);
// The writes given up on since the program started (or since ForgetFailedWrites).
int FailedWriteCount();
// The run's last line when writes failed: "3 write(s) failed in this run: 2 update(s), 1 delete(s), 0
// add(s)."
QString FailedWritesLine();
// Starts the count again (a new run).
void ForgetFailedWrites();

}  // namespace data
