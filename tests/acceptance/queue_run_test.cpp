// Whole runs of the program that work a queue off, on the embedded files and on the server: the final
// Blacklist against the rule of disqualification computed by one set-based query, the queue, the schedule and
// the activity log; and a run killed in the middle, then started again.
#include "acceptance/queue_run_fixture.h"
#include "support/child_process.h"

#include <QProcess>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

using acceptance::kProgram;
using acceptance::Pairs;
using testsupport::ChildResult;
using testsupport::Engine;

constexpr int kClients = 120;
constexpr int kAgencies = 12;

// Clients barred from agencies by the charges of their cases and criminal history, whatever the agency's
// Inactive: what rebuilding every agency last leaves as automatic entries (less the pairs entered by hand).
const QString kRuleQuery =
    u"SELECT DISTINCT f.Client_ID, a.ID AS Agency_ID FROM ("
    u"SELECT Cases.[People ID] AS Client_ID, [Court Charges].Drug_Related AS D, [Court Charges].Sex_Crime AS "
    u"S, "
    u"[Court Charges].Theft_Related AS T, [Court Charges].Violent_Crime AS V FROM Cases INNER JOIN "
    u"[Court Charges] ON Cases.[Court Charge] = [Court Charges].ID UNION ALL "
    u"SELECT [Client Criminal History].[Client ID], [Court Charges].Drug_Related, [Court Charges].Sex_Crime, "
    u"[Court Charges].Theft_Related, [Court Charges].Violent_Crime FROM [Client Criminal History] INNER JOIN "
    u"[Court Charges] ON [Client Criminal History].[Court Charge ID] = [Court Charges].ID) AS f, Agencies AS "
    u"a "
    u"WHERE (a.No_Drug_Offenders = 1 AND f.D = 1) OR (a.No_Sex_Offenders = 1 AND f.S = 1) OR "
    u"(a.No_Theft_Offenders = 1 AND f.T = 1) OR (a.No_Violent_Offenders = 1 AND f.V = 1)"_s;

class QueueRunTest : public acceptance::QueueRunFixture {
protected:
    void SetUp() override {
        QueueRunFixture::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        MakeDataSet(u"run"_s, {kClients, kAgencies, 20261205});
    }

    // Every client, some with a Table_Name that differs from "Agencies" only in case, then every agency, then
    // an agency that does not exist: rebuilding every agency last leaves exactly the rule.
    void QueueEverything() {
        for (int client = 1; client <= kClients; ++client) {
            if (client % 10 == 0)
                Admin({u"enqueue"_s, u"client"_s, QString::number(client), u"--table-name"_s, u"agencies"_s});
            else
                Admin({u"enqueue"_s, u"client"_s, QString::number(client)});
        }
        for (int agency = 1; agency <= kAgencies; ++agency)
            Admin({u"enqueue"_s, u"agency"_s, QString::number(agency)});
        Admin({u"enqueue"_s, u"agency"_s, u"999"_s, u"--force"_s});
    }
};

