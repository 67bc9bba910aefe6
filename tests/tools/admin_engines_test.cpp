// kestrane-admin on both engines: refusals, a write under a lock, show's formats, libpq's password files, and
// doctor on a good workstation and on faulty ones.
#include "admin_fixture.h"

#include "data/run_guard.h"

#include <QJsonDocument>
#include <QProcess>

#include <sqlite3.h>

#include <functional>
#include <memory>
#include <optional>
#include <utility>

namespace {

using namespace admintest;

INSTANTIATE_TEST_SUITE_P(Engines, AdminEngineTest, ::testing::Values(Engine::Jet, Engine::Server),
                         [](const ::testing::TestParamInfo<Engine>& info) {
                             return info.param == Engine::Jet ? "Jet" : "Server";
                         });

TEST_P(AdminEngineTest, EachRefusalExitsWithItsStatusAndChangesNothing) {
    const QString password = WriteFile(u"password"_s, "pass;word\n");
    // Where init meets the data that is already there.
    const QString where = GetParam() == Engine::Jet ? u"--data-path|"_s + dataPath_
                                                    : u"--server|"_s + testsupport::ServerDataSource() +
                                                          u"|--catalog|"_s + catalog_;
    // The command line ("|" between the arguments), its status, and a part of its standard error.
    // clang-format off
    const std::tuple<QString, int, QString> refusals[] = {
        {u""_s, 64, u"COMMAND"_s},
        {u"rebuild"_s, 64, u"unknown command \"rebuild\""_s},
        {u"init"_s, 64, u"Give --data-path"_s},
        {u"init|"_s + where, 65, u"already exists"_s},
        {u"configure"_s, 64, u"Nothing to configure"_s},
        {u"configure|--datasource-type|Foo"_s, 64, u"not \"Foo\""_s},
        {u"configure|--data-path|/srv/a;b"_s, 64, u"a \";\""_s},
        {u"configure|--server|db1|--login|ks|--password-file|"_s + password, 64, u"The password cannot hold a \";\""_s},
        {u"configure|--server|db1|--login|ks|--password|x"_s, 64, u"--password-file"_s},
        {u"configure|--server|db1|--login|ks|--password-file|/nonexistent/pw"_s, 66, u"Cannot read the password file"_s},
        {u"configure|--workstation|"_s, 64, u"must not be empty"_s},
        {u"add-user|"_s, 64, u"NAME must not be empty"_s},
        {u"add-workstation|  "_s, 64, u"NAME must not be empty"_s},
        {u"add-workstation|WS|--active"_s, 64, u"Unknown option"_s},
        {u"add-user|planner"_s, 65, u"\"planner\" is already registered with ID 1"_s},
        {u"add-workstation|WS-01"_s, 65, u"already registered"_s},
        {u"schedule|--user|1|--in|5|--at|2030-01-01 10:00:00"_s, 64, u"one of --at or --in"_s},
        {u"schedule|--user|1|--at|tomorrow"_s, 64, u"--at must read"_s},
        {u"schedule|--clear|--user|1"_s, 64, u"--clear takes"_s},
        {u"schedule|--user|0|--in|0"_s, 64, u"User 0 means that nothing is scheduled"_s},
        {u"schedule|--user|1|--in|-5"_s, 64, u"--in must be a whole number from 0 up"_s},
        {u"schedule|--user|999|--in|0"_s, 65, u"There is no user 999"_s},
        {u"enqueue|client|-5"_s, 64, u"-5 is not an ID"_s},
        {u"enqueue|agency|0"_s, 64, u"ID must be a whole number from 1 up"_s},
        {u"enqueue|agency|999"_s, 65, u"There is no agency 999"_s},
        {u"enqueue|client|4711"_s, 65, u"There is no client 4711"_s},
        {u"show|log|--last|-1"_s, 64, u"--last must be"_s},
        {u"show|queue|--format|xml"_s, 64, u"not \"xml\""_s},
        {u"generate|--clients|0"_s, 64, u"--clients must be"_s},
        {u"generate"_s, 65, u"already holds rows"_s},
    };
    // clang-format on
    // The commands that reach the main database take the workstation's own catalog on the server.
    const QStringList mainCommands{u"enqueue"_s, u"schedule"_s, u"show"_s, u"generate"_s};
    for (const auto& [line, status, message] : refusals) {
        SCOPED_TRACE(line.toStdString());
        QStringList arguments = line.isEmpty() ? QStringList() : line.split(u'|');
        if (!arguments.isEmpty() && mainCommands.contains(arguments.first()))
            arguments += Catalog();
        const QStringList before = Snapshot();

        const ChildResult result = Admin(arguments);

        EXPECT_EQ(result.exitCode, status) << result.err.toStdString();
        EXPECT_TRUE(result.err.contains(message)) << result.err.toStdString();
        // The usage follows a wrong command line, and only a wrong command line.
        EXPECT_EQ(result.err.contains(u"Usage: kestrane-admin"_s), status == 64) << result.err.toStdString();
        EXPECT_TRUE(result.out.isEmpty()) << result.out.toStdString();
        EXPECT_EQ(Snapshot(), before);
    }
}

// On the files a write transaction, on the server a table lock: an enqueue gives up after its bound or goes
// on.
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
        enqueue.setReadChannel(QProcess::StandardError);
        testsupport::StartBinary(
            enqueue, u"kestrane-admin"_s, environment_,
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

// doctor's lines, each a check's name after OK, FAIL or SKIP and what it found.
QStringList Doctor(const Workstation& workstation, int expectedStatus) {
    const ChildResult result = workstation.Admin(QStringList{u"doctor"_s} + workstation.Catalog());
    EXPECT_EQ(result.exitCode, expectedStatus) << result.out.toStdString() << result.err.toStdString();
    return result.OutLines();
}

TEST_P(AdminEngineTest, ShowsCsvAndJsonWithIsoDatesUnderEveryLocaleAndDoctorPasses) {
    // What is shown in which format, and the output: JSON as its values, CSV as it is written.
    const std::tuple<QString, QString, QByteArray> cases[] = {
        {u"queue"_s, u"json"_s,
         R"([{"Creation_Date": "2030-01-01T08:00:00", "ID": 1, "Table_ID": 1, "Table_Name": "Agencies"},
             {"Creation_Date": "2030-01-01T08:00:00", "ID": 2, "Table_ID": 2, "Table_Name": "People"}])"},
        {u"schedule"_s, u"json"_s,
         R"([{"Next_Disqualifications_Rebuild": "2030-01-01T09:00:00", "Next_Rebuild_Requested_By": 1}])"},
        {u"blacklist"_s, u"csv"_s,
         "ID,Agency_ID,Client_ID,Manually_Entered,Date_Created,Created_By,Notes\r\n"
         "1,1,2,true,2030-02-03T04:05:06,1,\"Refused, \"\"twice\"\"\"\r\n"},
    };
    for (const auto& [what, format, expected] : cases) {
        const auto read = [&](const QByteArray& text) {
            return format == u"json"_s ? QJsonDocument::fromJson(text).toJson() : text;
        };
        for (const QString& locale : {u"C"_s, u"de_DE.UTF-8"_s}) {
            SCOPED_TRACE((what + u' ' + locale).toStdString());
            const ChildResult result = Admin(QStringList{u"show"_s, what, u"--format"_s, format} + Catalog(),
                                             {u"LANG"_s, locale, u"LC_ALL"_s, locale});
            EXPECT_EQ(result.exitCode, 0) << result.err.toStdString();
            EXPECT_EQ(read(result.out.toUtf8()), read(expected));
        }
    }
    // doctor passes every check on this workstation.
    QStringList checks;
    for (const QString& line : Doctor(*this, 0))
        checks << line.section(u':', 0, 0);
    EXPECT_EQ(checks, (QStringList{u"OK    settings"_s, u"OK    main database"_s, u"OK    users database"_s,
                                   u"OK    tables"_s, u"OK    workstation"_s, u"OK    schedule"_s,
                                   u"OK    queue"_s, u"OK    run"_s}));
}

// Catches a login that does not let libpq find its password in its password or service file.
TEST_F(AdminTest, ALoginPasswordComesFromLibpqsOwnFiles) {
    KESTRANE_REQUIRE_SERVER();
    SetUpWorkstation(Engine::Server);
    AdminOk(
        {u"configure"_s, u"--server"_s, testsupport::ServerDataSource(), u"--login"_s, u"kestrane_login"_s});
    const QString passwords = WriteFile(u"pgpass"_s, "*:*:*:kestrane_login:kestrane-secret\n");
    const QString services = WriteFile(u"pg_service.conf"_s, "[kestrane]\npassword=kestrane-secret\n");
    // The variables, then the status and a part of standard output (of standard error when it fails).
    // clang-format off
    const std::tuple<QStringList, int, QString> cases[] = {
        {{u"PGPASSFILE"_s, Path(u"none"_s)}, 69, u"the server refused the login"_s},
        {{u"PGPASSFILE"_s, passwords}, 0, u"2030-01-01T09:00:00"_s},
        {{u"PGPASSFILE"_s, Path(u"none"_s), u"PGSERVICEFILE"_s, services, u"PGSERVICE"_s, u"kestrane"_s}, 0, u"2030-01-01T09:00:00"_s},
    };
    // clang-format on
    for (const auto& [variables, status, output] : cases) {
        SCOPED_TRACE(variables.join(u' ').toStdString());
        const ChildResult result =
            Admin(QStringList{u"show"_s, u"schedule"_s, u"--format"_s, u"csv"_s} + Catalog(), variables);
        EXPECT_EQ(result.exitCode, status) << result.err.toStdString();
        EXPECT_TRUE((status == 0 ? result.out : result.err).contains(output)) << result.err.toStdString();
    }
}

// Replaces before with after in the settings file, as a hand edit would.
void EditSettings(const Workstation& workstation, const QString& before, const QString& after) {
    workstation.WriteFile(
        u"config/Kestrane/KS.ini"_s,
        ReadFile(workstation.configHome_ + u"/Kestrane/KS.ini"_s).replace(before, after).toUtf8());
}

TEST(AdminDoctorFaultTest, EachFaultFailsItsCheckWithWhatToDo) {
    // Faults made together on a workstation of an engine where their checks do not meet, and for each the
    // start of its check's line and a part of it; a processor run may hold the data while doctor looks.
    // clang-format off
    struct Faults { Engine engine; std::function<void(Workstation&)> make; std::vector<std::pair<QString, QString>> lines;
                    bool runHolds = false; };
    const Faults groups[] = {
        {Engine::Jet, [](Workstation& w) {
             w.AdminOk({u"enqueue"_s, u"agency"_s, u"999"_s, u"--force"_s});
             EditSettings(w, "[Data]\n", "[Data]\nServer Password=s3cret\n");
             QFile::setPermissions(w.configHome_ + u"/Kestrane/KS.ini"_s,
                                   QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadOther);
             Execute(w.MainString(), u"ALTER TABLE Blacklist DROP COLUMN Date_Created"_s);
             Execute(w.UsersString(), u"UPDATE [Application Workstation List] SET Active = 0"_s);
             Execute(w.UsersString(), u"DELETE FROM [Application User List]"_s);
         }, {{u"FAIL  settings:"_s, u"other users can read it: chmod 600"_s},
             {u"FAIL  tables:"_s, u"Blacklist.Date_Created is missing"_s},
             {u"FAIL  workstation:"_s, u"\"WS-01\" is registered (ID 1) but not active"_s},
             {u"FAIL  schedule:"_s, u"user 1, who is not in [Application User List]"_s},
             {u"FAIL  queue:"_s, u"1 of 3 queued requests name what does not exist: agency 999 (request 3)"_s},
             {u"FAIL  run:"_s, u"process %1 on "_s.arg(QCoreApplication::applicationPid())}}, true},
        {Engine::Jet, [](Workstation& w) {
             w.AdminOk({u"configure"_s, u"--workstation"_s, u"WS-09"_s});
             EditSettings(w, "Datasource Type=Access", "Datasource Type=access");
         }, {{u"FAIL  settings:"_s, u"\"access\", which the processor takes for the server"_s},
             {u"FAIL  workstation:"_s, u"kestrane-admin add-workstation \"WS-09\""_s}}},
        {Engine::Jet, [](Workstation& w) { QFile::remove(w.dataPath_ + u"KS.mdb"_s); },
         {{u"FAIL  main database:"_s, u"the file does not exist"_s}}},
        {Engine::Server, [](Workstation& w) {
             testsupport::ServerConnection(w.catalog_)
                 .Exec(u"ALTER TABLE parameters ALTER COLUMN next_disqualifications_rebuild TYPE text"_s);
         }, {{u"FAIL  tables:"_s, u"Parameters.Next_Disqualifications_Rebuild holds text, not a date and time"_s}}},
    };
    // clang-format on
    for (const Faults& faults : groups) {
        SCOPED_TRACE(faults.lines[0].second.toStdString());
        if (faults.engine == Engine::Server && !testsupport::ServerAvailable() &&
            !qEnvironmentVariableIsSet("KESTRANE_REQUIRE_PG"))
            continue;
        Workstation workstation;
        workstation.SetUpWorkstation(faults.engine);
        faults.make(workstation);
        data::ConnectionSettings settings;
        settings.dataPath = workstation.dataPath_;
        settings.accessFlag = true;
        std::optional<data::RunGuard> run;
        if (faults.runHolds)
            run.emplace(settings);
        const QStringList lines = Doctor(workstation, 1);
        for (const auto& [start, part] : faults.lines) {
            EXPECT_TRUE(std::any_of(
                lines.begin(), lines.end(),
                [&](const QString& line) { return line.startsWith(start) && line.contains(part); }))
                << start.toStdString() << part.toStdString() << "\n"
                << lines.join(u'\n').toStdString();
        }
    }
}

}  // namespace
