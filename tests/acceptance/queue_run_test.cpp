// Whole runs that work a queue off, on the embedded files and on the server: the Blacklist against the rule
// computed by one set-based query, the queue, the schedule and the log; two runs started at once; a run whose
// writes the database refuses.
#include "acceptance/queue_run_fixture.h"
#include "data/run_guard.h"
#include "support/server_connection.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSysInfo>

#include <sqlite3.h>

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

using acceptance::ChildResult;
using acceptance::Engine;
using acceptance::kProgram;
using acceptance::Pairs;

constexpr int kClients = 120;
constexpr int kAgencies = 12;

// Clients barred from agencies by the charges of their cases and criminal history, whatever the agency's
// Inactive.
const QString kRuleQuery =
    u"SELECT DISTINCT f.Client_ID, a.ID AS Agency_ID FROM (SELECT Cases.[People ID] AS Client_ID, "
    u"[Court Charges].Drug_Related AS D, [Court Charges].Sex_Crime AS S, [Court Charges].Theft_Related AS T, "
    u"[Court Charges].Violent_Crime AS V FROM Cases INNER JOIN [Court Charges] ON Cases.[Court Charge] = "
    u"[Court Charges].ID UNION ALL SELECT [Client Criminal History].[Client ID], "
    u"[Court Charges].Drug_Related, [Court Charges].Sex_Crime, [Court Charges].Theft_Related, "
    u"[Court Charges].Violent_Crime FROM "
    u"[Client Criminal History] INNER JOIN [Court Charges] ON [Client Criminal History].[Court Charge ID] = "
    u"[Court Charges].ID) AS f, Agencies AS a WHERE (a.No_Drug_Offenders = 1 AND f.D = 1) OR "
    u"(a.No_Sex_Offenders = 1 AND f.S = 1) OR (a.No_Theft_Offenders = 1 AND f.T = 1) OR "
    u"(a.No_Violent_Offenders = 1 AND f.V = 1)"_s;

