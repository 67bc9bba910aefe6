// kestrane-admin guards the data: every refused command exits with its status and a message, and leaves the
// databases and the settings as they were, on both engines; a write waits out a lock for a bounded time.
#include "admin_fixture.h"

#include "ado/connection.h"
#include "support/query_rows.h"
#include "support/server_connection.h"

#include <QFile>
#include <QProcess>

#include <sqlite3.h>

#include <map>
#include <memory>
#include <ostream>
#include <tuple>

using namespace Qt::StringLiterals;

namespace {

using admintest::AdminTest;
using admintest::Workstation;
using testsupport::ChildResult;
using testsupport::Engine;

struct Refusal {
    const char* name;
    QStringList arguments;  // "PWFILE" stands for a file holding a password with a ";"
    int status;
    QString message;  // part of standard error
};

// The commands that reach the main database, which take the workstation's own catalog on the server.
const QStringList kMainCommands{u"enqueue"_s, u"schedule"_s, u"show"_s, u"generate"_s};

const Refusal kRefusals[] = {
    Refusal{"NoCommand", {}, 64, u"COMMAND"_s},
    Refusal{"UnknownCommand", {u"rebuild"_s}, 64, u"unknown command \"rebuild\""_s},
    Refusal{"InitWithoutLocation", {u"init"_s}, 64, u"Give --data-path"_s},
    Refusal{"ConfigureNothing", {u"configure"_s}, 64, u"Nothing to configure"_s},
    Refusal{
        "UnknownDatasourceType", {u"configure"_s, u"--datasource-type"_s, u"Foo"_s}, 64, u"not \"Foo\""_s},
    Refusal{"SemicolonInDataPath", {u"configure"_s, u"--data-path"_s, u"/srv/a;b"_s}, 64, u"a \";\""_s},
    Refusal{
        "SemicolonInPassword",
        {u"configure"_s, u"--server"_s, u"db1"_s, u"--login"_s, u"ks"_s, u"--password-file"_s, u"PWFILE"_s},
        64,
        u"The password cannot hold a \";\""_s},
    Refusal{"PasswordOnTheCommandLine",
            {u"configure"_s, u"--server"_s, u"db1"_s, u"--login"_s, u"ks"_s, u"--password"_s, u"x"_s},
            64,
            u"--password-file"_s},
    Refusal{"UnreadablePasswordFile",
            {u"configure"_s, u"--server"_s, u"db1"_s, u"--login"_s, u"ks"_s, u"--password-file"_s,
             u"/nonexistent/pw"_s},
            66,
            u"Cannot read the password file"_s},
    Refusal{
        "EmptyWorkstationSetting", {u"configure"_s, u"--workstation"_s, u""_s}, 64, u"must not be empty"_s},
    Refusal{"EmptyUser", {u"add-user"_s, u""_s}, 64, u"NAME must not be empty"_s},
    Refusal{"BlankWorkstation", {u"add-workstation"_s, u"  "_s}, 64, u"NAME must not be empty"_s},
    Refusal{"UnknownOption", {u"add-workstation"_s, u"WS"_s, u"--active"_s}, 64, u"Unknown option"_s},
    Refusal{
        "SecondUser", {u"add-user"_s, u"planner"_s}, 65, u"\"planner\" is already registered with ID 1"_s},
    Refusal{"SecondWorkstation", {u"add-workstation"_s, u"WS-01"_s}, 65, u"already registered"_s},
    Refusal{"ScheduleBothTimes",
            {u"schedule"_s, u"--user"_s, u"1"_s, u"--in"_s, u"5"_s, u"--at"_s, u"2030-01-01 10:00:00"_s},
            64,
            u"one of --at or --in"_s},
    Refusal{"ScheduleBadTime",
            {u"schedule"_s, u"--user"_s, u"1"_s, u"--at"_s, u"tomorrow"_s},
            64,
            u"--at must read"_s},
    Refusal{"ClearWithUser", {u"schedule"_s, u"--clear"_s, u"--user"_s, u"1"_s}, 64, u"--clear takes"_s},
    Refusal{"ScheduleUserZero",
            {u"schedule"_s, u"--user"_s, u"0"_s, u"--in"_s, u"0"_s},
            64,
            u"User 0 means that nothing is scheduled"_s},
    Refusal{"ScheduleInThePast",
            {u"schedule"_s, u"--user"_s, u"1"_s, u"--in"_s, u"-5"_s},
            64,
            u"--in must be a whole number from 0 up"_s},
    Refusal{"ScheduleUnknownUser",
            {u"schedule"_s, u"--user"_s, u"999"_s, u"--in"_s, u"0"_s},
            65,
            u"There is no user 999"_s},
    Refusal{"EnqueueNegativeId", {u"enqueue"_s, u"client"_s, u"-5"_s}, 64, u"-5 is not an ID"_s},
    Refusal{"EnqueueZero", {u"enqueue"_s, u"agency"_s, u"0"_s}, 64, u"ID must be a whole number from 1 up"_s},
    Refusal{"EnqueueUnknownAgency", {u"enqueue"_s, u"agency"_s, u"999"_s}, 65, u"There is no agency 999"_s},
    Refusal{"EnqueueUnknownClient", {u"enqueue"_s, u"client"_s, u"4711"_s}, 65, u"There is no client 4711"_s},
    Refusal{"ShowLastNegative", {u"show"_s, u"log"_s, u"--last"_s, u"-1"_s}, 64, u"--last must be"_s},
    Refusal{"ShowUnknownFormat", {u"show"_s, u"queue"_s, u"--format"_s, u"xml"_s}, 64, u"not \"xml\""_s},
    Refusal{"GenerateNoClients", {u"generate"_s, u"--clients"_s, u"0"_s}, 64, u"--clients must be"_s},
    Refusal{"GenerateOverData", {u"generate"_s}, 65, u"already holds rows"_s},
};

class AdminRefusalTest : public AdminTest, public ::testing::WithParamInterface<Engine> {};

TEST_P(AdminRefusalTest, EachRefusalExitsWithItsStatusAndChangesNothing) {
    if (GetParam() == Engine::Server)
        KESTRANE_REQUIRE_SERVER();
    SetUpWorkstation(GetParam());
    QFile password(temp_.filePath(u"password"_s));
    ASSERT_TRUE(password.open(QIODevice::WriteOnly));
    password.write("pass;word\n");
    password.close();

    for (const Refusal& refusal : kRefusals) {
        SCOPED_TRACE(refusal.name);
        QStringList arguments;
        for (const QString& argument : refusal.arguments)
            arguments << (argument == u"PWFILE"_s ? password.fileName() : argument);
        if (!arguments.isEmpty() && kMainCommands.contains(arguments.first()))
            arguments += Catalog();
        const QStringList before = Snapshot();

        const ChildResult result = Admin(arguments);

        EXPECT_EQ(result.exitCode, refusal.status) << result.err.toStdString();
        EXPECT_TRUE(result.err.contains(refusal.message)) << result.err.toStdString();
        // The usage follows a wrong command line, and only a wrong command line.
        EXPECT_EQ(result.err.contains(u"Usage: kestrane-admin"_s), refusal.status == 64)
            << result.err.toStdString();
        EXPECT_TRUE(result.out.isEmpty()) << result.out.toStdString();
        EXPECT_EQ(Snapshot(), before);
    }
}

INSTANTIATE_TEST_SUITE_P(Engines, AdminRefusalTest, ::testing::Values(Engine::Jet, Engine::Server),
                         [](const ::testing::TestParamInfo<Engine>& info) {
                             return admintest::EngineName(info.param);
                         });

// Another program holds the queue locked: on the files a write transaction, on the server a table lock.
class QueueLock {
public:
    QueueLock(Engine engine, const Workstation& workstation) {
        if (engine == Engine::Server) {
            server_ = std::make_unique<testsupport::ServerConnection>(workstation.catalog_);
            server_->Exec(u"BEGIN; LOCK TABLE disqualifications_queue IN EXCLUSIVE MODE"_s);
            return;
        }
        EXPECT_EQ(sqlite3_open(QFile::encodeName(workstation.dataPath_ + u"KS.mdb"_s).constData(), &file_),
                  SQLITE_OK);
        EXPECT_EQ(sqlite3_exec(file_, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
    }
    ~QueueLock() { Release(); }
    void Release() {
        if (server_)
            server_->Exec(u"ROLLBACK"_s);
        server_.reset();
        if (file_)
            sqlite3_close(file_);  // rolls the transaction back
        file_ = nullptr;
    }

private:
    std::unique_ptr<testsupport::ServerConnection> server_;
    sqlite3* file_ = nullptr;
};

class AdminLockTest : public AdminTest, public ::testing::WithParamInterface<std::tuple<Engine, bool>> {};

TEST_P(AdminLockTest, AWriteWaitsOutALockAndGivesUpAfterItsBound) {
    const auto [engine, released] = GetParam();
    if (engine == Engine::Server)
        KESTRANE_REQUIRE_SERVER();
    SetUpWorkstation(engine);
    QueueLock lock(engine, *this);

    // The child waits on its virtual clock; each try meets the engine's own brief real wait.
    QProcess enqueue;
    enqueue.setProcessEnvironment(environment_);
    enqueue.setReadChannel(QProcess::StandardError);
    enqueue.start(
        QStringLiteral(KESTRANE_BIN_DIR "/kestrane-admin"),
        QStringList{u"enqueue"_s, u"agency"_s, u"1"_s, u"--lock-wait"_s, released ? u"60"_s : u"1"_s} +
            Catalog());
    QString err;
    while (!err.contains(u"waiting up to"_s) && enqueue.waitForReadyRead(30000))
        err += QString::fromLocal8Bit(enqueue.readAllStandardError());
    EXPECT_TRUE(err.contains(u"is locked, probably by a running KSProcessDisqualificationsQueue"_s))
        << err.toStdString();
    if (released)
        lock.Release();
    ASSERT_TRUE(enqueue.state() == QProcess::NotRunning || enqueue.waitForFinished(30000));
    err += QString::fromLocal8Bit(enqueue.readAllStandardError());
    lock.Release();

    const size_t queued =
        testsupport::QueryRows(MainString(), u"SELECT * FROM Disqualifications_Queue"_s, {u"ID"_s}).size();
    if (released) {
        EXPECT_EQ(enqueue.exitCode(), 0) << err.toStdString();
        EXPECT_EQ(queued, 3u);
    } else {
        EXPECT_EQ(enqueue.exitCode(), 75);
        EXPECT_TRUE(err.contains(u"it stayed locked for 1 s"_s)) << err.toStdString();
        EXPECT_EQ(queued, 2u);
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, AdminLockTest,
                         ::testing::Combine(::testing::Values(Engine::Jet, Engine::Server),
                                            ::testing::Bool()),
                         [](const ::testing::TestParamInfo<std::tuple<Engine, bool>>& info) {
                             return admintest::EngineName(std::get<0>(info.param)) +
                                    (std::get<1>(info.param) ? "Released" : "HeldForGood");
                         });

}  // namespace
