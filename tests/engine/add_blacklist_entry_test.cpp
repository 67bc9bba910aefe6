// AddBlacklistEntry: what an existing entry keeps out and what a new entry holds (its failures are in
// failing_statement_test.cpp).
#include "engine_fixture.h"

#include "ado/recordset.h"
#include "data/connection_settings.h"
#include "data/current_ids.h"
#include "engine/add_blacklist_entry.h"

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

class AddBlacklistEntryTest : public EngineFixture,
                              public ::testing::WithParamInterface<std::tuple<Engine, ExistingEntriesCase>> {
protected:
    void SetUp() override { UseDatabase(std::get<0>(GetParam())); }
};

// A new entry also carries the time of the call and the current user.
TEST_P(AddBlacklistEntryTest, AddsOnlyWhenThePairHasNoEntry) {
    const ExistingEntriesCase& c = std::get<1>(GetParam());
    InsertEntries(c.before);
    data::gCurrentUserId = 42;
    env_.Clock().Advance(90'000);
    const QDateTime called = env_.Clock().Now();
    {
        ado::Connection connection;  // and an add recordset, as a rebuild holds them
        connection.Open(data::Settings().mainConnectionString);
        ado::Recordset add;
        add.Open(engine::kAddRecordsetSource, connection, ado::adOpenKeyset, ado::adLockPessimistic);
        for (const Call& call : c.calls)
            engine::AddBlacklistEntry(connection, add, call.clientId, call.agencyId, call.notes);
    }
    EXPECT_EQ(Entries(), c.after);
    const auto added = Query("SELECT Date_Created FROM Blacklist WHERE Created_By = 42");
    EXPECT_EQ(added.size(), c.after.size() - c.before.size());
    for (const auto& row : added)
        EXPECT_EQ(row[0].ToDate(), called);
}

INSTANTIATE_TEST_SUITE_P(
    Engines, AddBlacklistEntryTest,
    ::testing::Combine(::testing::Values(Engine::Jet, Engine::Server),
                       ::testing::ValuesIn(kExistingEntriesCases)),
    [](const auto& info) {
        return EngineName({std::get<0>(info.param), 0}) + "_" + std::get<1>(info.param).name;
    });

}  // namespace
}  // namespace enginetest
