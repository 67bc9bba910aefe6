// kestrane-admin, run as a user runs it: the files, rows and settings each command leaves behind, and that a
// refused command writes nothing.
#include "ado/connection.h"
#include "ado/provider.h"
#include "ado/recordset.h"
#include "platform/settings.h"
#include "support/child_process.h"
#include "support/databases.h"
#include "support/query_rows.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <ostream>

#include <memory>
#include <utility>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

using testsupport::ChildResult;

const QString kAdmin = u"kestrane-admin"_s;
const QStringList kProductFiles{u"KS.mdb"_s, u"KS_users.mdb"_s, u"KS_lists.mdb"_s, u"KS_sands.mdb"_s};

QString JetString(const QString& file) {
    return u"Provider=Microsoft.Jet.OLEDB.4.0;Data Source="_s + file + u";Persist Security Info=False;"_s;
}

class AdminTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(temp_.isValid());
        ado::provider::RegisterBuiltInProviders();
        configHome_ = temp_.filePath(u"config"_s);
        // The test reads the settings where the command writes them.
        savedConfigHome_ = qgetenv("XDG_CONFIG_HOME");
        qputenv("XDG_CONFIG_HOME", configHome_.toLocal8Bit());
        environment_ = testsupport::ChildEnvironment(configHome_, u"2030-01-01T08:00:00"_s);
        dataPath_ = temp_.filePath(u"data"_s) + QLatin1Char('/');
    }
    void TearDown() override {
        ado::ClearConnectionPool();
        qputenv("XDG_CONFIG_HOME", savedConfigHome_);
    }

    ChildResult Admin(const QStringList& arguments) {
        return testsupport::RunBinary(kAdmin, arguments, environment_);
    }
    // Runs a command that must succeed and returns its standard output.
    QString AdminOk(const QStringList& arguments) {
        const ChildResult result = Admin(arguments);
        EXPECT_EQ(result.exitCode, 0) << arguments.join(QLatin1Char(' ')).toStdString() << "\n"
                                      << result.err.toStdString();
        return result.out;
    }
    void Init() { AdminOk({u"init"_s, u"--data-path"_s, dataPath_}); }

    std::vector<QStringList> Rows(const QString& connectionString, const QString& sql,
                                  const QStringList& fields) {
        return testsupport::QueryRows(connectionString, sql, fields);
    }

    std::vector<QStringList> ParametersRows(const QString& connectionString) {
        return Rows(connectionString, u"SELECT * FROM [Parameters]"_s,
                    {u"ID"_s, u"Next_Rebuild_Requested_By"_s, u"Next_Disqualifications_Rebuild"_s});
    }
    QString ScheduledTime(const QString& connectionString) {
        ado::Connection connection;
        connection.Open(connectionString);
        ado::Recordset recordset;
        recordset.Open(u"SELECT * FROM [Parameters] WHERE ID = 1"_s, connection);
        return recordset.Fields(u"Next_Disqualifications_Rebuild"_s)
            .ToDate()
            .toString(u"yyyy-MM-dd HH:mm:ss"_s);
    }
    QString MainString() const { return JetString(dataPath_ + u"KS.mdb"_s); }
    QString UsersString() const { return JetString(dataPath_ + u"KS_users.mdb"_s); }

    QTemporaryDir temp_;
    QString configHome_;
    QByteArray savedConfigHome_;
    QProcessEnvironment environment_;
    QString dataPath_;
};

TEST_F(AdminTest, InitCreatesTheFourFilesWithTheTablesAndTheParametersRow) {
    Init();

    for (const QString& file : kProductFiles) {
        ASSERT_TRUE(QFile::exists(dataPath_ + file)) << file.toStdString();
        // Every file carries every table of the product.
        EXPECT_TRUE(
            Rows(JetString(dataPath_ + file), u"SELECT * FROM [Application Workstation List]"_s, {u"ID"_s})
                .empty());
    }
    EXPECT_EQ(ParametersRows(MainString()), (std::vector<QStringList>{{u"1"_s, u"Null"_s, u"Null"_s}}));
}

