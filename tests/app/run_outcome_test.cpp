// The exit status and the summary line of each way a run can end, and which wins when several apply.
#include "app/run_outcome.h"
#include "support/program_environment.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

using app::Ending;
using app::Outcome;

TEST(RunOutcome, EachEndingHasItsStatusAndSummary) {
    struct Case {
        const char* what;
        Outcome outcome;
        Ending ending;
        int processed;
        int agencyMissing;
        int failedWrites;
        int status;
        QString summary;
    };
    const std::vector<Case> cases = {
        {"processed", Outcome::QueueProcessed, Ending::Normal, 3, 0, 0, 0,
         u"Summary: 3 request(s) processed; took 12 s."_s},
        {"requests left", Outcome::QueueProcessed, Ending::Normal, 3, 2, 0, 65,
         u"Summary: 3 request(s) processed; 2 left in the queue because their agency does not exist; took 12 s."_s},
        {"failed writes before requests left", Outcome::QueueProcessed, Ending::Normal, 3, 2, 1, 74,
         u"Summary: 3 request(s) processed; 2 left in the queue because their agency does not exist; took 12 s."_s},
        {"nothing scheduled", Outcome::NothingScheduled, Ending::Normal, 0, 0, 0, 0,
         u"Summary: 0 request(s) processed: no rebuild has been scheduled; took 12 s."_s},
        {"incomplete settings", Outcome::IncompleteSettings, Ending::Normal, 0, 0, 0, 78,
         u"Summary: 0 request(s) processed: the settings are incomplete; took 12 s."_s},
        {"not admitted, a write failed", Outcome::NotAdmitted, Ending::Normal, 0, 0, 1, 77,
         u"Summary: 0 request(s) processed: this workstation is not admitted; took 12 s."_s},
        {"another run", Outcome::AnotherRun, Ending::Normal, 0, 0, 0, 75,
         u"Summary: 0 request(s) processed: another run holds this data; took 12 s."_s},
        {"run-time error", Outcome::QueueProcessed, Ending::UnhandledError, 2, 1, 1, 1,
         u"Summary: 2 request(s) processed, then the run ended with an error; 1 left in the queue because "
         u"their "
         u"agency does not exist; took 12 s."_s},
        {"ended at once", Outcome::NothingScheduled, Ending::EndedAtOnce, 1, 0, 0, 2,
         u"Summary: 1 request(s) processed, then the run ended at once; took 12 s."_s},
    };
    testsupport::ProgramEnvironment environment;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        app::RunOutcome run{c.outcome, environment.Clock().Now(), c.processed, c.agencyMissing};
        environment.Clock().Advance(12000);
        EXPECT_EQ(app::ExitStatus(run, c.ending, c.failedWrites), c.status);
        EXPECT_EQ(app::SummaryLine(run, c.ending).toStdString(), c.summary.toStdString());
    }
}

}  // namespace
