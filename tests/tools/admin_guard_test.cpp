// kestrane-admin guards the data: every refused command exits with its status and a message, and leaves the
// databases and the settings as they were, on both engines; a write waits out a lock for a bounded time.
#include "admin_fixture.h"

#include "support/query_rows.h"
#include "support/server_connection.h"

#include <QFile>
#include <QProcess>

#include <sqlite3.h>

#include <memory>
#include <utility>

using namespace Qt::StringLiterals;

namespace {

using admintest::AdminEngineTest;
using testsupport::ChildResult;
using testsupport::Engine;
using testsupport::QueryRows;

struct Refusal {
    const char* name;
    QStringList arguments;  // "PWFILE" stands for a file holding a password with a ";"
    int status;
    QString message;  // part of standard error
};

// The commands that reach the main database, which take the workstation's own catalog on the server.
const QStringList kMainCommands{u"enqueue"_s, u"schedule"_s, u"show"_s, u"generate"_s};

// clang-format off
const Refusal kRefusals[] = {
    {"NoCommand", {}, 64, u"COMMAND"_s},
    {"UnknownCommand", {u"rebuild"_s}, 64, u"unknown command \"rebuild\""_s},
    {"InitWithoutLocation", {u"init"_s}, 64, u"Give --data-path"_s},
    {"ConfigureNothing", {u"configure"_s}, 64, u"Nothing to configure"_s},
    {"UnknownDatasourceType", {u"configure"_s, u"--datasource-type"_s, u"Foo"_s}, 64, u"not \"Foo\""_s},
    {"SemicolonInDataPath", {u"configure"_s, u"--data-path"_s, u"/srv/a;b"_s}, 64, u"a \";\""_s},
    {"SemicolonInPassword", {u"configure"_s, u"--server"_s, u"db1"_s, u"--login"_s, u"ks"_s, u"--password-file"_s,
     u"PWFILE"_s}, 64, u"The password cannot hold a \";\""_s},
    {"PasswordOnTheCommandLine", {u"configure"_s, u"--server"_s, u"db1"_s, u"--login"_s, u"ks"_s, u"--password"_s,
     u"x"_s}, 64, u"--password-file"_s},
    {"UnreadablePasswordFile", {u"configure"_s, u"--server"_s, u"db1"_s, u"--login"_s, u"ks"_s,
     u"--password-file"_s, u"/nonexistent/pw"_s}, 66, u"Cannot read the password file"_s},
    {"EmptyWorkstationSetting", {u"configure"_s, u"--workstation"_s, u""_s}, 64, u"must not be empty"_s},
    {"EmptyUser", {u"add-user"_s, u""_s}, 64, u"NAME must not be empty"_s},
    {"BlankWorkstation", {u"add-workstation"_s, u"  "_s}, 64, u"NAME must not be empty"_s},
    {"UnknownOption", {u"add-workstation"_s, u"WS"_s, u"--active"_s}, 64, u"Unknown option"_s},
    {"SecondUser", {u"add-user"_s, u"planner"_s}, 65, u"\"planner\" is already registered with ID 1"_s},
    {"SecondWorkstation", {u"add-workstation"_s, u"WS-01"_s}, 65, u"already registered"_s},
    {"ScheduleBothTimes", {u"schedule"_s, u"--user"_s, u"1"_s, u"--in"_s, u"5"_s, u"--at"_s,
     u"2030-01-01 10:00:00"_s}, 64, u"one of --at or --in"_s},
    {"ScheduleBadTime", {u"schedule"_s, u"--user"_s, u"1"_s, u"--at"_s, u"tomorrow"_s}, 64, u"--at must read"_s},
    {"ClearWithUser", {u"schedule"_s, u"--clear"_s, u"--user"_s, u"1"_s}, 64, u"--clear takes"_s},
    {"ScheduleUserZero", {u"schedule"_s, u"--user"_s, u"0"_s, u"--in"_s, u"0"_s}, 64,
     u"User 0 means that nothing is scheduled"_s},
    {"ScheduleInThePast", {u"schedule"_s, u"--user"_s, u"1"_s, u"--in"_s, u"-5"_s}, 64,
     u"--in must be a whole number from 0 up"_s},
    {"ScheduleUnknownUser", {u"schedule"_s, u"--user"_s, u"999"_s, u"--in"_s, u"0"_s}, 65, u"There is no user 999"_s},
    {"EnqueueNegativeId", {u"enqueue"_s, u"client"_s, u"-5"_s}, 64, u"-5 is not an ID"_s},
    {"EnqueueZero", {u"enqueue"_s, u"agency"_s, u"0"_s}, 64, u"ID must be a whole number from 1 up"_s},
    {"EnqueueUnknownAgency", {u"enqueue"_s, u"agency"_s, u"999"_s}, 65, u"There is no agency 999"_s},
    {"EnqueueUnknownClient", {u"enqueue"_s, u"client"_s, u"4711"_s}, 65, u"There is no client 4711"_s},
    {"ShowLastNegative", {u"show"_s, u"log"_s, u"--last"_s, u"-1"_s}, 64, u"--last must be"_s},
    {"ShowUnknownFormat", {u"show"_s, u"queue"_s, u"--format"_s, u"xml"_s}, 64, u"not \"xml\""_s},
    {"GenerateNoClients", {u"generate"_s, u"--clients"_s, u"0"_s}, 64, u"--clients must be"_s},
    {"GenerateOverData", {u"generate"_s}, 65, u"already holds rows"_s},
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
