// The agency rebuild: its notes, progress texts and statements, the skip test, the cache refreshes on the
// files and the lists that fail on the server.
#include "engine_fixture.h"

#include "data/current_ids.h"
#include "engine/rebuild_client.h"
#include "platform/clock.h"
#include "platform/screen.h"
#include "support/faulty_engine.h"
#include "support/system_texts.h"

#include <QRegularExpression>

#include <map>

namespace enginetest {
namespace {

using ado::faulty::Operation;
using engine::AgencyRebuildFlags;
namespace texts = testsupport::texts;

constexpr Refusals kRefusesAll = {true, true, true, true};
constexpr Refusals kRefusesTheft = {false, false, true, false};

using RebuildAgencyTest = EachEngine;

TEST_P(RebuildAgencyTest, EachEntryCarriesTheNoteOfTheFirstPhaseThatFoundTheClient) {
    data::gCurrentUserId = 3;
    InsertAgency(1, kRefusesAll, /*inactive=*/true);  // Inactive does not matter here
    InsertAgency(2, kRefusesTheft);
    InsertCharge(1, {1, 0, 0, 0});
    InsertCharge(2, {0, 1, 0, 0});
    InsertCharge(3, {0, 0, 1, 0});
    InsertCharge(4, {0, 0, 0, 1});
    InsertCharge(5, {1, 0, 1, 0});
    InsertCharge(6, {-1, 1, -1, -1});
    InsertCases(10, 2);
    InsertCases(10, 1);
    InsertHistory(11, 3);
    InsertHistory(12, 1);
    InsertCases(12, 4);
    InsertCases(13, 6);
    InsertCases(14, 99);  // names no charge
    InsertCases(15, 1);
    InsertCases(16, 5);
    InsertEntries({{15, 1, true, "By hand"}, {17, 1, false, "Stale"}});

    engine::RebuildAgencyDisqualifications(1, FromQueue(kRefusesAll), messageWindow_);
    engine::RebuildAgencyDisqualifications(2, FromQueue(kRefusesTheft), messageWindow_);

    std::map<Pair, QString> notes;
    for (const Entry& e : Entries("Manually_Entered = " + F()))
        EXPECT_TRUE(notes.emplace(Pair{e.clientId, e.agencyId}, e.notes).second);
    EXPECT_EQ(notes, (std::map<Pair, QString>{{{10, 1}, "Drug Related - Case On File (Automatic)"},
                                              {{11, 1}, "Theft Related - Criminal History (Automatic)"},
                                              {{11, 2}, "Theft Related - Criminal History (Automatic)"},
                                              {{12, 1}, "Violence Related - Case On File (Automatic)"},
                                              {{13, 1}, "Sex Related - Case On File (Automatic)"},
                                              {{16, 1}, "Drug Related - Case On File (Automatic)"},
                                              {{16, 2}, "Theft Related - Case On File (Automatic)"}}));
    EXPECT_EQ(Entries("Manually_Entered = " + T()), (std::vector<Entry>{{15, 1, true, "By hand"}}));
    for (const auto& row :
         Query("SELECT Created_By, Date_Created FROM Blacklist WHERE Manually_Entered = " + F())) {
        EXPECT_EQ(row[0].ToLong(), 3);
        EXPECT_LE(std::abs(platform::DateDiffSeconds(row[1].ToDate(), env_.Clock().Now())), 1);
    }
}

TEST_P(RebuildAgencyTest, CountsScannedRowsInTwentyFivesPerPhase) {
    InsertAgency(1, kRefusesDrug);
    InsertCharge(1, {1, 0, 0, 0});
    for (int client = 1; client <= 20; ++client)
        InsertCases(client, 1, 3);  // 60 rows, 20 clients
    InsertHistory(1, 1, 30);
    MessageWindowRecorder recorder;

    engine::RebuildAgencyDisqualifications(1, FromQueue(kRefusesDrug), messageWindow_);
    recorder.Stop();

    EXPECT_EQ(recorder.titles.value(0), texts::kAgencyBegin);
    EXPECT_EQ(recorder.statusTexts,
              (QStringList{"Processed 25 entries", "Processed 50 entries", "Processed 25 entries"}));
    QStringList captions{texts::kKinds[0].caseCaption, texts::kKinds[0].historyCaption};
    if (GetParam() == Engine::Server)
        captions.prepend(texts::kRemoving);
    EXPECT_EQ(recorder.captions, captions);
    EXPECT_EQ(Count(), 20);
    EXPECT_TRUE(app::gfrmMessage.IsEmpty());
    EXPECT_EQ(platform::Screen::MousePointer(), platform::vbDefault);
}

// The statements of the agency scans and of the client rebuild's agency lists, word for word.
TEST_P(RebuildAgencyTest, WritesItsScansAndTheClientsAgencyListsWordForWord) {
    InsertAgency(1, kRefusesAll);
    InsertCharge(1, {1, 1, 1, 1});
    InsertCases(10, 1);
    StatementTrace trace;

    engine::RebuildAgencyDisqualifications(1, FromQueue(kRefusesAll), messageWindow_);
    engine::RebuildClientDisqualifications(10, messageWindow_, {});

    const QString cases =
        "SELECT * FROM Cases LEFT JOIN [Court Charges] ON Cases.[Court Charge] = [Court Charges].[ID] WHERE ";
    const QString history =
        "SELECT * FROM [Client Criminal History] LEFT JOIN [Court Charges] ON [Client Criminal "
        "History].[Court Charge "
        "ID] = [Court Charges].[ID] WHERE ";
    QStringList expected;
    for (const QString& scan : {cases, history}) {
        for (const char* flag : {"Drug_Related", "Sex_Crime", "Theft_Related", "Violent_Crime"})
            expected << scan + flag + " = " + T();
    }
    for (const char* kind : {"Drug", "Sex", "Theft", "Violent"})
        expected << QStringLiteral("SELECT [ID] FROM Agencies WHERE No_%1_Offenders = %2 AND Inactive = %3")
                        .arg(kind, T(), F());
    EXPECT_EQ(
        trace.Written().filter(QRegularExpression("^SELECT (\\* FROM (Cases|\\[Client)|\\[ID\\] FROM Ag)")),
        expected);
}

INSTANTIATE_TEST_SUITE_P(Engines, RebuildAgencyTest, ::testing::Values(Engine::Jet, Engine::Server),
                         EngineName);

// The skip test: with no flag changed and no force, nothing at all happens. The flags: the four the agency
// refuses, the four it refused, force.
const std::pair<const char*, AgencyRebuildFlags> kSkipCases[] = {
    {"NoFlagChanged", {true, false, true, false, true, false, true, false, false}},
    {"OneFlagChanged", {true, false, true, false, true, false, true, true, false}},
    {"Forced", {true, false, true, false, true, false, true, false, true}},
};

class AgencySkipTest : public EngineFixture,
                       public ::testing::WithParamInterface<std::pair<const char*, AgencyRebuildFlags>> {
protected:
    void SetUp() override { UseDatabase(Engine::Jet); }
};

TEST_P(AgencySkipTest, TouchesNothingUnlessSomethingChangedOrForced) {
    InsertAgency(7, {true, false, true, false});
    InsertEntries({{3, 7, false, "Stale"}});
    datatest::FaultyEngine faulty;

    engine::RebuildAgencyDisqualifications(7, GetParam().second, messageWindow_);

    const bool rebuilt = GetParam().first != std::string("NoFlagChanged");
    EXPECT_EQ(faulty->Calls(Operation::Open) + faulty->Calls(Operation::Query) > 0, rebuilt);
    EXPECT_EQ(Count(), rebuilt ? 0 : 1);
    EXPECT_TRUE(platform::Screen::Forms().empty());
    EXPECT_TRUE(app::gfrmMessage.IsEmpty());
    EXPECT_EQ(platform::Screen::MousePointer(), platform::vbDefault);
}

INSTANTIATE_TEST_SUITE_P(Cases, AgencySkipTest, ::testing::ValuesIn(kSkipCases),
                         [](const auto& info) { return std::string(info.param.first); });

// On the embedded files each delete and each new entry refreshes the engine's cache, so that other
// workstations see the change at once.
TEST_F(EngineFixture, OnTheFilesEachWriteRefreshesTheCache) {
    UseDatabase(Engine::Jet);
    InsertAgency(7, kRefusesDrug);
    InsertCharge(1, {1, 0, 0, 0});
    InsertCases(10, 1);
    InsertEntries(std::vector<Entry>(2, Entry{3, 7, false, "Old"}));
    datatest::FaultyEngine faulty;

    engine::RebuildAgencyDisqualifications(7, FromQueue(kRefusesDrug), messageWindow_);

    EXPECT_EQ(faulty->Calls(Operation::RefreshCache), 3);
    EXPECT_EQ(Entries(), (std::vector<Entry>{{10, 7, false, "Drug Related - Case On File (Automatic)"}}));
}

// On the server a list whose flight fails, before the server ran it or after it committed (the answer lost on
// the way back), is worked one by one: the same entries, none twice, nothing shown.
class AgencyListFailureTest : public EngineFixture,
                              public ::testing::WithParamInterface<std::tuple<Operation, bool>> {
protected:
    void SetUp() override { UseDatabase(Engine::Server); }
};

TEST_P(AgencyListFailureTest, WorksTheListOneByOne) {
    InsertAgency(1, kRefusesDrug);
    InsertCharge(1, {1, 0, 0, 0});
    QStringList cases;  // two lists; some clients twice in one
    for (int client = 1; client <= 300; ++client)
        cases << QStringList(client % 100 == 0 ? 2 : 1, QString::asprintf("(%d, 1)", client));
    Insert("Cases ([People ID], [Court Charge])", cases);
    InsertEntries({{7, 1, true, "By hand"}});
    datatest::FaultyEngine faulty(datatest::kServerProvider);
    ado::faulty::Fault fault;
    std::tie(fault.operation, fault.afterCall) = GetParam();
    faulty->Add(fault);

    engine::RebuildAgencyDisqualifications(1, FromQueue(kRefusesDrug), messageWindow_);

    EXPECT_EQ(faulty->Calls(fault.operation), 2);
    EXPECT_EQ(Count(), 300);
    EXPECT_TRUE(Query("SELECT Client_ID FROM Blacklist GROUP BY Client_ID HAVING COUNT(*) > 1").empty());
    EXPECT_EQ(Entries("Manually_Entered = " + T()), (std::vector<Entry>{{7, 1, true, "By hand"}}));
    EXPECT_TRUE(Shown().isEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, AgencyListFailureTest,
    ::testing::Combine(::testing::Values(Operation::HasRows, Operation::InsertAll), ::testing::Bool()),
    [](const auto& info) {
        return std::string(std::get<0>(info.param) == Operation::HasRows ? "DuplicateTests" : "Inserts") +
               (std::get<1>(info.param) ? "AnswerLost" : "Fail");
    });

}  // namespace
}  // namespace enginetest
