// The record operations on a real product database, with failures injected where the engine cannot be made
// to fail at will.

#include "data/generic_ado.h"
#include "support/faulty_engine.h"
#include "platform/screen.h"
#include "support/product_schema.h"
#include "support/program_environment.h"

#include <gtest/gtest.h>

#include <deque>

namespace {

using ado::faulty::Operation;

// The rows a query returns, read through a connection of its own.
int CountRows(const QString& connectionString, const QString& sql) {
    ado::Connection connection;
    connection.Open(connectionString);
    ado::Recordset rs;
    rs.Open(sql, connection);
    int rows = 0;
    for (; !rs.Eof(); rs.MoveNext())
        ++rows;
    rs.Close();
    connection.Close();
    return rows;
}

QString NotesOf(const QString& connectionString, int id) {
    ado::Connection connection;
    connection.Open(connectionString);
    ado::Recordset rs;
    rs.Open(QStringLiteral("SELECT Notes FROM Blacklist WHERE ID = %1").arg(id), connection);
    const QString notes =
        rs.Eof() ? QStringLiteral("<no row>") : rs.Fields(QStringLiteral("Notes")).ToString();
    rs.Close();
    connection.Close();
    return notes;
}

// A product database with Blacklist row 1 ("before"), and that row open for change through a failing
// provider.
struct OneRow {
    OneRow() {
        connectionString = testsupport::NewProductDatabase(testsupport::Engine::Jet, env.Dir());
        connection->Open(connectionString);
        connection->Execute(QStringLiteral(
            "INSERT INTO Blacklist (ID, Client_ID, Agency_ID, Notes) VALUES (1, 10, 20, 'before')"));
        recordset->Open(QStringLiteral("SELECT * FROM Blacklist WHERE ID = 1"), *connection,
                        ado::adOpenKeyset, ado::adLockPessimistic);
    }