// A run whose standard output is a FIFO of one page that only the test reads: once it is full the run blocks
// at its next status line, holding what it holds, until the test reads on.
struct HeldRun {
    HeldRun(const QString& fifo, const QProcessEnvironment& environment) {
        EXPECT_EQ(::mkfifo(fifo.toLocal8Bit().constData(), 0600), 0);
        fd = ::open(fifo.toLocal8Bit().constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        EXPECT_GT(::fcntl(fd, F_SETPIPE_SZ, 4096), 0);
        process.setStandardOutputFile(fifo);
        testsupport::StartBinary(process, kProgram, environment);
    }
    ~HeldRun() {
        process.kill();
        process.waitForFinished();
        ::close(fd);
    }
    // Reads on until text has been written or the run closed its output (60 s at most). True when it was.
    bool ReadUntil(const QByteArray& text) {
        for (QDeadlineTimer deadline(60000); !out.contains(text);) {
            pollfd ready{fd, POLLIN, 0};
            char buffer[65536];
            if (::poll(&ready, 1, static_cast<int>(deadline.remainingTime())) <= 0)
                break;
            const ssize_t got = ::read(fd, buffer, sizeof buffer);
            if (got == 0 || (got < 0 && errno != EAGAIN))
                break;
            out.append(buffer, std::max<ssize_t>(got, 0));
        }
        return out.contains(text);
    }
    // Reads the rest of the output and waits for the run's end; its exit status, -1 when it did not end.
    int Finish() {
        ReadUntil(QByteArray("\x01"));  // no line holds it: reads until the output closes
        process.waitForFinished(60000);
        return process.state() == QProcess::NotRunning && process.exitStatus() == QProcess::NormalExit
                   ? process.exitCode()
                   : -1;
    }

    QProcess process;
    QByteArray out;
    int fd = -1;
};

class QueueRunTest : public acceptance::QueueRunFixture {
protected:
    void SetUp() override {
        QueueRunFixture::SetUp();
        if (!IsSkipped() && !HasFatalFailure())
            MakeDataSet(u"run"_s, {kClients, kAgencies, 20261205});
    }
    // The activity log: notes, user ID and who updated each row.
    QStringList Log() const {
        return Rows(u"SELECT * FROM [Activity Log] ORDER BY ID"_s,
                    {u"Notes"_s, u"User ID"_s, u"Updated By"_s}, UsersString());
    }
};

// Every client, some with a Table_Name that differs from "Agencies" only in case, every agency, agency 1
// again (two log lines for it), and an agency that does not exist: rebuilding every agency last leaves
// exactly the rule.
TEST_P(QueueRunTest, WorksTheWholeQueueOffAndLeavesTheRule) {
    constexpr int kRequests = kClients + kAgencies + 1;  // processed: agency 999 stays queued
    const Pairs manualBefore = PairsOf(u"SELECT * FROM Blacklist WHERE Manually_Entered = 1"_s);
    acceptance::Requests requests;
    for (int client = 1; client <= kClients; ++client)
        requests.push_back({client % 10 == 0 ? u"agencies"_s : u"People"_s, client});
    for (int agency : {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 1, 999})
        requests.push_back({u"Agencies"_s, agency});
    Enqueue(requests);
    // Ten minutes of waiting show once.
    Admin({u"schedule"_s, u"--user"_s, user_, u"--in"_s, u"600"_s});

    const ChildResult run = Run();
    ASSERT_EQ(run.exitCode, 65) << run.err.toStdString();
    const QStringList lines = run.OutLines();
    ASSERT_GE(lines.size(), 4);
    EXPECT_TRUE(lines[0].startsWith(u"Waiting for "_s)) << lines[0].toStdString();
    EXPECT_EQ(lines.filter(u"Waiting for "_s).size(), 1);
    EXPECT_TRUE(lines.contains(u"There are %1 item(s) in the queue."_s.arg(kRequests + 1)));
    EXPECT_TRUE(lines.contains(u"Total of %1 processed."_s.arg(kRequests)));
    EXPECT_FALSE(lines.contains(u"Total of %1 processed."_s.arg(kRequests + 1)));
    EXPECT_TRUE(lines.last().startsWith(
        u"Summary: %1 request(s) processed; 1 left in the queue because their agency does not exist; took "_s
            .arg(kRequests)))
        << lines.last().toStdString();

    // The automatic entries are the rule less the manual pairs, made by the scheduling user; manual entries
    // are untouched; no pair has two entries.
    EXPECT_EQ(PairsOf(u"SELECT * FROM Blacklist WHERE Manually_Entered = 0"_s), Expected(kRuleQuery));
    EXPECT_EQ(PairsOf(u"SELECT * FROM Blacklist WHERE Manually_Entered = 1"_s), manualBefore);
    EXPECT_EQ(
        Rows(u"SELECT DISTINCT Created_By FROM Blacklist WHERE Manually_Entered = 0"_s, {u"Created_By"_s}),
        QStringList{user_});
    EXPECT_TRUE(DuplicatePairs().empty());

    // Only the request for the missing agency is left; the schedule is cleared.
    EXPECT_EQ(Rows(u"SELECT * FROM Disqualifications_Queue"_s, {u"Table_Name"_s, u"Table_ID"_s}),
              QStringList{u"Agencies, 999"_s});
    EXPECT_EQ(Rows(u"SELECT * FROM [Parameters] WHERE ID = 1"_s,
                   {u"Next_Rebuild_Requested_By"_s, u"Next_Disqualifications_Rebuild"_s}),
              QStringList{u"Null, Null"_s});

    // The log: the start, a line for each agency request (agency 1 twice), the end, all for the scheduling
    // user.
    const QStringList log = Log();
    ASSERT_EQ(log.size(), kAgencies + 3);
    QStringList names = Rows(u"SELECT * FROM Agencies ORDER BY ID"_s, {u"Name"_s});
    names.push_back(names.front());
    const QString by = u", "_s + user_ + u", * SYSTEM *"_s;
    EXPECT_TRUE(log.front().startsWith(u"KSProcessDisqualificationsQueue began at "_s))
        << log.front().toStdString();
    EXPECT_TRUE(log.back().startsWith(u"KSProcessDisqualificationsQueue finished at "_s));
    for (const QString& line : log)
        EXPECT_TRUE(line.endsWith(by)) << line.toStdString();
    for (int line = 1; line <= kAgencies + 1; ++line)
        EXPECT_EQ(log[line], u"Disqualications rebuild for agency "_s + names[line - 1] + by);
}

// Two processors on the same data: started together, and the second while the first waits for its scheduled
// time, the first's output held so that it is still at work. On the server the second has a data folder of
// its own (another workstation) and meets the first at the catalog.
TEST_P(QueueRunTest, OfTwoProcessorsOnTheSameDataOnlyOneRuns) {
    const QString lockFile = dataPath_ + u"KS_queue.lock"_s;
    QProcessEnvironment elsewhere = environment_;
    QStringList usersFiles{UsersString()};
    QString heldData = lockFile;
    // What another workstation asks before it starts, as an administrator's tool would.
    data::ConnectionSettings asking;
    asking.dataPath = dataPath_;
    asking.accessFlag = engine_ == Engine::Jet;
    asking.mainConnectionString = MainString();
    if (engine_ == Engine::Server) {
        const QString other = temp_.filePath(u"other/data/"_s);
        ASSERT_TRUE(QDir().mkpath(other));
        ASSERT_TRUE(QFile::copy(dataPath_ + u"KS_users.mdb"_s, other + u"KS_users.mdb"_s));
        elsewhere = testsupport::ChildEnvironment(temp_.filePath(u"other/config"_s));
        const ChildResult configured =
            testsupport::RunBinary(u"kestrane-admin"_s,
                                   {u"configure"_s, u"--data-path"_s, other, u"--server"_s, server_,
                                    u"--workstation"_s, acceptance::kWorkstation},
                                   elsewhere);
        ASSERT_EQ(configured.exitCode, 0) << configured.err.toStdString();
        usersFiles << u"Provider=Microsoft.Jet.OLEDB.4.0;Data Source="_s + other + u"KS_users.mdb;"_s;
        heldData = server_ + u" catalog Kestrane"_s;
        // Asked from a folder of neither run, only the catalog's lock answers, whichever run won.
        asking.dataPath = temp_.filePath(u"asking/"_s);
    }
    const auto logLines = [&] {
        QStringList notes;
        for (const QString& users : usersFiles)
            notes << Rows(u"SELECT * FROM [Activity Log] ORDER BY ID"_s, {u"Notes"_s}, users);
        return notes;
    };
    const QString host = QSysInfo::machineHostName();

    for (const bool whileTheFirstWaits : {false, true}) {
        SCOPED_TRACE(whileTheFirstWaits ? "second started while the first waits" : "started together");
        QueueAgencies(1, kAgencies);
        // Ten days ahead on the virtual clock: a "Waiting for" line an hour, more than the FIFO takes.
        Admin({u"schedule"_s, u"--user"_s, user_, u"--in"_s, u"864000"_s});
        const qsizetype logBefore = logLines().size();

        HeldRun first(temp_.filePath(u"first%1.out"_s.arg(whileTheFirstWaits)), environment_);
        ASSERT_TRUE(!whileTheFirstWaits || first.ReadUntil("Waiting for ")) << first.out.toStdString();
        HeldRun second(temp_.filePath(u"second%1.out"_s.arg(whileTheFirstWaits)), elsewhere);
        // While the holder's output is held, only the other run can end.
        HeldRun* loser = nullptr;
        for (QDeadlineTimer deadline(60000); loser == nullptr && !deadline.hasExpired();)
            loser = first.process.waitForFinished(20)    ? &first
                    : second.process.waitForFinished(20) ? &second
                                                         : nullptr;
        ASSERT_NE(loser, nullptr) << "neither run ended";
        HeldRun& winner = loser == &first ? second : first;
        EXPECT_TRUE(!whileTheFirstWaits || loser == &second);

        EXPECT_EQ(loser->Finish(), 75);
        const QString process = u"rocess %1 on "_s.arg(winner.process.processId());
        // The status lines are the start-up tests' (StartupOutcomeTest AnotherRunHoldsTheData); here, whose
        // run.
        EXPECT_TRUE(
            loser->out.contains((u"\nP"_s + process + host.section(u'.', 0, 0) + u" since "_s).toLocal8Bit()))
            << loser->out.toStdString();
        const QString err = QString::fromLocal8Bit(loser->process.readAllStandardError());
        EXPECT_TRUE(err.startsWith(u"Another run holds this data ("_s + heldData + u"): p"_s + process +
                                   host + u" since "_s))
            << err.toStdString();
        EXPECT_TRUE(err.endsWith(u". Rebuild not performed.\n"_s)) << err.toStdString();
        const std::optional<data::RunHolder> found = data::FindActiveRun(asking);
        ASSERT_TRUE(found.has_value());
        EXPECT_EQ(found->pid, winner.process.processId());
        EXPECT_EQ(found->host, host);
        EXPECT_EQ(found->dataSource, heldData);

        ASSERT_EQ(winner.Finish(), 0) << winner.process.readAllStandardError().toStdString();
        EXPECT_TRUE(Rows(u"SELECT * FROM Disqualifications_Queue"_s, {u"Table_ID"_s}).empty());
        const QStringList log = logLines().mid(logBefore);
        ASSERT_EQ(log.size(), kAgencies + 2) << log.join(u'\n').toStdString();
        EXPECT_TRUE(log.front().startsWith(u"KSProcessDisqualificationsQueue began at "_s));
        EXPECT_TRUE(log.back().startsWith(u"KSProcessDisqualificationsQueue finished at "_s));
        EXPECT_FALSE(QFile(lockFile).size() > 0) << "the lock file names no holder after the run";
        EXPECT_FALSE(data::FindActiveRun(asking).has_value());
    }
}

// A write the database refuses (a trigger: no Blacklist row for one client) is shown as the system shows it
// and the run goes on; it ends with 74 and a line that counts the failures. The run's requester is missing
// from the user list: its new entries and log lines are user 0's.
TEST_P(QueueRunTest, FailedWritesEndTheRunWith74AndACount) {
    Pairs expected = Expected(kRuleQuery);
    ASSERT_FALSE(expected.empty());
    const int32_t refused = expected.begin()->first;
    if (engine_ == Engine::Server) {
        testsupport::ServerConnection(u"Kestrane"_s)
            .Exec(
                u"CREATE FUNCTION refuse_client() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN "
                u"IF NEW.client_id = %1 THEN RAISE EXCEPTION 'refused'; END IF; RETURN NEW; END $$; "
                u"CREATE TRIGGER refuse_client BEFORE INSERT ON blacklist FOR EACH ROW "
                u"EXECUTE FUNCTION refuse_client()"_s.arg(refused));
    } else {
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open((dataPath_ + u"KS.mdb"_s).toUtf8().constData(), &db), SQLITE_OK);
        const QString trigger =
            u"CREATE TRIGGER refuse_client BEFORE INSERT ON Blacklist WHEN NEW.Client_ID = %1 "
            u"BEGIN SELECT RAISE(ABORT, 'refused'); END"_s.arg(refused);
        EXPECT_EQ(sqlite3_exec(db, trigger.toUtf8().constData(), nullptr, nullptr, nullptr), SQLITE_OK);
        sqlite3_close(db);
    }
    std::erase_if(expected, [&](const auto& pair) { return pair.first == refused; });
    QueueAgencies(1, kAgencies);
    Execute(u"UPDATE [Parameters] SET Next_Rebuild_Requested_By = 4242 WHERE ID = 1"_s);

