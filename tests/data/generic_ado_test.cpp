// The record operations on a real product database, with failures injected where the engine cannot be made
// to fail at will, and against a real lock of another session.

#include "data/generic_ado.h"
#include "ado/connection_string.h"
#include "data/failed_writes.h"
#include "platform/screen.h"
#include "support/faulty_engine.h"
#include "support/product_schema.h"
#include "support/program_environment.h"
#include "support/query_rows.h"
#include "support/server_connection.h"

#include <sqlite3.h>

#include <gtest/gtest.h>

#include <deque>
#include <memory>
#include <utility>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

using ado::faulty::Operation;
using testsupport::Engine;

// The notes of Blacklist row id ("<no row>" without one), read on a connection of their own.
QString NotesOf(const QString& connectionString, int id) {
    const auto rows = testsupport::QueryRows(
        connectionString, u"SELECT Notes FROM Blacklist WHERE ID = %1"_s.arg(id), {u"Notes"_s});
    return rows.empty() ? u"<no row>"_s : rows[0][0];
}

// A product database (by default on the files) with Blacklist row 1 ("before"), and that row open for change
// through a failing provider.
struct OneRow {
    explicit OneRow(Engine engine = Engine::Jet)
        : jet(engine == Engine::Jet ? datatest::kJetProvider : datatest::kServerProvider),
          accessFlag(engine == Engine::Jet) {
        connectionString = testsupport::NewProductDatabase(engine, env.Dir());
        connection->Open(connectionString);
        connection->Execute(
            u"INSERT INTO Blacklist (ID, Client_ID, Agency_ID, Notes) VALUES (1, 10, 20, 'before')"_s);
        recordset->Open(u"SELECT * FROM Blacklist WHERE ID = 1"_s, *connection, ado::adOpenKeyset,
                        ado::adLockPessimistic);
    }
    void SetNotes(const QString& notes) { recordset->Fields(u"Notes"_s) = ado::Variant(notes); }

    testsupport::ProgramEnvironment env;
    datatest::FaultyEngine jet;
    QString connectionString;
    std::unique_ptr<ado::Connection> connection = std::make_unique<ado::Connection>();
    std::unique_ptr<ado::Recordset> recordset = std::make_unique<ado::Recordset>();
    bool accessFlag;
};

// The record operations meeting a fault, by what waiting can do about it: another workstation's lock, a
// server that is away, a condition that no wait clears. The faulty provider stands for each: native 3260 for
// a lock, 10054 for a connection the server dropped, 3027 for a read-only file.
enum class Routine { Delete, QuietUpdate, PromptedUpdate };

struct WaitCase {
    const char* name;
    Routine routine;
    int32_t hresult, native;
    int failures;  // -1: for ever
    std::deque<int> answers;
    // What happens:
    bool result;
    int attempts, prompts, lockMessages, failureMessages;
    int64_t sleptMs;
    int warnings;  // warning lines on standard error
};

class RecordWaitTest : public ::testing::TestWithParam<WaitCase> {};

