// Whole runs that work a queue off, on the embedded files and on the server: the Blacklist against the rule
// computed by one set-based query, the queue, the schedule and the log; a run killed in the middle; two runs
// started at once; a run whose writes the database refuses.
#include "acceptance/queue_run_fixture.h"
#include "ado/connection.h"
#include "data/run_guard.h"
#include "support/child_process.h"
#include "support/server_connection.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSysInfo>

#include <gtest/gtest.h>

#include <sqlite3.h>

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

using acceptance::kProgram;
using acceptance::Pairs;
using testsupport::ChildResult;
using testsupport::Engine;
using testsupport::QueryRows;

constexpr int kClients = 120;
constexpr int kAgencies = 12;

// Clients barred from agencies by the charges of their cases and criminal history, whatever the agency's
// Inactive.
const QString kRuleQuery =
    u"SELECT DISTINCT f.Client_ID, a.ID AS Agency_ID FROM (SELECT Cases.[People ID] AS Client_ID, "
    u"[Court Charges].Drug_Related AS D, [Court Charges].Sex_Crime AS S, [Court Charges].Theft_Related AS T, "
    u"[Court Charges].Violent_Crime AS V FROM Cases INNER JOIN [Court Charges] ON Cases.[Court Charge] = "
    u"[Court Charges].ID UNION ALL SELECT [Client Criminal History].[Client ID], [Court Charges].Drug_Related, "
    u"[Court Charges].Sex_Crime, [Court Charges].Theft_Related, [Court Charges].Violent_Crime FROM "
    u"[Client Criminal History] INNER JOIN [Court Charges] ON [Client Criminal History].[Court Charge ID] = "
    u"[Court Charges].ID) AS f, Agencies AS a WHERE (a.No_Drug_Offenders = 1 AND f.D = 1) OR "
    u"(a.No_Sex_Offenders = 1 AND f.S = 1) OR (a.No_Theft_Offenders = 1 AND f.T = 1) OR "
    u"(a.No_Violent_Offenders = 1 AND f.V = 1)"_s;

// A run whose standard output is a FIFO of one page that only the test reads: once it is full the run blocks at
// its next status line, holding what it holds, until the test reads on.
class HeldRun {
public:
    HeldRun(const QString& fifo, const QProcessEnvironment& environment) {
        EXPECT_EQ(::mkfifo(fifo.toLocal8Bit().constData(), 0600), 0);
        fd_ = ::open(fifo.toLocal8Bit().constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        EXPECT_GT(::fcntl(fd_, F_SETPIPE_SZ, 4096), 0);
        process.setProcessEnvironment(environment);
        process.setStandardInputFile(QProcess::nullDevice());
        process.setStandardOutputFile(fifo);
        process.start(QStringLiteral(KESTRANE_BIN_DIR "/") + kProgram);
    }
    ~HeldRun() {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished();
        }
        ::close(fd_);
    }

    // Reads on until text has been written or the run closed its output (60 s at most). True when it was.
    bool ReadUntil(const QByteArray& text) {
        QDeadlineTimer deadline(60000);
        while (!out.contains(text) && !deadline.hasExpired()) {
            pollfd ready{fd_, POLLIN, 0};
            if (::poll(&ready, 1, static_cast<int>(deadline.remainingTime())) <= 0)
                break;
            char buffer[65536];
            const ssize_t got = ::read(fd_, buffer, sizeof buffer);
            if (got <= 0 && !(got < 0 && errno == EAGAIN))
                break;
            if (got > 0)
                out.append(buffer, got);
        }
        return out.contains(text);
    }
    // Reads the rest of the output and waits for the run's end; its exit status, -1 when it did not end.
    int Finish() {
        ReadUntil(QByteArray("\x01"));  // no line holds it: reads until the output closes
        if (process.state() != QProcess::NotRunning && !process.waitForFinished(60000))
            return -1;
        return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    }
    QStringList OutLines() const { return QString::fromLocal8Bit(out).split(u'\n', Qt::SkipEmptyParts); }

    QProcess process;
    QByteArray out;

private:
    int fd_ = -1;
};

class QueueRunTest : public acceptance::QueueRunFixture {
protected:
    void SetUp() override {
        QueueRunFixture::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        MakeDataSet(u"run"_s, {kClients, kAgencies, 20261205});
    }

