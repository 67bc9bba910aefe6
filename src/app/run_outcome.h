#pragma once
// How a run of the program ended, told apart for whoever started it: the exit status and the last line on
// standard output. The main window records what start-up and the queue found; main turns it into both.

#include <QDateTime>
#include <QString>

#include <cstdint>

namespace app {

// What start-up let the run do.
enum class Outcome {
    NothingScheduled,    // admitted, but no rebuild was scheduled (or [Parameters] has no row 1)
    QueueProcessed,      // the queue was worked off
    IncompleteSettings,  // the connection settings are incomplete: nothing was touched
    NotAdmitted,         // this workstation has no name, or is not registered and active
    AnotherRun,          // another run held the data: nothing was touched
};

// How the run ended early, if it did.
enum class Ending { Normal, UnhandledError, EndedAtOnce };

struct RunOutcome {
    Outcome outcome = Outcome::NothingScheduled;
    QDateTime began;            // when the run started, on the program's clock
    int32_t processed = 0;      // requests worked off
    int32_t agencyMissing = 0;  // agency requests left in the queue because the agency does not exist
};

// The run of this program: written by the main window, read by main at the end.
RunOutcome& ThisRun();

// The exit status of run, which ended as ending with failedWrites writes given up on. Start-up refusals come
// first (incomplete settings, another run, not admitted), then failed writes, then requests left in the
// queue.
int ExitStatus(const RunOutcome& run, Ending ending, int failedWrites);

// The run's last line on standard output: what was processed, what was left and why, and the time it took,
// counted to now on the program's clock.
QString SummaryLine(const RunOutcome& run, Ending ending);

}  // namespace app
