#pragma once
// The program's --check: what a run would meet on this workstation, told without writing anything and without
// waiting for the schedule.

#include <QTextStream>

namespace app {

// Reports on out, one line each: where the settings come from and what they say, whether each data source
// opens, whether another run holds the data, whether this workstation is admitted, what is scheduled and for
// when, and how many requests are queued. Returns the exit status a run would end with now (failed writes
// aside, which only a run can meet). Never fails: a database error is reported as a run would meet it.
int CheckStartup(QTextStream& out);

}  // namespace app