    // Every client, some with a Table_Name that differs from "Agencies" only in case, every agency, agency 1
    // again, and an agency that does not exist: rebuilding every agency last leaves exactly the rule.
    void QueueEverything() {
        acceptance::Requests requests;
        for (int client = 1; client <= kClients; ++client)
            requests.push_back({client % 10 == 0 ? u"agencies"_s : u"People"_s, client});
        for (int agency : {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 1, 999})
            requests.push_back({u"Agencies"_s, agency});
        Enqueue(requests);
    }
    std::vector<QStringList> Main(const QString& sql, const QStringList& fields) const {
        return QueryRows(MainString(), sql, fields);
    }
    std::vector<QStringList> Log() const {
        return QueryRows(UsersString(), u"SELECT * FROM [Activity Log] ORDER BY ID"_s,
                         {u"Notes"_s, u"User ID"_s, u"Updated By"_s});
    }
};

TEST_P(QueueRunTest, WorksTheWholeQueueOffAndLeavesTheRule) {
    constexpr int kRequests = kClients + kAgencies + 1;  // processed: agency 999 stays queued
    const Pairs manualBefore = PairsOf(u"SELECT * FROM Blacklist WHERE Manually_Entered = 1"_s);
    QueueEverything();
    // Ten minutes of waiting show once.
    Admin({u"schedule"_s, u"--user"_s, user_, u"--in"_s, u"600"_s});

    const ChildResult run = testsupport::RunBinary(kProgram, {}, testsupport::ChildEnvironment(config_));
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

    // The automatic entries are the rule less the manual pairs, made by the scheduling user; manual entries are
    // untouched; no pair has two entries.
    EXPECT_EQ(PairsOf(u"SELECT * FROM Blacklist WHERE Manually_Entered = 0"_s), Expected(kRuleQuery));
    EXPECT_EQ(PairsOf(u"SELECT * FROM Blacklist WHERE Manually_Entered = 1"_s), manualBefore);
    EXPECT_EQ(Main(u"SELECT DISTINCT Created_By FROM Blacklist WHERE Manually_Entered = 0"_s, {u"Created_By"_s}),
              std::vector<QStringList>{{user_}});
    EXPECT_TRUE(DuplicatePairs().empty());

    // Only the request for the missing agency is left; the schedule is cleared.
    EXPECT_EQ(Main(u"SELECT * FROM Disqualifications_Queue"_s, {u"Table_Name"_s, u"Table_ID"_s}),
              (std::vector<QStringList>{{u"Agencies"_s, u"999"_s}}));
    EXPECT_EQ(Main(u"SELECT * FROM [Parameters] WHERE ID = 1"_s,
                   {u"Next_Rebuild_Requested_By"_s, u"Next_Disqualifications_Rebuild"_s}),
              (std::vector<QStringList>{{u"Null"_s, u"Null"_s}}));

    // The log: the start, a line for each agency request (agency 1 twice), the end, all for the scheduling user.
    const auto log = Log();
    ASSERT_EQ(log.size(), static_cast<size_t>(kAgencies + 3));
    EXPECT_TRUE(log.front()[0].startsWith(u"KSProcessDisqualificationsQueue began at "_s));
    EXPECT_TRUE(log.back()[0].startsWith(u"KSProcessDisqualificationsQueue finished at "_s));
    auto names = Main(u"SELECT * FROM Agencies ORDER BY ID"_s, {u"Name"_s});
    names.push_back(names.front());
    for (int line = 1; line <= kAgencies + 1; ++line)
        EXPECT_EQ(log[line][0], u"Disqualications rebuild for agency "_s + names[line - 1][0]);
    for (const QStringList& line : log)
        EXPECT_EQ(line.mid(1), (QStringList{user_, u"* SYSTEM *"_s}));
}

// The next run after a kill, scheduled by a user no longer in the user list, finishes the work as user 0.
TEST_P(QueueRunTest, ARunKilledInTheMiddleIsFinishedByTheNextOne) {
    QueueEverything();

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

    // The schedule is still set and the rest of the queue is waiting.
    EXPECT_EQ(Main(u"SELECT * FROM [Parameters] WHERE ID = 1"_s, {u"Next_Rebuild_Requested_By"_s}),
              std::vector<QStringList>{{user_}});
    ado::Connection main;
    main.Open(MainString());
    main.Execute(u"UPDATE [Parameters] SET Next_Rebuild_Requested_By = 4242 WHERE ID = 1"_s);
    main.Close();
    const ChildResult again = testsupport::RunBinary(kProgram, {}, testsupport::ChildEnvironment(config_));
    ASSERT_EQ(again.exitCode, 65) << again.err.toStdString();

    EXPECT_EQ(PairsOf(u"SELECT * FROM Blacklist WHERE Manually_Entered = 0"_s), Expected(kRuleQuery));
    EXPECT_EQ(Main(u"SELECT * FROM Disqualifications_Queue"_s, {u"Table_ID"_s}).size(), 1u);
    EXPECT_EQ(Main(u"SELECT DISTINCT Created_By FROM Blacklist WHERE Manually_Entered = 0"_s, {u"Created_By"_s}),
              std::vector<QStringList>{{u"0"_s}});
    // The killed run logged its start only; every line of the next run is user 0's.
    const auto log = Log();
    ASSERT_EQ(log.size(), static_cast<size_t>(kAgencies + 4));
    EXPECT_EQ(log[0][1], user_);
    for (size_t line = 1; line < log.size(); ++line)
        EXPECT_EQ(log[line][1], u"0"_s) << log[line][0].toStdString();
}