TEST_P(QueueRunTest, WorksTheWholeQueueOffAndLeavesTheRule) {
    const Pairs manualBefore = PairsOf(u"SELECT * FROM Blacklist WHERE Manually_Entered = 1"_s);
    QueueEverything();
    Admin({u"schedule"_s, u"--user"_s, user_, u"--in"_s, u"600"_s});

    const ChildResult run = testsupport::RunBinary(kProgram, {}, testsupport::ChildEnvironment(config_));
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    const QStringList lines = run.OutLines();
    ASSERT_GE(lines.size(), 4);
    EXPECT_TRUE(lines[0].startsWith(u"Waiting for "_s)) << lines[0].toStdString();
    EXPECT_TRUE(lines.contains(u"There are %1 item(s) in the queue."_s.arg(kClients + kAgencies + 1)));
    EXPECT_TRUE(lines.contains(u"Total of %1 processed."_s.arg(kClients + kAgencies)));
    EXPECT_FALSE(lines.contains(u"Total of %1 processed."_s.arg(kClients + kAgencies + 1)));

    // The automatic entries are the rule less the pairs entered by hand; manual entries are untouched; no
    // pair has two entries.
    Pairs expected = PairsOf(kRuleQuery);
    for (const auto& pair : manualBefore)
        expected.erase(pair);
    EXPECT_EQ(PairsOf(u"SELECT * FROM Blacklist WHERE Manually_Entered = 0"_s), expected);
    EXPECT_EQ(PairsOf(u"SELECT * FROM Blacklist WHERE Manually_Entered = 1"_s), manualBefore);
    EXPECT_TRUE(DuplicatePairs().empty());

    // Only the request for the missing agency is left; the schedule is cleared.
    const auto queue =
        Rows(MainString(), u"SELECT * FROM Disqualifications_Queue"_s, {u"Table_Name"_s, u"Table_ID"_s});
    ASSERT_EQ(queue.size(), 1u);
    EXPECT_EQ(queue[0], (QStringList{u"Agencies"_s, u"999"_s}));
    EXPECT_EQ(Rows(MainString(), u"SELECT * FROM [Parameters] WHERE ID = 1"_s,
                   {u"Next_Rebuild_Requested_By"_s, u"Next_Disqualifications_Rebuild"_s}),
              (std::vector<QStringList>{{u"Null"_s, u"Null"_s}}));

    // The activity log: the start, one line per agency request, the end, all for the scheduling user.
    const auto log = Rows(UsersString(), u"SELECT * FROM [Activity Log] ORDER BY ID"_s,
                          {u"Notes"_s, u"User ID"_s, u"Updated By"_s});
    ASSERT_EQ(log.size(), static_cast<size_t>(kAgencies + 2));
    EXPECT_TRUE(log.front()[0].startsWith(u"KSProcessDisqualificationsQueue began at "_s));
    EXPECT_TRUE(log.back()[0].startsWith(u"KSProcessDisqualificationsQueue finished at "_s));
    const auto names = Rows(MainString(), u"SELECT * FROM Agencies ORDER BY ID"_s, {u"Name"_s});
    for (int agency = 0; agency < kAgencies; ++agency)
        EXPECT_EQ(log[agency + 1][0], u"Disqualications rebuild for agency "_s + names[agency][0]);
    for (const QStringList& line : log) {
        EXPECT_EQ(line[1], user_);
        EXPECT_EQ(line[2], u"* SYSTEM *"_s);
    }
}

TEST_P(QueueRunTest, ARunKilledInTheMiddleIsFinishedByTheNextOne) {
    QueueEverything();
    Admin({u"schedule"_s, u"--user"_s, user_, u"--in"_s, u"0"_s});

    // The real clock: the run is killed while it works, after a few requests.
    QProcess run;
    run.setProcessEnvironment(testsupport::ChildEnvironment(config_, QString()));
    run.setStandardInputFile(QProcess::nullDevice());
    run.start(QStringLiteral(KESTRANE_BIN_DIR "/") + kProgram);
    QByteArray out;
    while (!out.contains("Total of 5 processed.") && run.waitForReadyRead(60000))
        out += run.readAllStandardOutput();
    ASSERT_TRUE(out.contains("Total of 5 processed.")) << out.toStdString();
    run.kill();
    run.waitForFinished();

    // The schedule is still set and the rest of the queue is waiting: the next run finishes the work.
    EXPECT_EQ(Rows(MainString(), u"SELECT * FROM [Parameters] WHERE ID = 1"_s,
                   {u"Next_Rebuild_Requested_By"_s})[0][0],
              user_);
    const ChildResult again = testsupport::RunBinary(kProgram, {}, testsupport::ChildEnvironment(config_));
    ASSERT_EQ(again.exitCode, 0) << again.err.toStdString();

    Pairs expected = PairsOf(kRuleQuery);
    for (const auto& pair : PairsOf(u"SELECT * FROM Blacklist WHERE Manually_Entered = 1"_s))
        expected.erase(pair);
    EXPECT_EQ(PairsOf(u"SELECT * FROM Blacklist WHERE Manually_Entered = 0"_s), expected);
    EXPECT_EQ(Rows(MainString(), u"SELECT * FROM Disqualifications_Queue"_s, {u"Table_ID"_s}).size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(Engines, QueueRunTest, ::testing::Values(Engine::Jet, Engine::Server),
                         acceptance::EngineName);

}  // namespace