    const ChildResult run = Run();

    EXPECT_EQ(run.exitCode, 74) << run.err.toStdString();
    const int failures = static_cast<int>(run.err.count(u"** Update Failed **"_s));
    EXPECT_GT(failures, 0);
    ASSERT_GE(run.OutLines().size(), 2);
    EXPECT_EQ(run.OutLines().at(run.OutLines().size() - 2),
              u"%1 write(s) failed in this run: 0 update(s), 0 delete(s), %1 add(s)."_s.arg(failures));
    EXPECT_EQ(PairsOf(u"SELECT * FROM Blacklist WHERE Manually_Entered = 0"_s), expected);
    EXPECT_EQ(
        Rows(u"SELECT DISTINCT Created_By FROM Blacklist WHERE Manually_Entered = 0"_s, {u"Created_By"_s}),
        QStringList{u"0"_s});
    const QStringList log = Log();
    ASSERT_EQ(log.size(), kAgencies + 2);
    EXPECT_TRUE(log.back().startsWith(u"KSProcessDisqualificationsQueue finished at "_s));
    for (const QString& line : log)
        EXPECT_TRUE(line.endsWith(u", 0, * SYSTEM *"_s)) << line.toStdString();
}

INSTANTIATE_TEST_SUITE_P(Engines, QueueRunTest, ::testing::Values(Engine::Jet, Engine::Server),
                         acceptance::EngineName);

}  // namespace