TEST_P(RecordWaitTest, WaitsByCause) {
    const WaitCase& c = GetParam();
    OneRow db;
    for (int answer : c.answers)
        db.env.Answers().Push(answer);
    const bool del = c.routine == Routine::Delete;
    const Operation operation = del ? Operation::Delete : Operation::Update;
    db.jet.Fail(operation, c.hresult, c.failures, c.native);
    const int callsBefore = db.jet->Calls(operation);

    testing::internal::CaptureStderr();
    if (!del)
        db.SetNotes(u"after"_s);
    const bool result =
        del ? data::AdoDeleteRecord(*db.recordset, false, db.accessFlag)
            : data::AdoUpdateRecord(*db.recordset, false, db.accessFlag, c.routine == Routine::QuietUpdate);
    const QStringList warnings =
        QString::fromStdString(testing::internal::GetCapturedStderr()).split(u'\n', Qt::SkipEmptyParts);

    EXPECT_EQ(result, c.result);
    EXPECT_EQ(db.jet->Calls(operation) - callsBefore, c.attempts);
    // Each message the routine may show, its buttons, and how often it is expected.
    const QString n = QString::number(c.hresult);
    const std::tuple<QString, int, int> messages[] = {
        {u"Error: "_s + n +
             u": Injected failure\n\nContact your System Administrator about performing this function."
             "Then click OK to continue or click Cancel to quit."_s,
         platform::vbOKCancel + platform::vbInformation, c.prompts},
        {u"Injected failure\nCheck other KSProcessDisqualificationsQueue workstations to make sure they exit "
         "their update.Then click OK to continue."_s,
         platform::vbOKOnly + platform::vbInformation, c.lockMessages},
        {(del ? u"Unknown error #%1 during record delete.Injected failure\n\n** Delete Failed **\n"_s
              : u"Error %1 during record update.Injected failure\n\n** Update Failed **\n"_s)
                 .arg(n) +
             u"Contact your System Administrator if this continues."_s,
         platform::vbOKOnly + platform::vbCritical, c.failureMessages}};
    const auto& shown = db.env.Answers().Shown();
    for (const auto& [text, buttons, count] : messages) {
        EXPECT_EQ(std::count_if(shown.begin(), shown.end(),
                                [&](const auto& s) { return s.text == text && s.buttons == buttons; }),
                  count)
            << text.toStdString();
    }
    EXPECT_EQ(static_cast<int>(shown.size()), c.prompts + c.lockMessages + c.failureMessages);
    EXPECT_EQ(db.env.Clock().TotalSleptMs(), c.sleptMs);
    EXPECT_EQ(warnings.size(), c.warnings) << warnings.join(u'\n').toStdString();
    for (const QString& line : warnings) {
        EXPECT_TRUE(line.startsWith(u"Warning: record "_s + (del ? u"delete"_s : u"update"_s) +
                                    u" (SELECT * FROM Blacklist WHERE ID = 1) failing since "_s))
            << line.toStdString();
        EXPECT_TRUE(line.endsWith(u": error %1, native %2: Injected failure"_s.arg(n).arg(c.native)))
            << line.toStdString();
    }
    // Only a Cancel at the prompt leaves the hourglass up.
    const bool cancelled = !c.result && c.prompts > 0 && c.failureMessages == 0;
    EXPECT_EQ(platform::Screen::MousePointer(), cancelled ? platform::vbHourglass : platform::vbDefault);
    EXPECT_EQ(data::FailedWriteCount(), c.result ? 0 : 1);
    // A write given up on is counted by its kind, for the run's last line.
    EXPECT_TRUE(c.result || data::FailedWritesLine().contains(del ? u"1 delete(s)"_s : u"1 update(s)"_s));
    EXPECT_EQ(NotesOf(db.connectionString, 1), !c.result ? u"before"_s : del ? u"<no row>"_s : u"after"_s);
}

