// The product's data is shared and lives on disks and servers that fail: another program commits during the
// rebuilds, the server restarts in the middle of a run, a file cannot be written or grow. Each run ends as an
// undisturbed one does, or at once with its own number and message, leaving the data as it was.
#include "acceptance/queue_run_fixture.h"
#include "ado/connection.h"
#include "support/child_process.h"
#include "support/private_server.h"

#include <QDir>
#include <QFile>
#include <QProcess>

#include <gtest/gtest.h>

#include <functional>

#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

using acceptance::kProgram;
using testsupport::Engine;

constexpr int kClients = 3000;
constexpr int kAgencies = 12;
constexpr int kSeed = 20261206;

// A shell loop that commits, one statement at a time, a request for a client that does not exist and a new
// person, and prints a line after each commit, until it is killed.
QString WriterScript(Engine engine) {
    const QString statements =
        u"INSERT INTO Disqualifications_Queue (Table_Name, Table_ID, Creation_Date) VALUES ('People', "
        u"900000 + $i, '2030-01-01 00:00:00'); INSERT INTO People ([Last Name]) VALUES ('Writer');"_s;
    if (engine == Engine::Jet) {
        return u"i=0; while :; do i=$((i+1)); sqlite3 -cmd '.timeout 2000' \"$DB\" \"%1\" && echo ok; done"_s
            .arg(statements);
    }
    // The server's names are lower case and quoted where they hold a blank.
    const QString server = QString(statements).replace(u"[Last Name]"_s, u"\\\"last name\\\""_s);
    return u"i=0; while :; do i=$((i+1)); psql -qAt -h \"$PGHOST\" -p \"$PGPORT\" -d Kestrane -c \"BEGIN; "
           u"%1 COMMIT;\" >/dev/null && echo ok; done"_s.arg(server);
}

class SharedDataTest : public acceptance::QueueRunFixture {
protected:
    // A fresh data set in folder name with six agencies and three clients queued and a rebuild due now.
    void PrepareRun(const QString& name) {
        MakeDataSet(name, {kClients, kAgencies, kSeed});
        for (int agency = 1; agency <= 6; ++agency)
            Admin({u"enqueue"_s, u"agency"_s, QString::number(agency)});
        for (int client : {5, 50, 500})
            Admin({u"enqueue"_s, u"client"_s, QString::number(client)});
        Admin({u"schedule"_s, u"--user"_s, user_, u"--in"_s, u"0"_s});
    }

    testsupport::ChildResult Run() {
        return testsupport::RunBinary(kProgram, {}, testsupport::ChildEnvironment(config_));
    }

    // The rows the other program has committed so far.
    int WriterRows() const {
        return Rows(MainString(), u"SELECT COUNT(*) AS N FROM People WHERE [Last Name] = 'Writer'"_s, {u"N"_s})
            .at(0)
            .at(0)
            .toInt();
    }
};

TEST_P(SharedDataTest, AnotherProgramCommittingDuringTheRebuildsLosesNoEntry) {
    PrepareRun(u"undisturbed"_s);
    ASSERT_FALSE(HasFailure());
    const testsupport::ChildResult undisturbed = Run();
    ASSERT_EQ(undisturbed.exitCode, 0) << undisturbed.err.toStdString();
    const acceptance::Pairs expected = PairsOf(u"SELECT * FROM Blacklist"_s);

    PrepareRun(u"disturbed"_s);
    ASSERT_FALSE(HasFailure());
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"DB"_s, dataPath_ + u"KS.mdb"_s);
    environment.insert(u"PGHOST"_s, qEnvironmentVariable("KESTRANE_TEST_PG_HOST"));
    environment.insert(u"PGPORT"_s, qEnvironmentVariable("KESTRANE_TEST_PG_PORT"));
    QProcess writer;
    writer.setProcessEnvironment(environment);
    writer.start(u"bash"_s, {u"-c"_s, WriterScript(GetParam())});
    ASSERT_TRUE(writer.waitForReadyRead(30000)) << writer.readAllStandardError().toStdString();
    const int before = WriterRows();
    const testsupport::ChildResult disturbed = Run();
    const int during = WriterRows() - before;
    writer.kill();
    writer.waitForFinished();

    EXPECT_EQ(disturbed.exitCode, 0) << disturbed.err.toStdString();
    EXPECT_FALSE(disturbed.err.contains(u"Failed"_s)) << disturbed.err.toStdString();
    EXPECT_GE(during, 3) << "the other program committed " << during << " times during the run, "
                          << before << " before it";
    EXPECT_EQ(PairsOf(u"SELECT * FROM Blacklist"_s), expected);
    EXPECT_TRUE(DuplicatePairs().empty());
}