// Two processors on the same data: started together, and the second while the first waits for its scheduled
// time, the first's output held so that it is still at work. On the server the second has a data folder of its
// own (another workstation) and meets the first at the catalog.
TEST_P(QueueRunTest, OfTwoProcessorsOnTheSameDataOnlyOneRuns) {
    const Pairs expected = Expected(kRuleQuery);
    const QString lockFile = dataPath_ + u"KS_queue.lock"_s;
    const QProcessEnvironment here = testsupport::ChildEnvironment(config_);
    QProcessEnvironment elsewhere = here;
    QStringList usersFiles{UsersString()};
    QString heldData = lockFile;
    // What another workstation asks before it starts, as an administrator's tool would.
    data::ConnectionSettings asking;
    asking.dataPath = dataPath_;
    asking.accessFlag = GetParam() == Engine::Jet;
    asking.mainConnectionString = MainString();
    if (GetParam() == Engine::Server) {
        const QString other = temp_.filePath(u"other"_s);
        ASSERT_TRUE(QDir().mkpath(other + u"/data"_s));
        ASSERT_TRUE(QFile::copy(dataPath_ + u"KS_users.mdb"_s, other + u"/data/KS_users.mdb"_s));
        elsewhere = testsupport::ChildEnvironment(other + u"/config"_s);
        const ChildResult configured = testsupport::RunBinary(
            u"kestrane-admin"_s,
            {u"configure"_s, u"--data-path"_s, other + u"/data/"_s, u"--server"_s,
             testsupport::ServerDataSource(), u"--workstation"_s, acceptance::kWorkstation},
            elsewhere);
        ASSERT_EQ(configured.exitCode, 0) << configured.err.toStdString();
        usersFiles << u"Provider=Microsoft.Jet.OLEDB.4.0;Data Source="_s + other + u"/data/KS_users.mdb;"_s;
        heldData = testsupport::ServerDataSource() + u" catalog Kestrane"_s;
        // Asked from a folder of neither run, only the catalog's lock answers, whichever run won.
        asking.dataPath = temp_.filePath(u"asking/"_s);
    }
    const auto logLines = [&] {
        QStringList notes;
        for (const QString& users : usersFiles)
            for (const QStringList& row :
                 QueryRows(users, u"SELECT * FROM [Activity Log] ORDER BY ID"_s, {u"Notes"_s}))
                notes << row[0];
        return notes;
    };

    for (const bool whileTheFirstWaits : {false, true}) {
        SCOPED_TRACE(whileTheFirstWaits ? "second started while the first waits" : "started together");
        QueueAgencies(1, kAgencies);
        // Ten days ahead on the virtual clock: a "Waiting for" line an hour, more than the FIFO takes.
        Admin({u"schedule"_s, u"--user"_s, user_, u"--in"_s, u"864000"_s});
        const qsizetype logBefore = logLines().size();

        HeldRun first(temp_.filePath(u"first%1.out"_s.arg(whileTheFirstWaits)), here);
        if (whileTheFirstWaits) {
            ASSERT_TRUE(first.ReadUntil("Waiting for ")) << first.out.toStdString();
        }
        HeldRun second(temp_.filePath(u"second%1.out"_s.arg(whileTheFirstWaits)), elsewhere);
        // While the holder's output is held, only the other run can end.
        HeldRun* loser = nullptr;
        for (QDeadlineTimer deadline(60000); loser == nullptr && !deadline.hasExpired();) {
            if (first.process.waitForFinished(20))
                loser = &first;
            else if (second.process.waitForFinished(20))
                loser = &second;
        }
        ASSERT_NE(loser, nullptr) << "neither run ended";
        HeldRun& winner = loser == &first ? second : first;
        if (whileTheFirstWaits) {
            EXPECT_EQ(loser, &second);
        }

        EXPECT_EQ(loser->Finish(), 75);
        const QString process = u"rocess %1 on "_s.arg(winner.process.processId());
        const QStringList shown = loser->OutLines();
        ASSERT_EQ(shown.size(), 3) << loser->out.toStdString();
        EXPECT_EQ(shown[0], u"Another run holds this data. Rebuild not performed."_s);
        EXPECT_TRUE(shown[1].startsWith(u"P"_s + process + QSysInfo::machineHostName().section(u'.', 0, 0) +
                                        u" since "_s))
            << shown[1].toStdString();
        const QString err = QString::fromLocal8Bit(loser->process.readAllStandardError());
        EXPECT_TRUE(err.startsWith(u"Another run holds this data ("_s + heldData + u"): p"_s + process +
                                   QSysInfo::machineHostName() + u" since "_s))
            << err.toStdString();
        EXPECT_TRUE(err.endsWith(u". Rebuild not performed.\n"_s)) << err.toStdString();
        EXPECT_TRUE(
            shown[2].startsWith(u"Summary: 0 request(s) processed: another run holds this data; took "_s))
            << shown[2].toStdString();
        const std::optional<data::RunHolder> found = data::FindActiveRun(asking);
        ASSERT_TRUE(found.has_value());
        EXPECT_EQ(found->pid, winner.process.processId());
        EXPECT_EQ(found->host, QSysInfo::machineHostName());
        EXPECT_EQ(found->dataSource, heldData);

        ASSERT_EQ(winner.Finish(), 0) << winner.process.readAllStandardError().toStdString();
        EXPECT_EQ(PairsOf(u"SELECT * FROM Blacklist WHERE Manually_Entered = 0"_s), expected);
        EXPECT_TRUE(DuplicatePairs().empty());
        EXPECT_TRUE(Main(u"SELECT * FROM Disqualifications_Queue"_s, {u"Table_ID"_s}).empty());
        const QStringList log = logLines().mid(logBefore);
        ASSERT_EQ(log.size(), kAgencies + 2) << log.join(u'\n').toStdString();
        EXPECT_TRUE(log.front().startsWith(u"KSProcessDisqualificationsQueue began at "_s));
        EXPECT_TRUE(log.back().startsWith(u"KSProcessDisqualificationsQueue finished at "_s));
        EXPECT_FALSE(QFile(lockFile).size() > 0) << "the lock file names no holder after the run";
        EXPECT_FALSE(data::FindActiveRun(asking).has_value());
    }
}