TEST_F(AdminTest, InitRefusesAnExistingFileAndWritesNothing) {
    ASSERT_TRUE(QDir().mkpath(dataPath_));
    QFile existing(dataPath_ + u"KS_lists.mdb"_s);
    ASSERT_TRUE(existing.open(QIODevice::WriteOnly));
    existing.close();

    const ChildResult result = Admin({u"init"_s, u"--data-path"_s, dataPath_});

    EXPECT_EQ(result.exitCode, 1);
    EXPECT_TRUE(result.err.contains(u"already exists"_s)) << result.err.toStdString();
    for (const QString& file : {u"KS.mdb"_s, u"KS_users.mdb"_s, u"KS_sands.mdb"_s}) {
        EXPECT_FALSE(QFile::exists(dataPath_ + file)) << file.toStdString();
    }
}

struct UsageCase {
    const char* name;
    QStringList arguments;
};
// Test names show the case by its name.
void PrintTo(const UsageCase& c, std::ostream* os) {
    *os << c.name;
}

class AdminUsageTest : public AdminTest, public ::testing::WithParamInterface<UsageCase> {};

TEST_P(AdminUsageTest, RefusedWithTheUsageAndNothingWritten) {
    const ChildResult result = Admin(GetParam().arguments);
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_TRUE(result.err.contains(u"Usage: kestrane-admin"_s)) << result.err.toStdString();
    EXPECT_TRUE(result.out.isEmpty()) << result.out.toStdString();
    EXPECT_FALSE(QFile::exists(configHome_)) << "settings were written";
}

INSTANTIATE_TEST_SUITE_P(
    Cases, AdminUsageTest,
    ::testing::Values(
        UsageCase{"NoCommand", {}}, UsageCase{"UnknownCommand", {u"rebuild"_s}},
        UsageCase{"InitWithoutLocation", {u"init"_s}}, UsageCase{"ConfigureNothing", {u"configure"_s}},
        UsageCase{"ConfigureLoginWithoutPassword",
                  {u"configure"_s, u"--server"_s, u"db1"_s, u"--login"_s, u"sa"_s}},
        UsageCase{"AddUserWithoutName", {u"add-user"_s}},
        UsageCase{"AddWorkstationUnknownOption", {u"add-workstation"_s, u"WS"_s, u"--active"_s}},
        UsageCase{"ScheduleWithoutTime", {u"schedule"_s, u"--user"_s, u"1"_s}},
        UsageCase{
            "ScheduleBothTimes",
            {u"schedule"_s, u"--user"_s, u"1"_s, u"--in"_s, u"5"_s, u"--at"_s, u"2030-01-01 10:00:00"_s}},
        UsageCase{"ScheduleBadTime", {u"schedule"_s, u"--user"_s, u"1"_s, u"--at"_s, u"tomorrow"_s}},
        UsageCase{"ScheduleBadUser", {u"schedule"_s, u"--user"_s, u"planner"_s, u"--in"_s, u"5"_s}},
        UsageCase{"ClearWithUser", {u"schedule"_s, u"--clear"_s, u"--user"_s, u"1"_s}}),
    [](const ::testing::TestParamInfo<UsageCase>& info) { return info.param.name; });

// What a setting that was not written reads as.
const QString kMissing = u"<missing>"_s;

struct SettingValue {
    QString application;
    QString section;
    QString key;
    QString value;
};

struct ConfigureCase {
    const char* name;
    QStringList arguments;  // "DATA" stands for the data folder
    std::vector<SettingValue> expected;
};
// Test names show the case by its name.
void PrintTo(const ConfigureCase& c, std::ostream* os) {
    *os << c.name;
}

class AdminConfigureTest : public AdminTest, public ::testing::WithParamInterface<ConfigureCase> {};

TEST_P(AdminConfigureTest, WritesTheSettingsTheProgramReads) {
    QStringList arguments{u"configure"_s};
    for (const QString& argument : GetParam().arguments) {
        arguments << (argument == u"DATA"_s ? temp_.filePath(u"data"_s) : argument);
    }
    AdminOk(arguments);

    for (const SettingValue& setting : GetParam().expected) {
        const QString expected = setting.value == u"DATA/"_s ? dataPath_ : setting.value;
        EXPECT_EQ(platform::GetSetting(setting.application, setting.section, setting.key, kMissing), expected)
            << setting.key.toStdString();
    }
}

SettingValue Data(const QString& key, const QString& value) {
    return {u"KS"_s, u"Data"_s, key, value};
}

