// WriteActivityLog on a real users database.

#include "activitylog/write_activity_log.h"
#include "ado/connection.h"
#include "ado/recordset.h"
#include "data/connect_database.h"
#include "data/connection_settings.h"
#include "data/current_ids.h"
#include "platform/settings.h"
#include "support/faulty_engine.h"
#include "support/product_schema.h"
#include "support/program_environment.h"

#include <QDir>

#include <gtest/gtest.h>

#include <vector>

namespace {

struct LogRow {
    int32_t userId;
    int32_t workstation;
    QDateTime time;
    QString notes;
    QDateTime lastUpdated;
    QString updatedBy;
};

std::vector<LogRow> ReadLog(const QString& connectionString) {
    ado::Connection connection;
    connection.Open(connectionString);
    ado::Recordset rs;
    rs.Open(QStringLiteral("SELECT * FROM [Activity Log] ORDER BY ID"), connection);
    std::vector<LogRow> rows;
    for (; !rs.Eof(); rs.MoveNext()) {
        rows.push_back(
            LogRow{rs(QStringLiteral("User ID")).ToLong(), rs(QStringLiteral("Workstation")).ToLong(),
                   rs(QStringLiteral("Time")).ToDate(), rs(QStringLiteral("Notes")).ToString(),
                   rs(QStringLiteral("Last Updated")).ToDate(), rs(QStringLiteral("Updated By")).ToString()});
    }
    rs.Close();
    connection.Close();
    return rows;
}

// A users database with the product's tables, named by the users connection string.
struct UsersDatabase {
    UsersDatabase() {
        data::Settings().usersConnectionString = testsupport::NewProductDatabase(
            testsupport::Engine::Jet, env.Dir(), QStringLiteral("KS_users.mdb"));
    }
    testsupport::ProgramEnvironment env;
};

TEST(WriteActivityLog, AppendsOneRowPerCallAtLeastASecondApart) {
    UsersDatabase db;
    data::gCurrentUserId = 4;
    data::gCurrentWorkstationId = 9;

    activitylog::WriteActivityLog(
        QStringLiteral("KSProcessDisqualificationsQueue began at 01/03/2024 09:00:00."));
    activitylog::WriteActivityLog(QString());

    const std::vector<LogRow> rows = ReadLog(data::Settings().usersConnectionString);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].notes, QStringLiteral("KSProcessDisqualificationsQueue began at 01/03/2024 09:00:00."));
    EXPECT_EQ(rows[1].notes, QString()) << "an empty note stays an empty text";
    for (const LogRow& row : rows) {
        EXPECT_EQ(row.userId, 4);
        EXPECT_EQ(row.workstation, 9);
        EXPECT_EQ(row.lastUpdated, row.time);
        EXPECT_EQ(row.updatedBy, QStringLiteral("* SYSTEM *"));
    }
    EXPECT_EQ(rows[0].time, testsupport::ProgramEnvironment::DefaultStart().addSecs(1))
        << "written after the wait";
    EXPECT_GE(rows[0].time.secsTo(rows[1].time), 1);
    EXPECT_EQ(db.env.Clock().TotalSleptMs(), 2000);
    EXPECT_TRUE(db.env.Answers().Shown().empty());
}

TEST(WriteActivityLog, GoesToTheUsersFileWhenTheMainDataIsOnTheServer) {
    testsupport::ProgramEnvironment env;
    const QString dataPath = env.Dir() + QStringLiteral("/data/");
    QDir().mkpath(dataPath);
    testsupport::NewProductDatabase(testsupport::Engine::Jet, dataPath, QStringLiteral("KS_users.mdb"));
    for (const auto& [key, value] :
         {std::pair{"Datasource Type", "SQL Server"}, std::pair{"Server Name", "db1"},
          std::pair{"Trusted Connection", "Yes"}}) {
        platform::SaveSetting(QStringLiteral("KS"), QStringLiteral("Data"), QString::fromUtf8(key),
                              QString::fromUtf8(value));
    }
    platform::SaveSetting(QStringLiteral("KS"), QStringLiteral("Data"), QStringLiteral("KS Data Path"),
                          dataPath);
    bool incompleteSetup = false;
    data::ConnectDatabase(incompleteSetup);
    ASSERT_FALSE(incompleteSetup);
    ASSERT_FALSE(data::Settings().accessFlag);
    data::gCurrentWorkstationId = 3;

    activitylog::WriteActivityLog(QStringLiteral("Disqualications rebuild for agency North Yard"));

    const std::vector<LogRow> rows = ReadLog(data::Settings().usersConnectionString);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].notes, QStringLiteral("Disqualications rebuild for agency North Yard"));
    EXPECT_EQ(rows[0].userId, 0);
    EXPECT_EQ(rows[0].workstation, 3);
    EXPECT_TRUE(env.Answers().Shown().empty());
}

TEST(WriteActivityLog, WithoutTheTableRaisesAndWritesNothing) {
    testsupport::ProgramEnvironment env;
    data::Settings().usersConnectionString =
        testsupport::NewJetDatabase(env.Dir(), QStringLiteral("KS_users.mdb"));

    EXPECT_THROW(activitylog::WriteActivityLog(QStringLiteral("lost")), ado::Error);
    EXPECT_EQ(env.Clock().TotalSleptMs(), 1000);
}

// A save that fails is told to the person as any record update's is: a lock asks whether to try again (OK
// writes the row), another error says the update failed and the log goes on without its row.
struct FailedSaveCase {
    const char* name;
    int32_t hresult;
    QString shown;
    int buttons;
    size_t rows;
};

class WriteActivityLogFailedSave : public ::testing::TestWithParam<FailedSaveCase> {};

TEST_P(WriteActivityLogFailedSave, TellsThePersonAndGoesOn) {
    const FailedSaveCase& c = GetParam();
    UsersDatabase db;
    datatest::FaultyEngine faulty;
    faulty.Fail(ado::faulty::Operation::Insert, c.hresult, 1);

    activitylog::WriteActivityLog(QStringLiteral("Rebuild began at 09:00:00."));

    ASSERT_EQ(db.env.Answers().Shown().size(), 1u);
    EXPECT_EQ(db.env.Answers().Shown()[0].text, c.shown);
    EXPECT_EQ(db.env.Answers().Shown()[0].buttons, c.buttons);
    EXPECT_EQ(ReadLog(data::Settings().usersConnectionString).size(), c.rows);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, WriteActivityLogFailedSave,
    ::testing::Values(
        FailedSaveCase{
            "Locked", -2147217887,
            "Error: -2147217887: Injected failure\n\nContact your System Administrator about performing "
            "this function.Then click OK to continue or click Cancel to quit.",
            65, 1},
        FailedSaveCase{
            "Refused", -2147217900,
            "Error -2147217900 during record update.Injected failure\n\n** Update Failed **\nContact "
            "your System Administrator if this continues.",
            16, 0}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