constexpr int32_t kFail = ado::E_FAIL_HR;
constexpr int32_t kLock = ado::JET_LOCKED;
constexpr int32_t kAway = ado::SQL_CONNECTION_LOST;
constexpr int32_t kReadOnly = ado::JET_READ_ONLY;
constexpr int32_t kTimeOut = ado::DB_E_ABORTLIMITREACHED;
constexpr int32_t kOther = ado::DB_E_INTEGRITYVIOLATION;
constexpr int kForEver = -1;
constexpr Routine D = Routine::Delete, Q = Routine::QuietUpdate, P = Routine::PromptedUpdate;
const int kOk = platform::vbOK;

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Causes, RecordWaitTest,
    ::testing::Values(
        // name, routine, injected error, native, failures in a row, answers to the prompts;
        // result, attempts, prompts, lock messages, failure messages, ms slept, warning lines
        WaitCase{"DeleteLockOf25Seconds",         D, kFail, kLock, 25, {}, true,  26, 0, 2, 0, 25'000, 1},
        WaitCase{"DeleteLockForEver",             D, kFail, kLock, kForEver, {}, false, 301, 0, 27, 1, 300'000, 5},
        WaitCase{"DeleteServerAwayForEver",       D, kFail, kAway, kForEver, {}, false, 301, 0, 0, 1, 300'000, 5},
        WaitCase{"DeleteReadOnly",                D, kFail, kReadOnly, kForEver, {}, false, 1, 0, 0, 1, 0, 0},
        WaitCase{"DeleteOtherError",              D, kOther, 2627, 1, {}, false, 1, 0, 0, 1, 0, 0},
        WaitCase{"QuietUpdateFiveLocks",          Q, kFail, kLock, 5, {}, true,  6, 0, 0, 0, 1250, 0},
        WaitCase{"QuietUpdateSixLocks",           Q, kFail, kLock, 6, {}, false, 6, 0, 0, 1, 1250, 0},
        WaitCase{"QuietUpdateSixTimeouts",        Q, kTimeOut, 0, 6, {}, false, 6, 0, 0, 1, 1250, 0},
        WaitCase{"QuietUpdateErrorsOccurredForEver", Q, ado::DB_E_ERRORSOCCURRED, 0, kForEver, {}, false, 1201, 0, 0, 1, 300'000, 5},
        WaitCase{"QuietUpdateServerAwayForEver",  Q, kFail, kAway, kForEver, {}, false, 1201, 0, 0, 1, 300'000, 5},
        WaitCase{"QuietUpdateReadOnly",           Q, kFail, kReadOnly, kForEver, {}, false, 1, 0, 0, 1, 0, 0},
        WaitCase{"QuietUpdateOtherError",         Q, kOther, 2627, 1, {}, false, 1, 0, 0, 1, 0, 0},
        WaitCase{"PromptedAfterEachLock",         P, kFail, kLock, 2, {kOk, kOk}, true, 3, 2, 0, 0, 0, 0},
        WaitCase{"PromptCancelledEndsAtOnce",     P, kFail, kLock, 3, {platform::vbCancel}, false, 1, 1, 0, 0, 0, 0},
        WaitCase{"PromptedSixthLockReported",     P, kFail, kLock, 6, std::deque<int>(5, kOk), false, 6, 5, 0, 1, 0, 0},
        WaitCase{"ServerAwayWaitedWithoutPrompt", P, kFail, kAway, 8, {}, true,  9, 0, 0, 0, 2000, 0}),
    [](const ::testing::TestParamInfo<WaitCase>& info) { return std::string(info.param.name); });
// clang-format on

TEST(RecordWait, ALockThatOutlastedItsWaitIsNotWaitedOnAgainUntilAWriteGoesThrough) {
    OneRow db;
    db.connection->Execute(
        u"INSERT INTO Blacklist (ID, Client_ID, Agency_ID, Notes) VALUES (2, 11, 20, 'two')"_s);
    ado::Recordset all;
    all.Open(u"SELECT * FROM Blacklist ORDER BY ID"_s, *db.connection, ado::adOpenKeyset,
             ado::adLockPessimistic);
    db.jet.Fail(Operation::Delete, kFail, kForEver, kLock);

    EXPECT_FALSE(data::AdoDeleteRecord(all, false, db.accessFlag));
    EXPECT_EQ(db.env.Clock().TotalSleptMs(), 300'000);
    all.MoveNext();
    EXPECT_FALSE(data::AdoDeleteRecord(all, false, db.accessFlag));
    EXPECT_EQ(db.env.Clock().TotalSleptMs(), 300'000) << "the second delete gives up at its first failure";

    // Once a write goes through on that data, a lock is waited out again: a second for each lock number.
    db.jet->Clear();
    db.SetNotes(u"after"_s);
    ASSERT_TRUE(data::AdoUpdateRecord(*db.recordset, false, db.accessFlag, true));
    const size_t messages = db.env.Answers().Shown().size();
    for (int32_t lockError : {3186, 3188, ado::JET_LOCKED, ado::E_FAIL_HR, ado::DB_E_ERRORSOCCURRED})
        db.jet.Fail(Operation::Delete, lockError, 1);
    EXPECT_TRUE(data::AdoDeleteRecord(all, false, db.accessFlag));
    EXPECT_EQ(db.env.Clock().TotalSleptMs(), 305'000);
    EXPECT_EQ(db.env.Answers().Shown().size(), messages);
    EXPECT_EQ(data::FailedWriteCount(), 2);
}

// AdoDeleteRecord against a real lock that another session holds for 25 seconds of virtual time.
class RecordLockTest : public ::testing::TestWithParam<Engine> {};

TEST_P(RecordLockTest, DeleteWaitsOutALockOf25Seconds) {
    const Engine engine = GetParam();
    if (engine == Engine::Server)
        KESTRANE_REQUIRE_SERVER();
    OneRow db(engine);  // its provider fails nothing here
    auto& env = db.env;

    // Another workstation in the middle of an update of row 1: on the files a second session with a pending
    // write, on the server a session holding the row with SELECT ... FOR UPDATE. Each ends with its session.
    std::unique_ptr<testsupport::ServerConnection> server;
    sqlite3* file = nullptr;
    if (engine == Engine::Jet) {
        const QString path = ado::ConnectionString(db.connectionString).Get(u"Data Source"_s);
        ASSERT_EQ(sqlite3_open_v2(path.toUtf8().constData(), &file, SQLITE_OPEN_READWRITE, nullptr),
                  SQLITE_OK);
        ASSERT_EQ(sqlite3_exec(file, "BEGIN IMMEDIATE; UPDATE Blacklist SET Notes = 'held' WHERE ID = 1;",
                               nullptr, nullptr, nullptr),
                  SQLITE_OK);
    } else {
        server = std::make_unique<testsupport::ServerConnection>(testsupport::CatalogOf(db.connectionString));
        server->Exec(u"BEGIN; SELECT * FROM blacklist WHERE id = 1 FOR UPDATE"_s);
    }
    const auto release = [&] {
        server.reset();
        sqlite3_close(std::exchange(file, nullptr));  // rolls the pending write back
    };
    const QDateTime start = env.Clock().Now();
    // The failed attempt after which each lock message appeared: a message follows the wait of its attempt,
    // so the next wait sees it.
    std::vector<int> messageAfterAttempt;
    int waits = 0;
    env.Clock().OnSleep([&](const QDateTime& now) {
        ++waits;
        if (env.Answers().Shown().size() > messageAfterAttempt.size())
            messageAfterAttempt.push_back(waits - 1);
        if (start.secsTo(now) >= 25)
            release();
    });

    EXPECT_TRUE(data::AdoDeleteRecord(*db.recordset, true, db.accessFlag));

    EXPECT_EQ(env.Clock().TotalSleptMs(), 25 * 1000);
    EXPECT_EQ(platform::Screen::MousePointer(), platform::vbDefault);
    const QString advice =
        u"\nCheck other KSProcessDisqualificationsQueue workstations to make sure they exit their update."
        "Then click OK to continue."_s;
    ASSERT_EQ(env.Answers().Shown().size(), 2u);
    EXPECT_EQ(messageAfterAttempt, (std::vector<int>{11, 22}));
    for (const platform::MessageBoxRequest& shown : env.Answers().Shown()) {
        EXPECT_TRUE(shown.text.endsWith(advice)) << shown.text.toStdString();
        EXPECT_GT(shown.text.size(), advice.size()) << "the engine's description comes first";
        EXPECT_EQ(shown.buttons, platform::vbOKOnly + platform::vbInformation);
        EXPECT_EQ(shown.title, u"KSProcessDisqualificationsQueue"_s);
    }

    env.Clock().OnSleep(nullptr);
    release();
    EXPECT_EQ(NotesOf(db.connectionString, 1), u"<no row>"_s);
}

INSTANTIATE_TEST_SUITE_P(Engines, RecordLockTest, ::testing::Values(Engine::Jet, Engine::Server),
                         [](const ::testing::TestParamInfo<Engine>& info) {
                             return std::string(info.param == Engine::Jet ? "Embedded" : "Server");
                         });

// The cache is refreshed after a write only when asked, and only on the embedded engine.
TEST(RecordWrite, RefreshesOnlyWhenAskedOnTheEmbeddedEngine) {
    for (const auto& [refresh, accessFlag, refreshes] :
         {std::tuple{false, true, 0}, {true, false, 0}, {true, true, 1}}) {
        OneRow db;
        const int before = db.jet->Calls(Operation::RefreshCache);
        db.SetNotes(u"after"_s);
        ASSERT_TRUE(data::AdoUpdateRecord(*db.recordset, refresh, accessFlag));
        EXPECT_EQ(db.jet->Calls(Operation::RefreshCache) - before, refreshes);
        ASSERT_TRUE(data::AdoDeleteRecord(*db.recordset, refresh, accessFlag));
        EXPECT_EQ(db.jet->Calls(Operation::RefreshCache) - before, 2 * refreshes);
        EXPECT_EQ(NotesOf(db.connectionString, 1), u"<no row>"_s);
    }
}

// AdoExecute retries one time-out and nothing else, and reports the error it gave up on.
TEST(AdoExecute, RetriesOneTimeOutOnly) {
    // The injected error, failures in a row; the result, executes, and row 1's notes afterwards.
    const std::tuple<int32_t, int, int32_t, int, QString> cases[] = {
        {kFail, 0, 0, 1, u"after"_s},
        {kTimeOut, 1, 0, 2, u"after"_s},
        {kTimeOut, 2, kTimeOut, 2, u"before"_s},
        {kFail, 1, kFail, 1, u"before"_s},
    };
    for (const auto& [hresult, failures, result, executes, notes] : cases) {
        SCOPED_TRACE(failures);
        OneRow db;
        const int before = db.jet->Calls(Operation::Execute);
        db.jet.Fail(Operation::Execute, hresult, failures);
        EXPECT_EQ(data::AdoExecute(*db.connection, u"UPDATE Blacklist SET Notes = 'after' WHERE ID = 1"_s),
                  result);
        EXPECT_EQ(db.jet->Calls(Operation::Execute) - before, executes);
        EXPECT_EQ(NotesOf(db.connectionString, 1), notes);
        EXPECT_TRUE(db.env.Answers().Shown().empty());
        EXPECT_EQ(db.env.Clock().TotalSleptMs(), 0);
    }
}

// An ID below 1 only begins a row the database numbers; an ID inserts that row (on the server with the
// server's form) and reopens on it; a row that cannot be read back gives false.
TEST(AdoAddWithIdentity, BeginsOrInsertsTheRowAndReopensOnIt) {
    const std::pair<Engine, int32_t> cases[] = {
        {Engine::Jet, 0}, {Engine::Jet, -3}, {Engine::Jet, 7}, {Engine::Server, 7}};
    for (const auto& [engine, id] : cases) {
        SCOPED_TRACE(id);
        if (engine == Engine::Server && !testsupport::ServerAvailable() &&
            !qEnvironmentVariableIsSet("KESTRANE_REQUIRE_PG"))
            continue;
        OneRow db(engine);
        QStringList executed;
        db.jet.Record(Operation::Execute, executed);
        db.recordset->Close();
        db.recordset->Open(u"SELECT * FROM Blacklist WHERE ID = -1"_s, *db.connection, ado::adOpenDynamic,
                           ado::adLockPessimistic);

        EXPECT_TRUE(data::AdoAddWithIdentity(db.accessFlag ? u"Access"_s : u"SQL Server"_s, *db.connection,
                                             db.recordset, u"Blacklist"_s, id));
        const QString insert = u"INSERT INTO Blacklist (ID) VALUES (7); "_s;
        EXPECT_EQ(executed, id < 1          ? QStringList()
                            : db.accessFlag ? QStringList{insert}
                                            : QStringList{u"SET IDENTITY_INSERT Blacklist ON; "_s + insert +
                                                          u"SET IDENTITY_INSERT Blacklist OFF"_s});
        EXPECT_EQ(db.recordset->Fields(u"ID"_s).IsNull(), id < 1);
        db.SetNotes(u"new"_s);
        ASSERT_TRUE(data::AdoUpdateRecord(*db.recordset, false, db.accessFlag));
        EXPECT_EQ(NotesOf(db.connectionString, id < 1 ? 2 : 7), u"new"_s);
    }
    OneRow db;
    db.connection->Execute(u"CREATE TABLE Strict (ID INTEGER PRIMARY KEY, Code TEXT NOT NULL)"_s);
    EXPECT_FALSE(data::AdoAddWithIdentity(u"Access"_s, *db.connection, db.recordset, u"Strict"_s, 7));
    EXPECT_TRUE(db.recordset->Eof());
    EXPECT_TRUE(db.env.Answers().Shown().empty());
}

TEST(AdoAutoAddRS, BeginsARowOrReportsWhyNot) {
    OneRow db;
    EXPECT_TRUE(data::AdoAutoAddRS(*db.recordset));
    EXPECT_TRUE(db.env.Answers().Shown().empty());

    ado::Recordset readOnly;
    readOnly.Open(u"SELECT * FROM Blacklist"_s, *db.connection);
    EXPECT_FALSE(data::AdoAutoAddRS(readOnly));
    ASSERT_EQ(db.env.Answers().Shown().size(), 1u);
    const platform::MessageBoxRequest& shown = db.env.Answers().Shown()[0];
    EXPECT_TRUE(shown.text.startsWith(u"Error #3251\r\r"_s)) << shown.text.toStdString();
    EXPECT_TRUE(shown.text.endsWith(u"\r\rAdd failed in AdoAutoAddRS."_s));
    EXPECT_EQ(shown.buttons, platform::vbOKOnly + platform::vbCritical);
    EXPECT_EQ(data::FailedWriteCount(), 1);
}

}  // namespace