INSTANTIATE_TEST_SUITE_P(Engines, SharedDataTest, ::testing::Values(Engine::Jet, Engine::Server),
                         acceptance::EngineName);

// The server is stopped as an administrator stops it, in the middle of the first agency's scans, and started
// again. The program's sleeps run a fiftieth of their length on the real clock, so that its five-minute bound
// on waiting for the server lasts six real seconds while the server is really away.
using ServerRestartTest = SharedDataTest;

TEST_P(ServerRestartTest, ARunOutlastsARestartOfTheServer) {
    PrepareRun(u"undisturbed"_s);
    ASSERT_FALSE(HasFailure());
    ASSERT_EQ(Run().exitCode, 0);
    const acceptance::Pairs expected = PairsOf(u"SELECT * FROM Blacklist"_s);

    testsupport::PrivateServer server;
    MakeDataSet(u"restarted"_s, {kClients, kAgencies, kSeed}, server.DataSource());
    for (int agency = 1; agency <= 6; ++agency)
        Admin({u"enqueue"_s, u"agency"_s, QString::number(agency)});
    for (int client : {5, 50, 500})
        Admin({u"enqueue"_s, u"client"_s, QString::number(client)});
    Admin({u"schedule"_s, u"--user"_s, user_, u"--in"_s, u"0"_s});
    ASSERT_FALSE(HasFailure());

    QProcess program;
    program.setProcessEnvironment(testsupport::ChildEnvironment(config_, u"now@50"_s));
    program.setStandardInputFile(QProcess::nullDevice());
    program.start(QStringLiteral(KESTRANE_BIN_DIR "/") + acceptance::kProgram);
    QByteArray out;
    while (!out.contains("Updating Blacklist based on") && program.waitForReadyRead(60000))
        out += program.readAllStandardOutput();
    ASSERT_TRUE(out.contains("Updating Blacklist based on")) << out.toStdString();
    server.Stop();
    server.Start();
    ASSERT_TRUE(program.waitForFinished(120000));
    const QString err = QString::fromLocal8Bit(program.readAllStandardError());
    EXPECT_EQ(program.exitCode(), 0) << err.toStdString();
    EXPECT_FALSE(err.contains(u"Failed"_s)) << err.toStdString();
    EXPECT_TRUE(err.contains(u"failing since"_s)) << "the run never met the server away:\n" << err.toStdString();
    ado::ClearConnectionPool();
    EXPECT_EQ(PairsOf(u"SELECT * FROM Blacklist"_s), expected);
    EXPECT_TRUE(DuplicatePairs().empty());
}

INSTANTIATE_TEST_SUITE_P(Engines, ServerRestartTest, ::testing::Values(Engine::Server), acceptance::EngineName);

// What no wait can clear: a file that is no database, a file or folder that cannot be written, a disk that is
// full. The run ends at once (or after what it could do) with the condition's own number and words, never
// waiting on it as on another workstation's lock, and leaves the data as it was.
class PermanentConditionTest : public acceptance::QueueRunFixture {
protected:
    // Everything a run may change, as text: the Blacklist, the queue and the schedule.
    QStringList State() const {
        QStringList state;
        const auto add = [&](const QString& sql, const QStringList& fields) {
            for (const QStringList& row : Rows(MainString(), sql, fields))
                state << row.join(u", "_s);
        };
        add(u"SELECT * FROM Blacklist ORDER BY ID"_s, {u"Client_ID"_s, u"Agency_ID"_s, u"Manually_Entered"_s});
        return state + Requests();
    }
    // The queued requests and the schedule, as text.
    QStringList Requests() const {
        QStringList requests;
        for (const QStringList& row : Rows(MainString(), u"SELECT * FROM Disqualifications_Queue ORDER BY ID"_s,
                                           {u"Table_Name"_s, u"Table_ID"_s}))
            requests << row.join(u", "_s);
        return requests + Rows(MainString(), u"SELECT * FROM [Parameters]"_s, {u"Next_Rebuild_Requested_By"_s})
                              .at(0);
    }
};