INSTANTIATE_TEST_SUITE_P(
    Cases, AdminConfigureTest,
    ::testing::Values(
        ConfigureCase{"Files",
                      {u"--data-path"_s, u"DATA"_s},
                      {Data(u"Datasource Type"_s, u"Access"_s), Data(u"KS Data Path"_s, u"DATA/"_s),
                       Data(u"Server Name"_s, kMissing)}},
        ConfigureCase{"ServerIntegrated",
                      {u"--data-path"_s, u"DATA"_s, u"--server"_s, u"db1,5433"_s},
                      {Data(u"Datasource Type"_s, u"SQL Server"_s), Data(u"KS Data Path"_s, u"DATA/"_s),
                       Data(u"Server Name"_s, u"db1,5433"_s), Data(u"Trusted Connection"_s, u"Yes"_s),
                       Data(u"Server User ID"_s, kMissing)}},
        ConfigureCase{
            "ServerLogin",
            {u"--server"_s, u"db1"_s, u"--login"_s, u"ks_app"_s, u"--password"_s, u"s3cret;=\"x\""_s},
            {Data(u"Datasource Type"_s, u"SQL Server"_s), Data(u"Trusted Connection"_s, u"No"_s),
             Data(u"Server User ID"_s, u"ks_app"_s), Data(u"Server Password"_s, u"s3cret;=\"x\""_s),
             Data(u"KS Data Path"_s, kMissing)}},
        ConfigureCase{"ExplicitType",
                      {u"--data-path"_s, u"DATA"_s, u"--datasource-type"_s, u"access"_s},
                      {Data(u"Datasource Type"_s, u"access"_s)}},
        ConfigureCase{"WorkstationOnly",
                      {u"--workstation"_s, u"O'Brien's PC"_s},
                      {{u"Halvermoor Software"_s, u"Settings"_s, u"Workstation Name"_s, u"O'Brien's PC"_s},
                       Data(u"Datasource Type"_s, kMissing)}}),
    [](const ::testing::TestParamInfo<ConfigureCase>& info) { return info.param.name; });

TEST_F(AdminTest, AddUserAndAddWorkstationPrintTheNewIds) {
    Init();
    AdminOk({u"configure"_s, u"--data-path"_s, dataPath_});

    // Without --data-path the users file is found through the settings.
    EXPECT_EQ(AdminOk({u"add-user"_s, u"planner"_s}), u"1\n"_s);
    EXPECT_EQ(AdminOk({u"add-user"_s, u"O'Neil"_s}), u"2\n"_s);
    EXPECT_EQ(AdminOk({u"add-workstation"_s, u"WS-01"_s}), u"1\n"_s);
    EXPECT_EQ(AdminOk({u"add-workstation"_s, u"WS-02"_s, u"--inactive"_s}), u"2\n"_s);

    EXPECT_EQ(Rows(UsersString(), u"SELECT * FROM [Application User List] ORDER BY ID"_s,
                   {u"ID"_s, u"User Name"_s}),
              (std::vector<QStringList>{{u"1"_s, u"planner"_s}, {u"2"_s, u"O'Neil"_s}}));
    // The program's admission query finds the active workstation only.
    EXPECT_EQ(Rows(UsersString(), u"SELECT * FROM [Application Workstation List] WHERE Active = TRUE"_s,
                   {u"ID"_s, u"Workstation Name"_s}),
              (std::vector<QStringList>{{u"1"_s, u"WS-01"_s}}));
    EXPECT_EQ(Rows(UsersString(), u"SELECT * FROM [Application Workstation List] WHERE ID = 2"_s,
                   {u"Workstation Name"_s}),
              (std::vector<QStringList>{{u"WS-02"_s}}));
}

TEST_F(AdminTest, AddUserWithoutADataFolderFails) {
    const ChildResult result = Admin({u"add-user"_s, u"planner"_s});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_TRUE(result.err.contains(u"configure"_s)) << result.err.toStdString();
}

struct ScheduleCase {
    const char* name;
    QStringList arguments;
    QString requestedBy;
    QString time;  // yyyy-MM-dd HH:mm:ss, or "Null"
};
// Test names show the case by its name.
void PrintTo(const ScheduleCase& c, std::ostream* os) {
    *os << c.name;
}

