// kestrane-admin guards the data: every refused command exits with its status and a message, and leaves the
// databases and the settings as they were, on both engines; a write waits out a lock for a bounded time.
#include "admin_fixture.h"

#include <QProcess>

#include <sqlite3.h>

#include <memory>
#include <utility>

namespace {

using namespace admintest;

INSTANTIATE_TEST_SUITE_P(Engines, AdminEngineTest, ::testing::Values(Engine::Jet, Engine::Server),
                         [](const ::testing::TestParamInfo<Engine>& info) {
                             return info.param == Engine::Jet ? "Jet" : "Server";
                         });

// A refused command line ("|" between the arguments; "PWFILE" stands for a file holding a password with a
// ";"), its status, and a part of its standard error.
struct Refusal {
    const char* name;
    QString arguments;
    int status;
    QString message;
};

// The commands that reach the main database, which take the workstation's own catalog on the server.
const QStringList kMainCommands{u"enqueue"_s, u"schedule"_s, u"show"_s, u"generate"_s};

// clang-format off
const Refusal kRefusals[] = {
    {"NoCommand", u""_s, 64, u"COMMAND"_s},
    {"UnknownCommand", u"rebuild"_s, 64, u"unknown command \"rebuild\""_s},
    {"InitWithoutLocation", u"init"_s, 64, u"Give --data-path"_s},
    {"InitOverTheData", u"init|WHERE"_s, 65, u"already exists"_s},
    {"ConfigureNothing", u"configure"_s, 64, u"Nothing to configure"_s},
    {"UnknownDatasourceType", u"configure|--datasource-type|Foo"_s, 64, u"not \"Foo\""_s},
    {"SemicolonInDataPath", u"configure|--data-path|/srv/a;b"_s, 64, u"a \";\""_s},
    {"SemicolonInPassword", u"configure|--server|db1|--login|ks|--password-file|PWFILE"_s, 64,
     u"The password cannot hold a \";\""_s},
    {"PasswordOnTheCommandLine", u"configure|--server|db1|--login|ks|--password|x"_s, 64, u"--password-file"_s},
    {"UnreadablePasswordFile", u"configure|--server|db1|--login|ks|--password-file|/nonexistent/pw"_s, 66,
     u"Cannot read the password file"_s},
    {"EmptyWorkstationSetting", u"configure|--workstation|"_s, 64, u"must not be empty"_s},
    {"EmptyUser", u"add-user|"_s, 64, u"NAME must not be empty"_s},
    {"BlankWorkstation", u"add-workstation|  "_s, 64, u"NAME must not be empty"_s},
    {"UnknownOption", u"add-workstation|WS|--active"_s, 64, u"Unknown option"_s},
    {"SecondUser", u"add-user|planner"_s, 65, u"\"planner\" is already registered with ID 1"_s},
    {"SecondWorkstation", u"add-workstation|WS-01"_s, 65, u"already registered"_s},
    {"ScheduleBothTimes", u"schedule|--user|1|--in|5|--at|2030-01-01 10:00:00"_s, 64, u"one of --at or --in"_s},
    {"ScheduleBadTime", u"schedule|--user|1|--at|tomorrow"_s, 64, u"--at must read"_s},
    {"ClearWithUser", u"schedule|--clear|--user|1"_s, 64, u"--clear takes"_s},
    {"ScheduleUserZero", u"schedule|--user|0|--in|0"_s, 64, u"User 0 means that nothing is scheduled"_s},
    {"ScheduleInThePast", u"schedule|--user|1|--in|-5"_s, 64, u"--in must be a whole number from 0 up"_s},
    {"ScheduleUnknownUser", u"schedule|--user|999|--in|0"_s, 65, u"There is no user 999"_s},
    {"EnqueueNegativeId", u"enqueue|client|-5"_s, 64, u"-5 is not an ID"_s},
    {"EnqueueZero", u"enqueue|agency|0"_s, 64, u"ID must be a whole number from 1 up"_s},
    {"EnqueueUnknownAgency", u"enqueue|agency|999"_s, 65, u"There is no agency 999"_s},
    {"EnqueueUnknownClient", u"enqueue|client|4711"_s, 65, u"There is no client 4711"_s},
    {"ShowLastNegative", u"show|log|--last|-1"_s, 64, u"--last must be"_s},
    {"ShowUnknownFormat", u"show|queue|--format|xml"_s, 64, u"not \"xml\""_s},
    {"GenerateNoClients", u"generate|--clients|0"_s, 64, u"--clients must be"_s},
    {"GenerateOverData", u"generate"_s, 65, u"already holds rows"_s},
};
// clang-format on

TEST_P(AdminEngineTest, EachRefusalExitsWithItsStatusAndChangesNothing) {
    QFile password(temp_.filePath(u"password"_s));
    ASSERT_TRUE(password.open(QIODevice::WriteOnly));
    password.write("pass;word\n");
    password.close();

    for (const Refusal& refusal : kRefusals) {
        SCOPED_TRACE(refusal.name);
        QStringList arguments;
        for (const QString& argument :
             refusal.arguments.isEmpty() ? QStringList() : refusal.arguments.split(u'|'))
            arguments << (argument == u"PWFILE"_s  ? QStringList{password.fileName()}
                          : argument != u"WHERE"_s ? QStringList{argument}
                          : GetParam() == Engine::Jet
                              ? QStringList{u"--data-path"_s, dataPath_}
                              : QStringList{u"--server"_s, testsupport::ServerDataSource()} + Catalog());
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

// Another program holds the queue locked (on the files a write transaction, on the server a table lock) while
// an enqueue waits: given up after its bound, or done once the lock goes.
TEST_P(AdminEngineTest, AWriteWaitsOutALockAndGivesUpAfterItsBound) {
    for (const bool released : {false, true}) {
        SCOPED_TRACE(released ? "released" : "held for good");
        std::unique_ptr<testsupport::ServerConnection> server;
        sqlite3* file = nullptr;
        if (GetParam() == Engine::Server) {
            server = std::make_unique<testsupport::ServerConnection>(catalog_);
            server->Exec(u"BEGIN; LOCK TABLE disqualifications_queue IN EXCLUSIVE MODE"_s);
        } else {
            ASSERT_EQ(sqlite3_open(QFile::encodeName(dataPath_ + u"KS.mdb"_s).constData(), &file), SQLITE_OK);
            ASSERT_EQ(sqlite3_exec(file, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
        }
        const auto release = [&] {
            server.reset();                               // ends the session, and with it the transaction
            sqlite3_close(std::exchange(file, nullptr));  // rolls the transaction back
        };

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
            release();
        ASSERT_TRUE(enqueue.state() == QProcess::NotRunning || enqueue.waitForFinished(30000));
        err += QString::fromLocal8Bit(enqueue.readAllStandardError());
        release();

        EXPECT_EQ(enqueue.exitCode(), released ? 0 : 75) << err.toStdString();
        EXPECT_EQ(err.contains(u"it stayed locked for 1 s"_s), !released) << err.toStdString();
        EXPECT_EQ(QueryRows(MainString(), u"SELECT * FROM Disqualifications_Queue"_s, {u"ID"_s}).size(),
                  released ? 3u : 2u);
    }
}

}  // namespace