TEST_P(PermanentConditionTest, EndsWithItsOwnNumberAndLeavesTheDataAsItWas) {
    // What the run leaves: the data as it was; the main file as it was (empty); or the request it was working
    // on and those after it still queued, and the schedule still set, so that the next run does them again.
    enum class Left { Unchanged, EmptyFile, RequestsQueued };
    struct Case {
        const char* name;
        std::function<void(const QString& data)> make;  // given the data folder
        testsupport::ChildLimits limits;
        int exitCode;
        QStringList said;  // on standard output or error
        Left left;
    };
    const auto chmodPath = [](const QString& path, QFile::Permissions permissions) {
        ASSERT_TRUE(QFile::setPermissions(path, permissions)) << path.toStdString();
    };
    const QFile::Permissions readOnly = QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther;
    const QFile::Permissions folderReadOnly =
        readOnly | QFile::ExeOwner | QFile::ExeGroup | QFile::ExeOther;
    const std::vector<Case> cases = {
        {"a main file of zero bytes",
         [](const QString& data) { ASSERT_TRUE(QFile::resize(data + u"KS.mdb"_s, 0)); },
         {.unprivileged = true},
         1,
         {u"Run-time error '-2147467259'"_s, u"Unrecognized database format"_s},
         Left::EmptyFile},
        {"a read-only main file", [&](const QString& data) { chmodPath(data + u"KS.mdb"_s, readOnly); },
         {.unprivileged = true},
         1,
         {u"Unknown error #3027 trying to open connection."_s,
          u"Cannot update. Database or object is read-only. ('%1KS.mdb' cannot be written.)"_s},
         Left::Unchanged},
        {"a read-only data folder", [&](const QString& data) { chmodPath(data, folderReadOnly); },
         {.unprivileged = true},
         1,
         {u"Run-time error '-2147467259'"_s,
          u"Cannot update. Database or object is read-only. ('%2' cannot be written.)"_s},
         Left::Unchanged},
        // No file may grow past 64 KiB: the write-ahead log fills up during the first rebuild.
        {"a full disk", [](const QString&) {}, {.unprivileged = true, .fileSizeLimit = 64 * 1024}, 1,
         {u"Run-time error '-2147467259'"_s,
          u"disk I/O error The engine rolled back the "_s, u"insert(s) into Blacklist."_s},
         Left::RequestsQueued},
    };
    for (size_t i = 0; i < cases.size(); ++i) {
        const Case& c = cases[i];
        SCOPED_TRACE(c.name);
        MakeDataSet(u"case%1"_s.arg(i), {300, 6, kSeed});
        for (int agency = 1; agency <= 3; ++agency)
            Admin({u"enqueue"_s, u"agency"_s, QString::number(agency)});
        Admin({u"schedule"_s, u"--user"_s, user_, u"--in"_s, u"0"_s});
        ado::ClearConnectionPool();
        const QStringList before = State();
        const QStringList queued = Requests();
        // The unprivileged user owns the data and settings, as the workstation's user would.
        const auto [uid, gid] = testsupport::UnprivilegedUser();
        for (const QString& path : {temp_.path(), temp_.filePath(u"case%1"_s.arg(i))})
            chmodPath(path, folderReadOnly | QFile::WriteOwner);
        ASSERT_EQ(std::system(u"chown -R %1:%2 '%3' '%4'"_s.arg(uid).arg(gid).arg(dataPath_, config_)
                                  .toLocal8Bit()
                                  .constData()),
                  0);
        c.make(dataPath_);

        const testsupport::ChildResult run = testsupport::RunBinary(
            acceptance::kProgram, {}, testsupport::ChildEnvironment(config_), c.limits);
        const QString said = run.out + run.err;
        EXPECT_EQ(run.exitCode, c.exitCode) << said.toStdString();
        for (const QString& text : c.said)
            EXPECT_TRUE(said.contains(QString(text).replace(u"%1"_s, dataPath_).replace(u"%2"_s, dataPath_.chopped(1))))
                << text.toStdString() << "\n" << said.toStdString();
        EXPECT_FALSE(said.contains(u"Check other"_s)) << "waited on as a lock";
        chmodPath(dataPath_, folderReadOnly | QFile::WriteOwner);
        ado::ClearConnectionPool();
        switch (c.left) {
            case Left::Unchanged:
                EXPECT_EQ(State(), before);
                break;
            case Left::EmptyFile:
                EXPECT_EQ(QFileInfo(dataPath_ + u"KS.mdb"_s).size(), 0);
                break;
            case Left::RequestsQueued: {
                const QStringList left = Requests();  // the requests, then the schedule's requester
                ASSERT_GE(left.size(), 2);
                EXPECT_EQ(left.back(), queued.back());
                EXPECT_EQ(queued.mid(queued.size() - left.size()), left);
                break;
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Engines, PermanentConditionTest, ::testing::Values(Engine::Jet), acceptance::EngineName);

}  // namespace
