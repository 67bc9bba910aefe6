// The record operations on a real product database, with failures injected where the engine cannot be made
// to fail at will.

#include "data/generic_ado.h"
#include "data/failed_writes.h"
#include "platform/screen.h"
#include "support/faulty_engine.h"
#include "support/product_schema.h"
#include "support/program_environment.h"
#include "support/query_rows.h"

#include <gtest/gtest.h>

#include <deque>

using namespace Qt::StringLiterals;

namespace {

using ado::faulty::Operation;

// How many rows sql returns, and the notes of Blacklist row id ("<no row>" without one), read on a connection of
// their own.
int CountRows(const QString& connectionString, const QString& sql) {
    return static_cast<int>(testsupport::QueryRows(connectionString, sql, {}).size());
}

QString NotesOf(const QString& connectionString, int id) {
    const auto rows =
        testsupport::QueryRows(connectionString, u"SELECT Notes FROM Blacklist WHERE ID = %1"_s.arg(id), {u"Notes"_s});
    return rows.empty() ? u"<no row>"_s : rows[0][0];
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

// The record operations meeting a fault, by what waiting can do about it: another workstation's lock, a
// server that is away, a condition that no wait clears. The faulty provider stands for each: native 3260 for
// a lock, 10054 for a connection the server dropped, 3027 for a read-only file.
enum class Routine { Delete, QuietUpdate, PromptedUpdate };

struct WaitCase {
    const char* name;
    Routine routine;
    int32_t hresult;
    int32_t native;
    int failures;  // -1: for ever
    std::deque<int> answers;
    // What happens:
    bool result;
    int attempts;
    int prompts;
    int lockMessages;
    int failureMessages;
    int64_t sleptMs;
    int warnings;  // warning lines on standard error
};

std::ostream& operator<<(std::ostream& out, const WaitCase& c) {
    return out << c.name;
}

class RecordWaitTest : public ::testing::TestWithParam<WaitCase> {};

TEST_P(RecordWaitTest, WaitsByCause) {
    const WaitCase& c = GetParam();
    OneRow db;
    for (int answer : c.answers)
        db.env.Answers().Push(answer);
    const Operation operation = c.routine == Routine::Delete ? Operation::Delete : Operation::Update;
    db.jet.Fail(operation, c.hresult, c.failures, c.native);
    const int callsBefore = db.jet->Calls(operation);

    bool accessFlag = true;
    testing::internal::CaptureStderr();
    bool result = false;
    if (c.routine == Routine::Delete) {
        result = data::AdoDeleteRecord(*db.recordset, false, accessFlag);
    } else {
        db.recordset->Fields(QStringLiteral("Notes")) = ado::Variant(QStringLiteral("after"));
        result = data::AdoUpdateRecord(*db.recordset, false, accessFlag, c.routine == Routine::QuietUpdate);
    }
    const QStringList warnings =
        QString::fromStdString(testing::internal::GetCapturedStderr()).split(u'\n', Qt::SkipEmptyParts);

    EXPECT_EQ(result, c.result);
    EXPECT_EQ(db.jet->Calls(operation) - callsBefore, c.attempts);
    const QString n = QString::number(c.hresult);
    const QString prompt = QStringLiteral("Error: ") + n +
                           QStringLiteral(
                               ": Injected failure\n\nContact your System Administrator about performing "
                               "this function.Then click OK to continue or click Cancel to quit.");
    const QString lockMessage = QStringLiteral(
        "Injected failure\nCheck other KSProcessDisqualificationsQueue workstations to make sure they exit "
        "their "
        "update.Then click OK to continue.");
    const QString failure = c.routine == Routine::Delete
                                ? QStringLiteral("Unknown error #") + n +
                                      QStringLiteral(
                                          " during record delete.Injected failure\n\n** Delete Failed **\n"
                                          "Contact your System Administrator if this continues.")
                                : QStringLiteral("Error ") + n +
                                      QStringLiteral(
                                          " during record update.Injected failure\n\n** Update Failed **\n"
                                          "Contact your System Administrator if this continues.");
    int prompts = 0;
    int lockMessages = 0;
    int failures = 0;
    for (const platform::MessageBoxRequest& shown : db.env.Answers().Shown()) {
        if (shown.text == prompt && shown.buttons == platform::vbOKCancel + platform::vbInformation) {
            ++prompts;
        } else if (shown.text == lockMessage &&
                   shown.buttons == platform::vbOKOnly + platform::vbInformation) {
            ++lockMessages;
        } else if (shown.text == failure && shown.buttons == platform::vbOKOnly + platform::vbCritical) {
            ++failures;
        } else {
            ADD_FAILURE() << "unexpected message: " << shown.text.toStdString();
        }
    }
    EXPECT_EQ(prompts, c.prompts);
    EXPECT_EQ(lockMessages, c.lockMessages);
    EXPECT_EQ(failures, c.failureMessages);
    EXPECT_EQ(db.env.Clock().TotalSleptMs(), c.sleptMs);
    EXPECT_EQ(warnings.size(), c.warnings) << warnings.join(u'\n').toStdString();
    const QString operationName = c.routine == Routine::Delete ? u"record delete"_s : u"record update"_s;
    for (const QString& line : warnings) {
        EXPECT_TRUE(line.startsWith(u"Warning: "_s + operationName +
                                    u" (SELECT * FROM Blacklist WHERE ID = 1) failing since "_s))
            << line.toStdString();
        EXPECT_TRUE(line.endsWith(u": error "_s + n + u", native "_s + QString::number(c.native) +
                                  u": Injected failure"_s))
            << line.toStdString();
    }
    // Only a Cancel at the prompt leaves the hourglass up.
    const bool cancelled = !c.result && c.prompts > 0 && c.failureMessages == 0;
    EXPECT_EQ(platform::Screen::MousePointer(), cancelled ? platform::vbHourglass : platform::vbDefault);
    EXPECT_EQ(data::FailedWriteCount(), c.result ? 0 : 1);
    if (!c.result)  // counted by its kind, for the run's last line
        EXPECT_TRUE(data::FailedWritesLine().contains(c.routine == Routine::Delete ? u"1 delete(s)"_s
                                                                                   : u"1 update(s)"_s));
    const QString expectedNotes = c.routine == Routine::Delete ? (c.result ? u"<no row>"_s : u"before"_s)
                                                               : (c.result ? u"after"_s : u"before"_s);
    EXPECT_EQ(NotesOf(db.connectionString, 1), expectedNotes);
}

constexpr int32_t kLock = ado::JET_LOCKED;
constexpr int32_t kAway = ado::SQL_CONNECTION_LOST;
constexpr int32_t kReadOnly = ado::JET_READ_ONLY;
constexpr int kForEver = -1;

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Causes, RecordWaitTest,
    ::testing::Values(
        //      name, routine, injected error, native, failures in a row, answers to the prompts;
        //      result, attempts, prompts, lock messages, failure messages, ms slept, warning lines
        WaitCase{"DeleteLockOf25Seconds",        Routine::Delete, ado::E_FAIL_HR, kLock, 25, {},
                 true,  26,  0, 2,  0, 25'000,  1},
        WaitCase{"DeleteLockForEver",            Routine::Delete, ado::E_FAIL_HR, kLock, kForEver, {},
                 false, 301, 0, 27, 1, 300'000, 5},
        WaitCase{"DeleteServerAwayFor20Seconds", Routine::Delete, ado::E_FAIL_HR, kAway, 20, {},
                 true,  21,  0, 0,  0, 20'000,  1},
        WaitCase{"DeleteServerAwayForEver",      Routine::Delete, ado::E_FAIL_HR, kAway, kForEver, {},
                 false, 301, 0, 0,  1, 300'000, 5},
        WaitCase{"DeleteReadOnly",               Routine::Delete, ado::E_FAIL_HR, kReadOnly, kForEver, {},
                 false, 1,   0, 0,  1, 0,       0},
        WaitCase{"DeleteOtherError",             Routine::Delete, ado::DB_E_INTEGRITYVIOLATION, 2627, 1, {},
                 false, 1,   0, 0,  1, 0,       0},
        WaitCase{"QuietUpdateFiveLocks",         Routine::QuietUpdate, ado::E_FAIL_HR, kLock, 5, {},
                 true,  6,   0, 0,  0, 1250,    0},
        WaitCase{"QuietUpdateSixLocks",          Routine::QuietUpdate, ado::E_FAIL_HR, kLock, 6, {},
                 false, 6,   0, 0,  1, 1250,    0},
        WaitCase{"QuietUpdateSixTimeouts",       Routine::QuietUpdate, ado::DB_E_ABORTLIMITREACHED, 0, 6, {},
                 false, 6,   0, 0,  1, 1250,    0},
        WaitCase{"QuietUpdateErrorsOccurred",    Routine::QuietUpdate, ado::DB_E_ERRORSOCCURRED, 0, 8, {},
                 true,  9,   0, 0,  0, 2000,    0},
        WaitCase{"QuietUpdateErrorsOccurredForEver", Routine::QuietUpdate, ado::DB_E_ERRORSOCCURRED, 0, kForEver, {},
                 false, 1201, 0, 0, 1, 300'000, 5},
        WaitCase{"QuietUpdateServerAwayFor10Seconds", Routine::QuietUpdate, ado::E_FAIL_HR, kAway, 40, {},
                 true,  41,  0, 0,  0, 10'000,  1},
        WaitCase{"QuietUpdateServerAwayForEver", Routine::QuietUpdate, ado::E_FAIL_HR, kAway, kForEver, {},
                 false, 1201, 0, 0, 1, 300'000, 5},
        WaitCase{"QuietUpdateReadOnly",          Routine::QuietUpdate, ado::E_FAIL_HR, kReadOnly, kForEver, {},
                 false, 1,   0, 0,  1, 0,       0},
        WaitCase{"QuietUpdateOtherError",        Routine::QuietUpdate, ado::DB_E_INTEGRITYVIOLATION, 2627, 1, {},
                 false, 1,   0, 0,  1, 0,       0},
        WaitCase{"PromptedAfterEachLock",        Routine::PromptedUpdate, ado::E_FAIL_HR, kLock, 2, {platform::vbOK, platform::vbOK},
                 true,  3,   2, 0,  0, 0,       0},
        WaitCase{"PromptCancelledEndsAtOnce",    Routine::PromptedUpdate, ado::E_FAIL_HR, kLock, 3, {platform::vbCancel},
                 false, 1,   1, 0,  0, 0,       0},
        WaitCase{"PromptedSixthLockReported",    Routine::PromptedUpdate, ado::E_FAIL_HR, kLock, 6, std::deque<int>(5, platform::vbOK),
                 false, 6,   5, 0,  1, 0,       0},
        WaitCase{"ServerAwayWaitedWithoutPrompt", Routine::PromptedUpdate, ado::E_FAIL_HR, kAway, 8, {},
                 true,  9,   0, 0,  0, 2000,    0},
        WaitCase{"PromptedReadOnly",             Routine::PromptedUpdate, ado::E_FAIL_HR, kReadOnly, kForEver, {},
                 false, 1,   0, 0,  1, 0,       0}),
    [](const ::testing::TestParamInfo<WaitCase>& info) { return std::string(info.param.name); });
// clang-format on

TEST(RecordWait, ALockThatOutlastedItsWaitIsNotWaitedOnAgainUntilAWriteGoesThrough) {
    OneRow db;
    db.connection->Execute(QStringLiteral(
        "INSERT INTO Blacklist (ID, Client_ID, Agency_ID, Notes) VALUES (2, 11, 20, 'second')"));
    ado::Recordset all;
    all.Open(QStringLiteral("SELECT * FROM Blacklist ORDER BY ID"), *db.connection, ado::adOpenKeyset,
             ado::adLockPessimistic);
    db.jet.Fail(Operation::Delete, ado::E_FAIL_HR, kForEver, kLock);
    bool accessFlag = true;

    EXPECT_FALSE(data::AdoDeleteRecord(all, false, accessFlag));
    EXPECT_EQ(db.env.Clock().TotalSleptMs(), 300'000);
    all.MoveNext();
    EXPECT_FALSE(data::AdoDeleteRecord(all, false, accessFlag));
    EXPECT_EQ(db.env.Clock().TotalSleptMs(), 300'000) << "the second delete gives up at its first failure";

    // Once a write goes through on that data, a lock is waited out again.
    db.jet->Clear();
    db.recordset->Fields(QStringLiteral("Notes")) = ado::Variant(QStringLiteral("after"));
    ASSERT_TRUE(data::AdoUpdateRecord(*db.recordset, false, accessFlag, true));
    db.jet.Fail(Operation::Delete, ado::E_FAIL_HR, 3, kLock);
    EXPECT_TRUE(data::AdoDeleteRecord(all, false, accessFlag));
    EXPECT_EQ(db.env.Clock().TotalSleptMs(), 303'000);
    EXPECT_EQ(data::FailedWriteCount(), 2);
}

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

TEST(AdoDeleteRecord, WaitsOutEachLockNumberOneSecond) {
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
    EXPECT_EQ(data::FailedWriteCount(), 1);
}

}  // namespace
