#include "app/run_outcome.h"

#include "platform/clock.h"
#include "platform/runtime_error.h"

namespace app {

namespace {

// Why nothing was processed, as the summary says it.
QString NothingProcessedBecause(Outcome outcome) {
    switch (outcome) {
        case Outcome::IncompleteSettings:
            return QStringLiteral("the settings are incomplete");
        case Outcome::NotAdmitted:
            return QStringLiteral("this workstation is not admitted");
        case Outcome::AnotherRun:
            return QStringLiteral("another run holds this data");
        case Outcome::NothingScheduled:
        case Outcome::QueueProcessed:
            break;
    }
    return QStringLiteral("no rebuild has been scheduled");
}

}  // namespace

RunOutcome& ThisRun() {
    static RunOutcome run;
    return run;
}

int ExitStatus(const RunOutcome& run, Ending ending, int failedWrites) {
    if (ending == Ending::UnhandledError)
        return platform::kExitUnhandledError;
    if (ending == Ending::EndedAtOnce)
        return platform::kExitEndedAtOnce;
    switch (run.outcome) {
        case Outcome::IncompleteSettings:
            return platform::kExitIncompleteSettings;
        case Outcome::AnotherRun:
            return platform::kExitAnotherRun;
        case Outcome::NotAdmitted:
            return platform::kExitNotAdmitted;
        case Outcome::NothingScheduled:
        case Outcome::QueueProcessed:
            break;
    }
    if (failedWrites > 0)
        return platform::kExitWritesFailed;
    return run.agencyMissing > 0 ? platform::kExitRequestsLeft : platform::kExitNormal;
}

QString SummaryLine(const RunOutcome& run, Ending ending) {
    QString line = QStringLiteral("Summary: ") + QString::number(run.processed) +
                   QStringLiteral(" request(s) processed");
    if (ending == Ending::UnhandledError) {
        line += QStringLiteral(", then the run ended with an error");
    } else if (ending == Ending::EndedAtOnce) {
        line += QStringLiteral(", then the run ended at once");
    } else if (run.outcome != Outcome::QueueProcessed) {
        line += QStringLiteral(": ") + NothingProcessedBecause(run.outcome);
    }
    if (run.agencyMissing > 0) {
        line += QStringLiteral("; ") + QString::number(run.agencyMissing) +
                QStringLiteral(" left in the queue because their agency does not exist");
    }
    const int64_t seconds = run.began.isValid() ? platform::DateDiffSeconds(run.began, platform::Now()) : 0;
    return line + QStringLiteral("; took ") + QString::number(seconds) + QStringLiteral(" s.");
}

}  // namespace app
