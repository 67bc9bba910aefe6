// A statement of a rebuild or of AddBlacklistEntry that fails: passing conditions (a lock, a time-out, a
// server that is away) are waited out 250 ms at a time for up to five minutes; another error (read-only 3027
// stands for every condition that no wait clears), or the end of the five minutes, shows the message and ends
// the run. The agency rebuild's own opens are not retried at all, and a new entry's locked save is waited out
// without asking: no one is there to answer during a run.
#include "engine_fixture.h"

#include "ado/recordset.h"
#include "data/connection_settings.h"
#include "engine/add_blacklist_entry.h"
#include "engine/rebuild_client.h"
#include "support/faulty_engine.h"

namespace enginetest {
namespace {

using ado::faulty::Operation;
enum class Call { Agency, Client, Add };

struct FailureCase {
    const char* name;
    Engine engine;
    Call call;  // of agency 1, of client 10, or of client 5 and agency 7
    Operation operation;
    QString statementStart;
    int32_t hresult;
    int32_t native;
    int failures;  // -1: for ever
    int64_t sleptMs;
    const char* outcome;  // "completed", "ended" (the run) or "raised" (the error)
    int64_t entriesAfter;
    QString message;  // and its buttons (0: OK only); empty: none shown
};

const QString kRebuild = "\rInjected failure\r\rUnexpected error. Application terminated. 0";
const QString kEntry = "\rInjected failure\r\rUnexpected error. Application termincated. 0";
const QString kProbe = "SELECT TOP 1 ID FROM Blacklist WHERE Manually";
const QString kDuplicateTest = "SELECT TOP 1 ID FROM Blacklist WHERE Agency_ID";
const QString kAddRecordset = "SELECT * FROM Blacklist WHERE ID = -1";
const QString kAgencyList = "SELECT [ID] FROM Agencies";
constexpr int32_t kFail = ado::E_FAIL_HR;
constexpr int32_t kTimeOut = ado::DB_E_ABORTLIMITREACHED;

const FailureCase kFailureCases[] = {
    {"ServerProbeWithAnotherError", Engine::Server, Call::Agency, Operation::Query, kProbe,
     ado::DB_E_ERRORSINCOMMAND, 0, -1, 0, "ended", 1, "Error: -2147217900" + kRebuild},
    {"ServerProbeLockedForFiveMinutes", Engine::Server, Call::Agency, Operation::Query, kProbe, kFail, 0, -1,
     300'000, "ended", 1, "Error: -2147467259" + kRebuild},
    {"ServerBatchLockedForFiveMinutes", Engine::Server, Call::Agency, Operation::Execute, "DELETE Blacklist",
     kFail, 0, -1, 300'000, "ended", 1, "Error: -2147467259" + kRebuild},
    {"ServerBatchWithAnotherErrorAtOnce", Engine::Server, Call::Agency, Operation::Execute,
     "DELETE Blacklist", ado::DB_E_ERRORSINCOMMAND, 0, -1, 0, "ended", 1, "Error: -2147217900" + kRebuild},
    {"AgencyAddRecordsetNotRetried", Engine::Jet, Call::Agency, Operation::Query, kAddRecordset, kFail, 0, 1,
     0, "raised", 0, ""},
    {"AgencyCaseScanNotRetried", Engine::Jet, Call::Agency, Operation::Query, "SELECT * FROM Cases", kFail, 0,
     1, 0, "raised", 0, ""},
    {"ClientAgencyListLockedTwice", Engine::Jet, Call::Client, Operation::Query, kAgencyList, kFail, 0, 2,
     500, "completed", 2, ""},
    {"ClientAddRecordsetTimedOutOnce", Engine::Jet, Call::Client, Operation::Query, kAddRecordset, kTimeOut,
     0, 1, 250, "completed", 2, ""},
    {"ClientCaseScanLockedForFiveMinutes", Engine::Jet, Call::Client, Operation::Query,
     "SELECT [Court Charges].Drug_Related", kFail, 0, -1, 300'000, "ended", 1,
     "Error: -2147467259" + kRebuild},
    {"ClientAgencyListWithAnotherError", Engine::Jet, Call::Client, Operation::Query, kAgencyList,
     ado::DB_E_NOTABLE, 0, 1, 0, "ended", 1, "Error: -2147217865" + kRebuild},
    {"DuplicateTestLockedTwice", Engine::Jet, Call::Add, Operation::Query, kDuplicateTest, kFail,
     ado::JET_LOCKED, 2, 500, "completed", 2, ""},
    {"DuplicateTestTimedOutThreeTimes", Engine::Jet, Call::Add, Operation::Query, kDuplicateTest, kTimeOut, 0,
     3, 750, "completed", 2, ""},
    {"DuplicateTestServerAwayForTenSeconds", Engine::Jet, Call::Add, Operation::Query, kDuplicateTest, kFail,
     ado::SQL_CONNECTION_LOST, 40, 10'000, "completed", 2, ""},
    {"DuplicateTestWithAnotherError", Engine::Jet, Call::Add, Operation::Query, kDuplicateTest,
     ado::DB_E_NOTABLE, 0, 1, 0, "ended", 1, "Error -2147217865" + kEntry},
    {"DuplicateTestReadOnlyAtOnce", Engine::Jet, Call::Add, Operation::Query, kDuplicateTest, kFail,
     ado::JET_READ_ONLY, -1, 0, "ended", 1, "Error -2147467259" + kEntry},
    {"DuplicateTestLockedForFiveMinutes", Engine::Jet, Call::Add, Operation::Query, kDuplicateTest, kFail,
     ado::JET_LOCKED, -1, 300'000, "ended", 1, "Error -2147467259" + kEntry},
    {"LockedSaveWaitedOutWithoutAsking", Engine::Jet, Call::Add, Operation::Insert, "", kFail,
     ado::JET_LOCKED, 1, 250, "completed", 2, ""},
};

class FailingStatementTest : public EngineFixture, public ::testing::WithParamInterface<FailureCase> {
protected:
    void SetUp() override { UseDatabase(GetParam().engine); }
};

TEST_P(FailingStatementTest, IsWaitedOutOrEndsTheRun) {
    const FailureCase& c = GetParam();
    InsertAgency(1, kRefusesDrug);
    InsertCharge(1, {1, 0, 0, 0});
    InsertCases(10, 1);
    InsertEntries({{3, 1, false, "Old"}});
    datatest::FaultyEngine faulty(c.engine == Engine::Jet ? datatest::kJetProvider
                                                          : datatest::kServerProvider);
    ado::faulty::Fault fault;
    fault.operation = c.operation;
    fault.hresult = c.hresult;
    fault.nativeError = c.native;
    fault.count = c.failures;
    fault.matches = [start = c.statementStart](const QString& sql) { return sql.startsWith(start); };
    faulty->Add(fault);

    std::string outcome = "completed";
    try {
        if (c.call == Call::Agency) {
            engine::RebuildAgencyDisqualifications(1, FromQueue(kRefusesDrug), messageWindow_);
        } else if (c.call == Call::Client) {
            engine::RebuildClientDisqualifications(10, messageWindow_, {.noMessageWindow = true});
        } else {
            ado::Connection connection;
            connection.Open(data::Settings().mainConnectionString);
            ado::Recordset add;
            add.Open(engine::kAddRecordsetSource, connection, ado::adOpenKeyset, ado::adLockPessimistic);
            engine::AddBlacklistEntry(connection, add, 5, 7, "Why");
        }
    } catch (const platform::EndProgram&) {
        outcome = "ended";
    } catch (const ado::Error&) {
        outcome = "raised";
    }

    EXPECT_EQ(outcome, c.outcome);
    EXPECT_EQ(env_.Clock().TotalSleptMs(), c.sleptMs);
    EXPECT_EQ(Shown(), c.message.isEmpty() ? QStringList() : QStringList{c.message});
    EXPECT_EQ(Count(), c.entriesAfter);
}

INSTANTIATE_TEST_SUITE_P(Cases, FailingStatementTest, ::testing::ValuesIn(kFailureCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace enginetest
