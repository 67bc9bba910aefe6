// kestrane-admin, run as a user runs it: the files, rows and settings each command leaves behind.
#include "admin_fixture.h"

#include "ado/connection.h"
#include "ado/recordset.h"
#include "platform/settings.h"
#include "support/query_rows.h"
#include "support/terminal_process.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <vector>

using namespace Qt::StringLiterals;

namespace {

using admintest::AdminTest;
using testsupport::ChildResult;
using testsupport::QueryRows;
using Rows = std::vector<QStringList>;

QString JetString(const QString& file) {
    return u"Provider=Microsoft.Jet.OLEDB.4.0;Data Source="_s + file + u";"_s;
}

Rows ParametersRows(const QString& connectionString) {
    return QueryRows(connectionString, u"SELECT * FROM [Parameters]"_s,
                     {u"ID"_s, u"Next_Rebuild_Requested_By"_s, u"Next_Disqualifications_Rebuild"_s});
}

// The scheduled time as the program reads it, whatever the engine's own text for it.
QString ScheduledTime(const QString& connectionString) {
    ado::Connection connection;
    connection.Open(connectionString);
    ado::Recordset recordset;
    recordset.Open(u"SELECT * FROM [Parameters] WHERE ID = 1"_s, connection);
    return recordset.Fields(u"Next_Disqualifications_Rebuild"_s).ToDate().toString(u"yyyy-MM-dd HH:mm:ss"_s);
}

TEST_F(AdminTest, InitCreatesTheFourFilesWithTheTablesAndTheParametersRowAndNeverOverwrites) {
    AdminOk({u"init"_s, u"--data-path"_s, dataPath_});

    for (const QString& file : {u"KS.mdb"_s, u"KS_users.mdb"_s, u"KS_lists.mdb"_s, u"KS_sands.mdb"_s}) {
        SCOPED_TRACE(file.toStdString());
        // Every file carries every table of the product.
        EXPECT_TRUE(QueryRows(JetString(dataPath_ + file), u"SELECT * FROM [Application Workstation List]"_s,
                              {u"ID"_s})
                        .empty());
    }
    EXPECT_EQ(ParametersRows(JetString(dataPath_ + u"KS.mdb"_s)), (Rows{{u"1"_s, u"Null"_s, u"Null"_s}}));

    // A second init meets an existing file and writes nothing.
    ado::ClearConnectionPool();
    QDir(dataPath_).removeRecursively();
    QDir().mkpath(dataPath_);
    QFile(dataPath_ + u"KS_lists.mdb"_s).open(QIODevice::WriteOnly);
    const ChildResult again = Admin({u"init"_s, u"--data-path"_s, dataPath_});
    EXPECT_EQ(again.exitCode, 65);
    EXPECT_TRUE(again.err.contains(u"already exists"_s)) << again.err.toStdString();
    EXPECT_EQ(QDir(dataPath_).entryList(QDir::Files), QStringList{u"KS_lists.mdb"_s});
}

TEST_F(AdminTest, ConfigureWritesTheSettingsTheProgramReads) {
    QFile passwordFile(temp_.filePath(u"password"_s));
    ASSERT_TRUE(passwordFile.open(QIODevice::WriteOnly));
    passwordFile.write("s3cret=,\"x\"\nsecond line\n");
    passwordFile.close();
    const QString missing = u"<missing>"_s;
    // The arguments ("|" between them; "DATA" is the data folder, "PWFILE" the password file), and settings
    // of KS's "Data" section afterwards ("DATA/" is the data folder with its "/").
    // clang-format off
    const std::pair<QString, QStringList> cases[] = {
        {u"--data-path|DATA"_s, {u"Datasource Type=Access"_s, u"KS Data Path=DATA/"_s, u"Server Name=<missing>"_s}},
        {u"--data-path|DATA|--server|db1,5433"_s, {u"Datasource Type=SQL Server"_s, u"KS Data Path=DATA/"_s,
         u"Server Name=db1,5433"_s, u"Trusted Connection=Yes"_s, u"Server User ID=<missing>"_s}},
        {u"--server|db1|--login|ks_app|--password-file|PWFILE"_s, {u"Datasource Type=SQL Server"_s,
         u"Trusted Connection=No"_s, u"Server User ID=ks_app"_s, u"Server Password=s3cret=,\"x\""_s,
         u"KS Data Path=<missing>"_s}},
        // Without a terminal and without a file no password is stored: libpq's own files give it.
        {u"--server|db1|--login|ks_app"_s, {u"Trusted Connection=No"_s, u"Server Password="_s}},
        {u"--data-path|DATA|--datasource-type|SQL Server"_s, {u"Datasource Type=SQL Server"_s}},
        {u"--workstation|O'Brien's PC"_s, {u"Datasource Type=<missing>"_s}},
    };
    // clang-format on
    for (const auto& [line, expected] : cases) {
        SCOPED_TRACE(line.toStdString());
        QFile::remove(configHome_ + u"/Kestrane/KS.ini"_s);
        QStringList arguments{u"configure"_s};
        for (const QString& argument : line.split(u'|')) {
            arguments << (argument == u"DATA"_s     ? temp_.filePath(u"data"_s)
                          : argument == u"PWFILE"_s ? passwordFile.fileName()
                                                    : argument);
        }
        AdminOk(arguments);
        for (const QString& setting : expected) {
            const QString key = setting.section(u'=', 0, 0), value = setting.section(u'=', 1);
            EXPECT_EQ(platform::GetSetting(u"KS"_s, u"Data"_s, key, missing),
                      value == u"DATA/"_s ? dataPath_ : value)
                << key.toStdString();
        }
    }
    EXPECT_EQ(platform::GetSetting(u"Halvermoor Software"_s, u"Settings"_s, u"Workstation Name"_s),
              u"O'Brien's PC"_s);
}

TEST_F(AdminTest, APasswordIsNeverLeftInAFileOthersCanRead) {
    const QString settings = configHome_ + u"/Kestrane/KS.ini"_s;
    const QFileDevice::Permissions ownerOnly =
        QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadUser | QFileDevice::WriteUser;
    // At a terminal the password is asked for.
    const ChildResult asked = testsupport::RunBinaryOnTerminal(
        u"kestrane-admin"_s, {u"configure"_s, u"--server"_s, u"db1"_s, u"--login"_s, u"ks_app"_s},
        environment_, "s3cret\n");
    EXPECT_EQ(asked.exitCode, 0) << asked.out.toStdString();
    EXPECT_TRUE(asked.out.contains(u"Password of ks_app"_s)) << asked.out.toStdString();
    EXPECT_EQ(QFileInfo(settings).permissions(), ownerOnly);
    EXPECT_EQ(platform::GetSetting(u"KS"_s, u"Data"_s, u"Server Password"_s), u"s3cret"_s);

    // A file someone opened up is closed again, and the administrator is told.
    ASSERT_TRUE(QFile::setPermissions(settings, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                    QFileDevice::ReadGroup | QFileDevice::ReadOther));
    const ChildResult result = Admin({u"configure"_s, u"--workstation"_s, u"WS-01"_s});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_TRUE(result.err.contains(u"other users could read it"_s)) << result.err.toStdString();
    EXPECT_EQ(QFileInfo(settings).permissions(), ownerOnly);
}

TEST_F(AdminTest, AddUserAndAddWorkstationPrintTheNewIds) {
    // Before configure there is no data folder to add to.
    const ChildResult unconfigured = Admin({u"add-user"_s, u"planner"_s});
    EXPECT_EQ(unconfigured.exitCode, 78);
    EXPECT_TRUE(unconfigured.err.contains(u"configure"_s)) << unconfigured.err.toStdString();
    AdminOk({u"init"_s, u"--data-path"_s, dataPath_});
    AdminOk({u"configure"_s, u"--data-path"_s, dataPath_});
    const QString users = JetString(dataPath_ + u"KS_users.mdb"_s);

    // Without --data-path the users file is found through the settings.
    EXPECT_EQ(AdminOk({u"add-user"_s, u"planner"_s}), u"1\n"_s);
    EXPECT_EQ(AdminOk({u"add-user"_s, u"O'Neil"_s}), u"2\n"_s);
    EXPECT_EQ(AdminOk({u"add-workstation"_s, u"WS-01"_s}), u"1\n"_s);
    EXPECT_EQ(AdminOk({u"add-workstation"_s, u"WS-02"_s, u"--inactive"_s}), u"2\n"_s);
    EXPECT_EQ(AdminOk({u"add-user"_s, u"planner"_s, u"--allow-duplicate"_s}), u"3\n"_s);

    EXPECT_EQ(
        QueryRows(users, u"SELECT * FROM [Application User List] ORDER BY ID"_s, {u"ID"_s, u"User Name"_s}),
        (Rows{{u"1"_s, u"planner"_s}, {u"2"_s, u"O'Neil"_s}, {u"3"_s, u"planner"_s}}));
    // The program's admission query finds the active workstation only.
    EXPECT_EQ(QueryRows(users, u"SELECT * FROM [Application Workstation List] WHERE Active = TRUE"_s,
                        {u"ID"_s, u"Workstation Name"_s}),
              (Rows{{u"1"_s, u"WS-01"_s}}));
    EXPECT_EQ(QueryRows(users, u"SELECT * FROM [Application Workstation List] ORDER BY ID"_s,
                        {u"Workstation Name"_s}),
              (Rows{{u"WS-01"_s}, {u"WS-02"_s}}));
}

TEST_F(AdminTest, BothProgramsTellTheirVersion) {
    for (const QString& program : {u"kestrane-admin"_s, u"KSProcessDisqualificationsQueue"_s}) {
        const ChildResult result = testsupport::RunBinary(program, {u"--version"_s}, environment_);
        EXPECT_EQ(result.exitCode, 0);
        EXPECT_TRUE(
            QRegularExpression(u"^"_s + program + u" \\d+\\.\\d+\\.\\d+\n$"_s).match(result.out).hasMatch())
            << result.out.toStdString();
    }
}

TEST_F(AdminTest, ScheduleLeavesTheScheduleInTheParametersRowAndAddsTheRowWhenMissing) {
    AdminOk({u"init"_s, u"--data-path"_s, dataPath_});
    AdminOk({u"add-user"_s, u"planner"_s, u"--data-path"_s, dataPath_});
    const QString main = JetString(dataPath_ + u"KS.mdb"_s);
    // The arguments, then the requester and the time (yyyy-MM-dd HH:mm:ss, or "Null") in the row afterwards.
    struct Case {
        QStringList arguments;
        QString requestedBy, time;
        bool rowMissing = false;
    };
    const Case cases[] = {
        // ISO 8601 with "T" and without seconds, as a script writes it.
        {{u"--user"_s, u"1"_s, u"--at"_s, u"2030-02-03T04:05"_s}, u"1"_s, u"2030-02-03 04:05:00"_s},
        // From the clock the command runs on (the virtual clock stands at 2030-01-01 08:00:00).
        {{u"--user"_s, u"1"_s, u"--in"_s, u"90"_s}, u"1"_s, u"2030-01-01 08:01:30"_s},
        {{u"--clear"_s}, u"Null"_s, u"Null"_s},
        {{u"--user"_s, u"1"_s, u"--at"_s, u"2030-05-06 07:08:09"_s}, u"1"_s, u"2030-05-06 07:08:09"_s, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments.join(u' ').toStdString());
        if (c.rowMissing)
            Execute(main, u"DELETE FROM [Parameters]"_s);
        ado::ClearConnectionPool();
        AdminOk(QStringList{u"schedule"_s, u"--data-path"_s, dataPath_} + c.arguments);

        const Rows rows = ParametersRows(main);
        ASSERT_EQ(rows.size(), 1u);
        EXPECT_EQ(rows[0].mid(0, 2), (QStringList{u"1"_s, c.requestedBy}));
        EXPECT_EQ(c.time == u"Null"_s ? rows[0][2] : ScheduledTime(main), c.time);
    }
}

}  // namespace