// A write the database refuses (a trigger: no Blacklist row for one client) is shown as the system shows it and
// the run goes on; it ends with 74 and a line that counts the failures.
TEST_P(QueueRunTest, FailedWritesEndTheRunWith74AndACount) {
    Pairs expected = Expected(kRuleQuery);
    ASSERT_FALSE(expected.empty());
    const int32_t refused = expected.begin()->first;
    if (GetParam() == Engine::Server) {
        testsupport::ServerConnection(u"Kestrane"_s)
            .Exec(u"CREATE FUNCTION refuse_client() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN "
                  u"IF NEW.client_id = %1 THEN RAISE EXCEPTION 'refused'; END IF; RETURN NEW; END $$; "
                  u"CREATE TRIGGER refuse_client BEFORE INSERT ON blacklist FOR EACH ROW "
                  u"EXECUTE FUNCTION refuse_client()"_s.arg(refused));
    } else {
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open((dataPath_ + u"KS.mdb"_s).toUtf8().constData(), &db), SQLITE_OK);
        const QString trigger = u"CREATE TRIGGER refuse_client BEFORE INSERT ON Blacklist WHEN NEW.Client_ID = %1 "
                                u"BEGIN SELECT RAISE(ABORT, 'refused'); END"_s.arg(refused);
        EXPECT_EQ(sqlite3_exec(db, trigger.toUtf8().constData(), nullptr, nullptr, nullptr), SQLITE_OK);
        sqlite3_close(db);
    }
    std::erase_if(expected, [&](const auto& pair) { return pair.first == refused; });
    QueueAgencies(1, kAgencies);

    const ChildResult run = testsupport::RunBinary(kProgram, {}, testsupport::ChildEnvironment(config_));

    EXPECT_EQ(run.exitCode, 74) << run.err.toStdString();
    const int failures = static_cast<int>(run.err.count(u"** Update Failed **"_s));
    EXPECT_GT(failures, 0);
    ASSERT_GE(run.OutLines().size(), 2);
    EXPECT_EQ(run.OutLines().at(run.OutLines().size() - 2),
              u"%1 write(s) failed in this run: 0 update(s), 0 delete(s), %1 add(s)."_s.arg(failures));
    EXPECT_EQ(PairsOf(u"SELECT * FROM Blacklist WHERE Manually_Entered = 0"_s), expected);
    const auto log = Log();
    ASSERT_FALSE(log.empty());
    EXPECT_TRUE(log.back()[0].startsWith(u"KSProcessDisqualificationsQueue finished at "_s));
}

INSTANTIATE_TEST_SUITE_P(Engines, QueueRunTest, ::testing::Values(Engine::Jet, Engine::Server),
                         acceptance::EngineName);

}  // namespace
