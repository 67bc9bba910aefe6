// AddBlacklistEntry: what an existing entry keeps out, what a new entry holds, and a duplicate test that
// fails.
#include "engine_fixture.h"

#include "ado/recordset.h"
#include "data/connection_settings.h"
#include "data/current_ids.h"
#include "engine/add_blacklist_entry.h"
#include "support/faulty_engine.h"

namespace enginetest {
namespace {

struct Call {
    int32_t clientId;
    int32_t agencyId;
    QString notes;
};

struct ExistingEntriesCase {
    const char* name;
    std::vector<Entry> before;
    std::vector<Call> calls;
    std::vector<Entry> after;
};

const ExistingEntriesCase kExistingEntriesCases[] = {
    {"ManualEntryKeepsThePair", {{5, 7, true, "By hand"}}, {{5, 7, "Drug"}}, {{5, 7, true, "By hand"}}},
    {"AutomaticEntryKeepsItsNote", {{5, 7, false, "Old"}}, {{5, 7, "New"}}, {{5, 7, false, "Old"}}},
    {"FirstOfTwoCallsWins", {}, {{5, 7, "First"}, {5, 7, "Second"}}, {{5, 7, false, "First"}}},
    {"OtherAgencyDoesNotCount",
     {{5, 8, true, "By hand"}, {6, 7, false, "Other client"}},
     {{5, 7, "New"}},
     {{5, 8, true, "By hand"}, {6, 7, false, "Other client"}, {5, 7, false, "New"}}},
    {"UnknownClientAndAgencyAreAdded", {}, {{999999, 888888, ""}}, {{999999, 888888, false, ""}}},
};

// A connection and an add recordset as a rebuild holds them.
class AddRecordset {
public:
    AddRecordset() {
        connection.Open(data::Settings().mainConnectionString);
        recordset.Open(engine::kAddRecordsetSource, connection, ado::adOpenKeyset, ado::adLockPessimistic);
    }
    ~AddRecordset() {
        recordset.Close();
        connection.Close();
    }
    void Add(const Call& call) {
        engine::AddBlacklistEntry(connection, recordset, call.clientId, call.agencyId, call.notes);
    }
    ado::Connection connection;
    ado::Recordset recordset;
};

class AddBlacklistEntryTest : public EngineFixture,
                              public ::testing::WithParamInterface<std::tuple<Engine, ExistingEntriesCase>> {
protected:
    void SetUp() override { UseDatabase(std::get<0>(GetParam())); }
};

TEST_P(AddBlacklistEntryTest, AddsOnlyWhenThePairHasNoEntry) {
    const ExistingEntriesCase& c = std::get<1>(GetParam());
    InsertEntries(c.before);
    {
        AddRecordset add;
        for (const Call& call : c.calls)
            add.Add(call);
    }
    EXPECT_EQ(Entries(), c.after);
}

INSTANTIATE_TEST_SUITE_P(
    Engines, AddBlacklistEntryTest,
    ::testing::Combine(::testing::Values(Engine::Jet, Engine::Server),
                       ::testing::ValuesIn(kExistingEntriesCases)),
    [](const auto& info) {
        return EngineName({std::get<0>(info.param), 0}) + "_" + std::get<1>(info.param).name;
    });

using NewEntryTest = EachEngine;

TEST_P(NewEntryTest, CarriesTheTimeOfTheCallAndTheCurrentUser) {
    data::gCurrentUserId = 42;
    env_.Clock().Advance(90'000);
    const QDateTime called = env_.Clock().Now();
    {
        AddRecordset add;
        add.Add({5, 7, "Why"});
    }
    const Rows rows =
        Query(QStringLiteral("SELECT Manually_Entered, Date_Created, Created_By FROM Blacklist"));
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_FALSE(rows[0][0].ToBool());
    EXPECT_EQ(rows[0][1].ToDate(), called);
    EXPECT_EQ(rows[0][2].ToLong(), 42);
}

INSTANTIATE_TEST_SUITE_P(Engines, NewEntryTest, ::testing::Values(Engine::Jet, Engine::Server), EngineName);

// A new entry's save that meets a lock waits it out without asking: no one is there to answer during a run.
TEST_F(EngineFixture, ALockedSaveIsWaitedOutWithoutAsking) {
    UseDatabase(Engine::Jet);
    datatest::FaultyEngine faulty;
    faulty.Fail(ado::faulty::Operation::Insert, ado::E_FAIL_HR, 1, ado::JET_LOCKED);
    {
        AddRecordset add;
        add.Add({5, 7, "Why"});
    }
    EXPECT_TRUE(env_.Answers().Shown().empty());
    EXPECT_EQ(Entries(), (std::vector<Entry>{{5, 7, false, "Why"}}));
}

// The duplicate test failing: passing conditions (a lock, a time-out, a server that is away) are waited out
// 250 ms at a time for up to five minutes; anything else (read-only 3027 stands for every condition that no
// wait clears), or the end of the five minutes, shows the message and ends the run.
struct FailingTestCase {
    const char* name;
    int32_t hresult;
    int32_t native;
    int failures;  // -1: for ever
    bool added;
    int64_t sleptMinMs;
    int64_t sleptMaxMs;
    QString message;  // empty: none
};

const FailingTestCase kFailingTestCases[] = {
    {"TwoFailsThenSucceeds", ado::E_FAIL_HR, ado::JET_LOCKED, 2, true, 500, 500, {}},
    {"ThreeTimeOutsThenSucceeds", ado::DB_E_ABORTLIMITREACHED, 0, 3, true, 750, 750, {}},
    {"ServerAwayForTenSecondsThenSucceeds",
     ado::E_FAIL_HR,
     ado::SQL_CONNECTION_LOST,
     40,
     true,
     10'000,
     10'000,
     {}},
    {"OtherErrorEndsTheRun", ado::DB_E_NOTABLE, 0, 1, false, 0, 0,
     QStringLiteral("Error -2147217865\rInjected failure\r\rUnexpected error. Application termincated.")},
    {"ReadOnlyEndsTheRunAtOnce", ado::E_FAIL_HR, ado::JET_READ_ONLY, -1, false, 0, 0,
     QStringLiteral("Error -2147467259\rInjected failure\r\rUnexpected error. Application termincated.")},
    {"LockForFiveMinutesEndsTheRun", ado::E_FAIL_HR, ado::JET_LOCKED, -1, false, 300'000, 300'250,
     QStringLiteral("Error -2147467259\rInjected failure\r\rUnexpected error. Application termincated.")},
};

class FailingDuplicateTest : public EngineFixture, public ::testing::WithParamInterface<FailingTestCase> {
protected:
    void SetUp() override { UseDatabase(Engine::Jet); }
};

TEST_P(FailingDuplicateTest, RetriesPassingConditionsOnly) {
    const FailingTestCase& c = GetParam();
    datatest::FaultyEngine faulty;
    ado::faulty::Fault fault;
    fault.operation = ado::faulty::Operation::Query;
    fault.hresult = c.hresult;
    fault.nativeError = c.native;
    fault.count = c.failures;
    fault.matches = [](const QString& sql) {
        return sql.contains(QStringLiteral("FROM Blacklist WHERE Agency_ID"), Qt::CaseInsensitive);
    };
    faulty->Add(fault);
    {
        AddRecordset add;
        if (c.message.isEmpty()) {
            add.Add({5, 7, "Why"});
        } else {
            EXPECT_THROW(add.Add({5, 7, "Why"}), platform::EndProgram);
        }
    }
    EXPECT_EQ(Count(), c.added ? 1 : 0);
    EXPECT_GE(env_.Clock().TotalSleptMs(), c.sleptMinMs);
    EXPECT_LE(env_.Clock().TotalSleptMs(), c.sleptMaxMs);
    const auto& shown = env_.Answers().Shown();
    if (c.message.isEmpty()) {
        EXPECT_TRUE(shown.empty());
    } else {
        ASSERT_EQ(shown.size(), 1u);
        EXPECT_EQ(shown[0].text, c.message);
        EXPECT_EQ(shown[0].buttons, platform::vbOKOnly);
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, FailingDuplicateTest, ::testing::ValuesIn(kFailingTestCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace enginetest
