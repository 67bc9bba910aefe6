// The product's data is shared and lives on disks that fail: another program commits during the rebuilds, a
// file cannot be written or grow. Each run ends as an undisturbed one does, or at once with its own number
// and message, leaving the data as it was.
#include "acceptance/queue_run_fixture.h"
#include "ado/connection.h"

#include <QDir>
#include <QFile>
#include <QProcess>

#include <iterator>

using namespace Qt::StringLiterals;

namespace {

using acceptance::ChildResult;
using acceptance::Engine;

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
    // A fresh data set in folder name with three clients and six agencies queued and a rebuild due now.
    void PrepareRun(const QString& name) {
        MakeDataSet(name, {kClients, kAgencies, kSeed});
        Enqueue({{u"People"_s, 5},
                 {u"People"_s, 50},
                 {u"People"_s, 500},
                 {u"Agencies"_s, 1},
                 {u"Agencies"_s, 2},
                 {u"Agencies"_s, 3},
                 {u"Agencies"_s, 4},
                 {u"Agencies"_s, 5},
                 {u"Agencies"_s, 6}});
    }
    // The rows the other program has committed so far.
    int WriterRows() const {
        return Rows(u"SELECT COUNT(*) AS N FROM People WHERE [Last Name] = 'Writer'"_s, {u"N"_s})[0].toInt();
    }
};

TEST_P(SharedDataTest, AnotherProgramCommittingDuringTheRebuildsLosesNoEntry) {
    PrepareRun(u"undisturbed"_s);
    ASSERT_FALSE(HasFailure());
    const ChildResult undisturbed = Run();
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
    writer.start(u"bash"_s, {u"-c"_s, WriterScript(engine_)});
    ASSERT_TRUE(writer.waitForReadyRead(30000)) << writer.readAllStandardError().toStdString();
    const int before = WriterRows();
    const ChildResult disturbed = Run();
    const int during = WriterRows() - before;
    writer.kill();
    writer.waitForFinished();

    EXPECT_EQ(disturbed.exitCode, 0) << disturbed.err.toStdString();
    EXPECT_FALSE(disturbed.err.contains(u"Failed"_s)) << disturbed.err.toStdString();
    EXPECT_GE(during, 3) << "the other program committed " << during << " times during the run, " << before
                         << " before it";
    EXPECT_EQ(PairsOf(u"SELECT * FROM Blacklist"_s), expected);
    EXPECT_TRUE(DuplicatePairs().empty());
}

INSTANTIATE_TEST_SUITE_P(Engines, SharedDataTest, ::testing::Values(Engine::Jet, Engine::Server),
                         acceptance::EngineName);

// What no wait can clear: a file that is no database, a file or folder that cannot be written, a disk that is
// full. The run ends at once (or after what it could do) with the condition's own number and words, never
// waiting on it as on another workstation's lock, and leaves the data as it was.
using PermanentConditionTest = acceptance::QueueRunFixture;

TEST_P(PermanentConditionTest, EndsWithItsOwnNumberAndLeavesTheDataAsItWas) {
    // The queued requests, then the schedule's requester.
    const auto requests = [&] {
        return Rows(u"SELECT * FROM Disqualifications_Queue ORDER BY ID"_s,
                    {u"Table_Name"_s, u"Table_ID"_s}) +
               Rows(u"SELECT * FROM [Parameters]"_s, {u"Next_Rebuild_Requested_By"_s});
    };
    // What the run leaves: the data as it was; the main file as it was (empty); or the request it was working
    // on and those after it still queued, and the schedule still set, so that the next run does them again.
    enum class Left { Unchanged, EmptyFile, RequestsQueued };
    const QFile::Permissions readOnly = QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther;
    const QFile::Permissions folderReadOnly = readOnly | QFile::ExeOwner | QFile::ExeGroup | QFile::ExeOther;
    const struct {
        const char* name;
        QString file;  // made empty (no permissions given) or given permissions; "" for none
        QFile::Permissions permissions;
        qint64 fileSizeLimit;
        QStringList said;  // on standard output or error; %1 is the data folder
        Left left;
    } cases[] = {
        {"a main file of zero bytes",
         u"KS.mdb"_s,
         {},
         0,
         {u"Run-time error '-2147467259'"_s, u"Unrecognized database format"_s},
         Left::EmptyFile},
        {"a read-only main file",
         u"KS.mdb"_s,
         readOnly,
         0,
         {u"Unknown error #3027 trying to open connection."_s,
          u"Cannot update. Database or object is read-only. ('%1/KS.mdb' cannot be written.)"_s},
         Left::Unchanged},
        {"a read-only data folder",
         u"."_s,
         folderReadOnly,
         0,
         {u"Run-time error '-2147467259'"_s,
          u"Cannot update. Database or object is read-only. ('%1' cannot be written.)"_s},
         Left::Unchanged},
        // No file may grow past 64 KiB: the write-ahead log fills up during the first rebuild.
        {"a full disk",
         {},
         {},
         64 * 1024,
         {u"Run-time error '-2147467259'"_s, u"disk I/O error The engine rolled back the "_s,
          u"insert(s) into Blacklist."_s},
         Left::RequestsQueued},
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        const auto& c = cases[i];
        SCOPED_TRACE(c.name);
        MakeDataSet(u"case%1"_s.arg(i), {300, 6, kSeed});
        QueueAgencies(1, 3);
        ado::ClearConnectionPool();
        const QStringList before = Outcome();
        const QStringList queued = requests();
        // The unprivileged user owns the data and settings, as the workstation's user would.
        const auto [uid, gid] = testsupport::UnprivilegedUser();
        for (const QString& path : {temp_.path(), temp_.filePath(u"case%1"_s.arg(i))})
            ASSERT_TRUE(QFile::setPermissions(path, folderReadOnly | QFile::WriteOwner));
        const QString chown = u"chown -R %1:%2 '%3' '%4'"_s.arg(uid).arg(gid).arg(dataPath_, config_);
        ASSERT_EQ(std::system(chown.toLocal8Bit().constData()), 0);
        const QString file = QDir(dataPath_).filePath(c.file);
        if (!c.file.isEmpty()) {
            ASSERT_TRUE(c.permissions.toInt() != 0 ? QFile::setPermissions(file, c.permissions)
                                                   : QFile::resize(file, 0));
        }

        const ChildResult run = Run({}, {.unprivileged = true, .fileSizeLimit = c.fileSizeLimit});
        const QString said = run.out + run.err;
        EXPECT_EQ(run.exitCode, 1) << said.toStdString();
        for (const QString& text : c.said)
            EXPECT_TRUE(said.contains(QString(text).replace(u"%1"_s, dataPath_.chopped(1))))
                << text.toStdString() << "\n"
                << said.toStdString();
        EXPECT_FALSE(said.contains(u"Check other"_s)) << "waited on as a lock";
        ASSERT_TRUE(QFile::setPermissions(dataPath_, folderReadOnly | QFile::WriteOwner));
        ado::ClearConnectionPool();
        if (c.left == Left::Unchanged) {
            EXPECT_EQ(Outcome(), before);
        } else if (c.left == Left::EmptyFile) {
            EXPECT_EQ(QFileInfo(file).size(), 0);
        } else {
            const QStringList left = requests();
            ASSERT_GE(left.size(), 2);
            EXPECT_EQ(left.back(), queued.back());
            EXPECT_EQ(queued.mid(queued.size() - left.size()), left);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Engines, PermanentConditionTest, ::testing::Values(Engine::Jet),
                         acceptance::EngineName);

}  // namespace