class AdminScheduleTest : public AdminTest, public ::testing::WithParamInterface<ScheduleCase> {};

TEST_P(AdminScheduleTest, LeavesTheScheduleInTheParametersRow) {
    const ScheduleCase& c = GetParam();
    Init();
    AdminOk(QStringList{u"schedule"_s, u"--data-path"_s, dataPath_} + c.arguments);

    const std::vector<QStringList> rows = ParametersRows(MainString());
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0][0], u"1"_s);
    EXPECT_EQ(rows[0][1], c.requestedBy);
    if (c.time == u"Null"_s) {
        EXPECT_EQ(rows[0][2], c.time);
    } else {
        EXPECT_EQ(ScheduledTime(MainString()), c.time);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, AdminScheduleTest,
    ::testing::Values(ScheduleCase{"At",
                                   {u"--user"_s, u"3"_s, u"--at"_s, u"2030-02-03 04:05:06"_s},
                                   u"3"_s,
                                   u"2030-02-03 04:05:06"_s},
                      // From the clock the command runs on (the virtual clock stands at 2030-01-01 08:00:00).
                      ScheduleCase{
                          "In", {u"--user"_s, u"7"_s, u"--in"_s, u"90"_s}, u"7"_s, u"2030-01-01 08:01:30"_s},
                      ScheduleCase{"Clear", {u"--clear"_s}, u"Null"_s, u"Null"_s}),
    [](const ::testing::TestParamInfo<ScheduleCase>& info) { return info.param.name; });

TEST_F(AdminTest, ScheduleClearsWhatWasScheduledAndAddsAMissingRow) {
    Init();
    AdminOk({u"configure"_s, u"--data-path"_s, dataPath_});
    AdminOk({u"schedule"_s, u"--user"_s, u"1"_s, u"--in"_s, u"0"_s});
    AdminOk({u"schedule"_s, u"--clear"_s});
    EXPECT_EQ(ParametersRows(MainString()), (std::vector<QStringList>{{u"1"_s, u"Null"_s, u"Null"_s}}));

    {
        ado::Connection connection;
        connection.Open(MainString());
        connection.Execute(u"DELETE FROM [Parameters]"_s);
    }
    ado::ClearConnectionPool();
    AdminOk({u"schedule"_s, u"--user"_s, u"2"_s, u"--at"_s, u"2030-05-06 07:08:09"_s});
    EXPECT_EQ(ScheduledTime(MainString()), u"2030-05-06 07:08:09"_s);
}

TEST_F(AdminTest, ServerInitCreatesTheCatalogAndScheduleReachesIt) {
    KESTRANE_REQUIRE_SERVER();
    const QString server = qEnvironmentVariable("KESTRANE_TEST_PG_HOST") + QLatin1Char(',') +
                           qEnvironmentVariable("KESTRANE_TEST_PG_PORT");
    const QString catalog = u"kt_admin_%1"_s.arg(QCoreApplication::applicationPid());
    const QStringList location{u"--server"_s, server, u"--catalog"_s, catalog};

    AdminOk(QStringList{u"init"_s} + location);
    AdminOk(QStringList{u"schedule"_s, u"--user"_s, u"4"_s, u"--at"_s, u"2030-02-03 04:05:06"_s} + location);

    const QString catalogString = u"Provider=SQLOLEDB.1;Integrated Security=SSPI;Data Source="_s + server +
                                  u";Persist Security Info=False;Initial Catalog="_s + catalog + u";"_s;
    const std::vector<QStringList> rows = ParametersRows(catalogString);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0][0], u"1"_s);
    EXPECT_EQ(rows[0][1], u"4"_s);
    EXPECT_EQ(ScheduledTime(catalogString), u"2030-02-03 04:05:06"_s);
    EXPECT_TRUE(Rows(catalogString, u"SELECT * FROM Disqualifications_Queue"_s, {u"ID"_s}).empty());

    // A second init finds the catalog and leaves it as it is.
    const ChildResult again = Admin(QStringList{u"init"_s} + location);
    EXPECT_EQ(again.exitCode, 1);
    EXPECT_TRUE(again.err.contains(u"already exists"_s)) << again.err.toStdString();
    EXPECT_EQ(ParametersRows(catalogString).size(), 1u);
}

}  // namespace