    testsupport::ProgramEnvironment env;
    datatest::FaultyEngine jet;
    QString connectionString;
    std::unique_ptr<ado::Connection> connection = std::make_unique<ado::Connection>();
    std::unique_ptr<ado::Recordset> recordset = std::make_unique<ado::Recordset>();
};

struct UpdateCase {
    const char* name;
    int32_t hresult;
    int failures;
    bool quiet;
    std::deque<int> answers;
    bool result;
    int prompts;
    int failureMessages;
    int64_t sleptMs;
    bool saved;
    int pointerAfter;
};

std::ostream& operator<<(std::ostream& out, const UpdateCase& c) {
    return out << c.name;
}

class AdoUpdateRecordTest : public ::testing::TestWithParam<UpdateCase> {};

TEST_P(AdoUpdateRecordTest, RetriesPromptsOrReports) {
    const UpdateCase& c = GetParam();
    OneRow db;
    for (int answer : c.answers)
        db.env.Answers().Push(answer);
    db.jet.Fail(Operation::Update, c.hresult, c.failures);

    db.recordset->Fields(QStringLiteral("Notes")) = ado::Variant(QStringLiteral("after"));
    bool accessFlag = true;
    EXPECT_EQ(data::AdoUpdateRecord(*db.recordset, false, accessFlag, c.quiet), c.result);

    const QString n = QString::number(c.hresult);
    const QString prompt = QStringLiteral("Error: ") + n +
                           QStringLiteral(
                               ": Injected failure\n\nContact your System Administrator about performing "
                               "this function.Then click OK to continue or click Cancel to quit.");
    const QString failure = QStringLiteral("Error ") + n +
                            QStringLiteral(
                                " during record update.Injected failure\n\n** Update Failed **\n"
                                "Contact your System Administrator if this continues.");
    int prompts = 0;
    int failures = 0;
    for (const platform::MessageBoxRequest& shown : db.env.Answers().Shown()) {
        if (shown.text == prompt && shown.buttons == platform::vbOKCancel + platform::vbInformation) {
            ++prompts;
        } else if (shown.text == failure && shown.buttons == platform::vbOKOnly + platform::vbCritical) {
            ++failures;
        } else {
            ADD_FAILURE() << "unexpected message: " << shown.text.toStdString();
        }
    }
    EXPECT_EQ(prompts, c.prompts);
    EXPECT_EQ(failures, c.failureMessages);
    EXPECT_EQ(db.env.Clock().TotalSleptMs(), c.sleptMs);
    EXPECT_EQ(platform::Screen::MousePointer(), c.pointerAfter);
    EXPECT_EQ(NotesOf(db.connectionString, 1), c.saved ? QStringLiteral("after") : QStringLiteral("before"));
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Faults, AdoUpdateRecordTest,
    ::testing::Values(
        //         name, injected error, failures in a row, quiet, answers to the prompts;
        //         result, prompts, "** Update Failed **" messages, ms slept, saved, mouse pointer after
        UpdateCase{"QuietFiveFailures",               ado::E_FAIL_HR,              5,  true,  {},
                   true,  0, 0, 1250, true,  platform::vbDefault},
        UpdateCase{"QuietSixFailures",                ado::E_FAIL_HR,              6,  true,  {},
                   false, 0, 1, 1250, false, platform::vbDefault},
        UpdateCase{"QuietSixTimeouts",                ado::DB_E_ABORTLIMITREACHED, 6,  true,  {},
                   false, 0, 1, 1250, false, platform::vbDefault},
        UpdateCase{"QuietErrorsOccurredWithoutLimit", ado::DB_E_ERRORSOCCURRED,    8,  true,  {},
                   true,  0, 0, 2000, true,  platform::vbDefault},
        UpdateCase{"PromptedAfterEachFailure",        ado::E_FAIL_HR,              2,  false, {platform::vbOK, platform::vbOK},
                   true,  2, 0, 0,    true,  platform::vbDefault},
        UpdateCase{"CancelEndsAtOnce",                ado::E_FAIL_HR,              3,  false, {platform::vbCancel},
                   false, 1, 0, 0,    false, platform::vbHourglass},
        UpdateCase{"PromptedSixthFailureReported",    ado::E_FAIL_HR,              6,  false, std::deque<int>(5, platform::vbOK),
                   false, 5, 1, 0,    false, platform::vbDefault},
        UpdateCase{"OtherErrorReportedOnce",          ado::DB_E_INTEGRITYVIOLATION, 1, true,  {},
                   false, 0, 1, 0,    false, platform::vbDefault}),
    [](const ::testing::TestParamInfo<UpdateCase>& info) { return std::string(info.param.name); });
// clang-format on

struct RefreshCase {
    bool refresh;
    bool accessFlag;
    int refreshes;
};

class RefreshAfterWriteTest : public ::testing::TestWithParam<RefreshCase> {};

TEST_P(RefreshAfterWriteTest, RefreshesOnlyWhenAskedOnTheEmbeddedEngine) {
    RefreshCase c = GetParam();
    OneRow db;
    const int before = db.jet->Calls(Operation::RefreshCache);
    db.recordset->Fields(QStringLiteral("Notes")) = ado::Variant(QStringLiteral("after"));
    ASSERT_TRUE(data::AdoUpdateRecord(*db.recordset, c.refresh, c.accessFlag));
    EXPECT_EQ(db.jet->Calls(Operation::RefreshCache) - before, c.refreshes);
    ASSERT_TRUE(data::AdoDeleteRecord(*db.recordset, c.refresh, c.accessFlag));
    EXPECT_EQ(db.jet->Calls(Operation::RefreshCache) - before, 2 * c.refreshes);
    EXPECT_EQ(CountRows(db.connectionString, QStringLiteral("SELECT * FROM Blacklist")), 0);
}

INSTANTIATE_TEST_SUITE_P(Flags, RefreshAfterWriteTest,
                         ::testing::Values(RefreshCase{false, true, 0}, RefreshCase{true, false, 0},
                                           RefreshCase{true, true, 1}));

struct ExecuteCase {
    const char* name;
    int32_t hresult;
    int failures;
    int32_t result;
    int executes;
    int rows;
};

std::ostream& operator<<(std::ostream& out, const ExecuteCase& c) {
    return out << c.name;
}

class AdoExecuteTest : public ::testing::TestWithParam<ExecuteCase> {};

TEST_P(AdoExecuteTest, RetriesOneTimeOutOnly) {
    const ExecuteCase& c = GetParam();
    OneRow db;
    const int before = db.jet->Calls(Operation::Execute);
    db.jet.Fail(Operation::Execute, c.hresult, c.failures);

    EXPECT_EQ(
        data::AdoExecute(*db.connection, QStringLiteral("UPDATE Blacklist SET Notes = 'after' WHERE ID = 1")),
        c.result);

    EXPECT_EQ(db.jet->Calls(Operation::Execute) - before, c.executes);
    EXPECT_EQ(CountRows(db.connectionString, QStringLiteral("SELECT * FROM Blacklist WHERE Notes = 'after'")),
              c.rows);
    EXPECT_TRUE(db.env.Answers().Shown().empty());
    EXPECT_EQ(db.env.Clock().TotalSleptMs(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Faults, AdoExecuteTest,
    ::testing::Values(ExecuteCase{"Succeeds", ado::E_FAIL_HR, 0, 0, 1, 1},
                      ExecuteCase{"OneTimeOut", ado::DB_E_ABORTLIMITREACHED, 1, 0, 2, 1},
                      ExecuteCase{"TwoTimeOuts", ado::DB_E_ABORTLIMITREACHED, 2, ado::DB_E_ABORTLIMITREACHED,
                                  2, 0},
                      ExecuteCase{"FailureNotRetried", ado::E_FAIL_HR, 1, ado::E_FAIL_HR, 1, 0}),
    [](const ::testing::TestParamInfo<ExecuteCase>& info) { return std::string(info.param.name); });

TEST(AdoDeleteRecord, UnknownErrorIsReportedOnceAndTheRowStays) {
    OneRow db;
    db.jet.Fail(Operation::Delete, ado::DB_E_INTEGRITYVIOLATION, 1);
    bool accessFlag = true;

    EXPECT_FALSE(data::AdoDeleteRecord(*db.recordset, false, accessFlag));

    ASSERT_EQ(db.env.Answers().Shown().size(), 1u);
    EXPECT_EQ(db.env.Answers().Shown()[0].text,
              QStringLiteral("Unknown error #-2147217873 during record delete.Injected failure\n\n"
                             "** Delete Failed **\nContact your System Administrator if this continues."));
    EXPECT_EQ(db.env.Answers().Shown()[0].buttons, platform::vbOKOnly + platform::vbCritical);
    EXPECT_EQ(db.env.Clock().TotalSleptMs(), 0);
    EXPECT_EQ(CountRows(db.connectionString, QStringLiteral("SELECT * FROM Blacklist")), 1);
}

TEST(AdoDeleteRecord, WaitsOutLockErrorsOneSecondEach) {
    OneRow db;
    for (int32_t lockError : {3186, 3188, ado::JET_LOCKED, ado::E_FAIL_HR, ado::DB_E_ERRORSOCCURRED}) {
        db.jet.Fail(Operation::Delete, lockError, 1);
    }
    bool accessFlag = true;

    EXPECT_TRUE(data::AdoDeleteRecord(*db.recordset, false, accessFlag));

    EXPECT_TRUE(db.env.Answers().Shown().empty());
    EXPECT_EQ(db.env.Clock().TotalSleptMs(), 5000);
    EXPECT_EQ(platform::Screen::MousePointer(), platform::vbDefault);
    EXPECT_EQ(CountRows(db.connectionString, QStringLiteral("SELECT * FROM Blacklist")), 0);
}

TEST(AdoAddWithIdentity, BelowOneOnlyBeginsARowTheDatabaseNumbers) {
    for (int32_t id : {0, -3}) {
        OneRow db;
        const int before = db.jet->Calls(Operation::Execute);
        db.recordset->Close();
        db.recordset->Open(QStringLiteral("SELECT * FROM Blacklist WHERE ID = -1"), *db.connection,
                           ado::adOpenDynamic, ado::adLockPessimistic);

        EXPECT_TRUE(data::AdoAddWithIdentity(QStringLiteral("Access"), *db.connection, db.recordset,
                                             QStringLiteral("Blacklist"), id));
        db.recordset->Fields(QStringLiteral("Notes")) = ado::Variant(QStringLiteral("new"));
        bool accessFlag = true;
        ASSERT_TRUE(data::AdoUpdateRecord(*db.recordset, false, accessFlag));

        EXPECT_EQ(db.jet->Calls(Operation::Execute), before) << "no statement of its own";
        EXPECT_EQ(CountRows(db.connectionString,
                            QStringLiteral("SELECT * FROM Blacklist WHERE Notes = 'new' AND ID > 1")),
                  1);
    }
}

TEST(AdoAddWithIdentity, WithAnIdInsertsItAndReopensOnTheRow) {
    OneRow db;
    QStringList executed;
    ado::faulty::Fault spy;
    spy.operation = Operation::Execute;
    spy.matches = [&executed](const QString& sql) {
        executed << sql;
        return false;
    };
    db.jet->Add(spy);

    EXPECT_TRUE(data::AdoAddWithIdentity(QStringLiteral("Access"), *db.connection, db.recordset,
                                         QStringLiteral("Blacklist"), 7));

    EXPECT_EQ(executed, QStringList{QStringLiteral("INSERT INTO Blacklist (ID) VALUES (7); ")});
    ASSERT_FALSE(db.recordset->Eof());
    EXPECT_EQ(db.recordset->Fields(QStringLiteral("ID")).ToLong(), 7);
    EXPECT_TRUE(db.recordset->Fields(QStringLiteral("Notes")).IsNull());
    db.recordset->Fields(QStringLiteral("Notes")) = ado::Variant(QStringLiteral("seven"));
    bool accessFlag = true;
    ASSERT_TRUE(data::AdoUpdateRecord(*db.recordset, false, accessFlag));
    EXPECT_EQ(NotesOf(db.connectionString, 7), QStringLiteral("seven"));
}

TEST(AdoAddWithIdentity, FalseWhenTheRowCannotBeReadBack) {
    OneRow db;
    db.connection->Execute(
        QStringLiteral("CREATE TABLE Strict (ID INTEGER PRIMARY KEY, Code TEXT NOT NULL)"));

    EXPECT_FALSE(data::AdoAddWithIdentity(QStringLiteral("Access"), *db.connection, db.recordset,
                                          QStringLiteral("Strict"), 7));
    EXPECT_TRUE(db.recordset->Eof());
    EXPECT_TRUE(db.env.Answers().Shown().empty());
}

TEST(AdoAddWithIdentity, ServerFormOnTheServer) {
    KESTRANE_REQUIRE_SERVER();
    testsupport::ProgramEnvironment env;
    const QString connectionString = testsupport::NewProductDatabase(testsupport::Engine::Server, env.Dir());
    ado::Connection connection;
    connection.Open(connectionString);
    auto recordset = std::make_unique<ado::Recordset>();
    recordset->Open(QStringLiteral("SELECT * FROM Blacklist WHERE ID = -1"), connection, ado::adOpenDynamic,
                    ado::adLockPessimistic);

    EXPECT_TRUE(data::AdoAddWithIdentity(QStringLiteral("SQL Server"), connection, recordset,
                                         QStringLiteral("Blacklist"), 7));
    recordset->Fields(QStringLiteral("Notes")) = ado::Variant(QStringLiteral("seven"));
    bool accessFlag = false;
    ASSERT_TRUE(data::AdoUpdateRecord(*recordset, true, accessFlag));
    EXPECT_EQ(NotesOf(connectionString, 7), QStringLiteral("seven"));
}

TEST(AdoAutoAddRS, BeginsARowOrReportsWhyNot) {
    OneRow db;
    EXPECT_TRUE(data::AdoAutoAddRS(*db.recordset));
    EXPECT_TRUE(db.env.Answers().Shown().empty());

    ado::Recordset readOnly;
    readOnly.Open(QStringLiteral("SELECT * FROM Blacklist"), *db.connection);
    EXPECT_FALSE(data::AdoAutoAddRS(readOnly));
    ASSERT_EQ(db.env.Answers().Shown().size(), 1u);
    const platform::MessageBoxRequest& shown = db.env.Answers().Shown()[0];
    EXPECT_TRUE(shown.text.startsWith(QStringLiteral("Error #3251\r\r"))) << shown.text.toStdString();
    EXPECT_TRUE(shown.text.endsWith(QStringLiteral("\r\rAdd failed in AdoAutoAddRS.")));
    EXPECT_EQ(shown.buttons, platform::vbOKOnly + platform::vbCritical);
}

}  // namespace
