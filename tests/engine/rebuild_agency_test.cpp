// The agency rebuild: notes, progress texts, the two ways of removing, the skip test and its failure
// handling.
#include "engine_fixture.h"

#include "app/frm_message.h"
#include "data/current_ids.h"
#include "engine/rebuild_agency.h"
#include "engine/rebuild_client.h"
#include "platform/clock.h"
#include "platform/screen.h"
#include "support/faulty_engine.h"
#include "support/system_texts.h"

#include <QRegularExpression>

#include <cstdlib>
#include <map>

namespace enginetest {
namespace {

using engine::AgencyRebuildFlags;
namespace texts = testsupport::texts;

// The flags the queue passes: the agency's own, their negations, and force.
AgencyRebuildFlags FromQueue(std::array<bool, 4> refuses) {
    return {refuses[0],  refuses[1],  refuses[2],  refuses[3], !refuses[0],
            !refuses[1], !refuses[2], !refuses[3], true};
}

constexpr std::array<bool, 4> kRefusesAll = {true, true, true, true};
constexpr std::array<bool, 4> kRefusesDrug = {true, false, false, false};
constexpr std::array<bool, 4> kRefusesTheft = {false, false, true, false};
constexpr std::array<bool, 4> kRefusesNothing = {false, false, false, false};

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
    for (const Entry& e : Entries(QStringLiteral("Manually_Entered = ") + F())) {
        EXPECT_TRUE(notes.emplace(Pair{e.clientId, e.agencyId}, e.notes).second);
    }
    const std::map<Pair, QString> expectedNotes = {
        {{10, 1}, "Drug Related - Case On File (Automatic)"},
        {{11, 1}, "Theft Related - Criminal History (Automatic)"},
        {{11, 2}, "Theft Related - Criminal History (Automatic)"},
        {{12, 1}, "Violence Related - Case On File (Automatic)"},
        {{13, 1}, "Sex Related - Case On File (Automatic)"},
        {{16, 1}, "Drug Related - Case On File (Automatic)"},
        {{16, 2}, "Theft Related - Case On File (Automatic)"},
    };
    EXPECT_EQ(notes, expectedNotes);
    EXPECT_EQ(Entries(QStringLiteral("Manually_Entered = ") + T()),
              (std::vector<Entry>{{15, 1, true, "By hand"}}));
    for (const auto& row : Query(QStringLiteral("SELECT Created_By, Date_Created FROM Blacklist WHERE "
                                                "Manually_Entered = ") +
                                 F())) {
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
    if (engine() == Engine::Server)
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

    const QString cases = "SELECT * FROM Cases LEFT JOIN [Court Charges] ON Cases.[Court Charge] = [Court "
                          "Charges].[ID] WHERE ";
    const QString history = "SELECT * FROM [Client Criminal History] LEFT JOIN [Court Charges] ON [Client "
                            "Criminal History].[Court Charge ID] = [Court Charges].[ID] WHERE ";
    QStringList expected;
    for (const QString& scan : {cases, history}) {
        for (const char* flag : {"Drug_Related", "Sex_Crime", "Theft_Related", "Violent_Crime"})
            expected << scan + flag + " = " + T();
    }
    for (const char* kind : {"Drug", "Sex", "Theft", "Violent"})
        expected << QStringLiteral("SELECT [ID] FROM Agencies WHERE No_%1_Offenders = %2 AND Inactive = %3")
                        .arg(kind, T(), F());
    EXPECT_EQ(trace.Written().filter(QRegularExpression("^SELECT (\\* FROM (Cases|\\[Client)|\\[ID\\] FROM Ag)")),
              expected);
}

INSTANTIATE_TEST_SUITE_P(Engines, RebuildAgencyTest, ::testing::Values(Engine::Jet, Engine::Server),
                         EngineName);

// Removal shows its caption on the embedded engine only when there is something to remove, with a count per
// record; on the server always, without a count.
struct RemovalCase {
    Engine engine;
    int automatic;
    QStringList captions;
    QStringList statusTexts;
};

const RemovalCase kRemovalCases[] = {
    {Engine::Jet, 0, {}, {}},
    {Engine::Jet, 3, {"Removing disqualifications..."}, {" 1 entries", " 2 entries", " 3 entries"}},
    {Engine::Server, 0, {"Removing disqualifications..."}, {}},
    {Engine::Server, 3, {"Removing disqualifications..."}, {}},
};

class AgencyRemovalTest : public EngineFixture, public ::testing::WithParamInterface<RemovalCase> {
protected:
    void SetUp() override { UseDatabase(GetParam().engine); }
};

TEST_P(AgencyRemovalTest, RemovesOnlyTheAgencysAutomaticEntries) {
    const RemovalCase& c = GetParam();
    InsertAgency(7, kRefusesNothing);
    std::vector<Entry> kept = {
        {1, 7, true, "By hand"}, {2, 7, true, "By hand"}, {1, 8, false, "Other agency"}};
    InsertEntries(kept);
    InsertEntries(std::vector<Entry>(c.automatic, Entry{3, 7, false, "Old"}));
    MessageWindowRecorder recorder;

    engine::RebuildAgencyDisqualifications(7, FromQueue(kRefusesNothing), messageWindow_);
    recorder.Stop();

    EXPECT_EQ(recorder.captions, c.captions);
    EXPECT_EQ(recorder.statusTexts, c.statusTexts);
    EXPECT_EQ(Entries(), kept);
}

INSTANTIATE_TEST_SUITE_P(Cases, AgencyRemovalTest, ::testing::ValuesIn(kRemovalCases), [](const auto& info) {
    return EngineName({info.param.engine, 0}) + std::to_string(info.param.automatic) + "Entries";
});

// On the server removal probes for a row and deletes in batches: 500 entries at a time for an agency, 1000 for
// a client.
struct BatchCase {
    const char* name;
    int entries;
    QString probe;
    QString batch;
    int batches;
};

class ServerBatchRemovalTest : public EngineFixture, public ::testing::WithParamInterface<BatchCase> {
protected:
    void SetUp() override { UseDatabase(Engine::Server); }
};

TEST_P(ServerBatchRemovalTest, DeletesTheOwnersAutomaticEntriesInBatches) {
    const BatchCase& c = GetParam();
    const bool agency = c.name == std::string("Agency");
    InsertEntries(std::vector<Entry>(c.entries, Entry{10, 7, false, "Old"}));
    const std::vector<Entry> kept = {{10, 7, true, "By hand"}, agency ? Entry{10, 8, false, "Other agency"}
                                                                      : Entry{11, 7, false, "Other client"}};
    InsertEntries(kept);
    StatementTrace trace;

    if (agency)
        engine::RebuildAgencyDisqualifications(7, FromQueue(kRefusesNothing), messageWindow_);
    else
        engine::RebuildClientDisqualifications(10, messageWindow_, {.noMessageWindow = true});

    EXPECT_EQ(trace.CountExactly(c.probe), c.batches + 1);
    EXPECT_EQ(trace.CountExactly(c.batch), c.batches);
    EXPECT_EQ(Entries(), kept);
}

INSTANTIATE_TEST_SUITE_P(
    Owners, ServerBatchRemovalTest,
    ::testing::Values(
        BatchCase{"Agency", 1234,
                  "SELECT TOP 1 ID FROM Blacklist WHERE Manually_Entered = 0 AND Agency_ID = 7 ORDER BY ID",
                  "DELETE Blacklist FROM (SELECT TOP 500 * FROM Blacklist WHERE Agency_ID = 7 AND "
                  "Manually_Entered = 0 ORDER BY ID) AS t1 Where t1.ID = Blacklist.ID",
                  3},
        BatchCase{"Client", 2500,
                  "SELECT TOP 1 ID FROM Blacklist WHERE Manually_Entered = 0 AND Client_ID = 10 ORDER BY ID",
                  "DELETE Blacklist FROM (SELECT TOP 1000 * FROM Blacklist WHERE Client_ID = 10 AND "
                  "Manually_Entered = 0 ORDER BY ID) AS t1 Where t1.ID = Blacklist.ID",
                  3}),
    [](const auto& info) { return std::string(info.param.name); });

// The skip test: with no flag changed and no force, nothing at all happens.
struct SkipCase {
    const char* name;
    AgencyRebuildFlags flags;
    bool rebuilt;
};

const SkipCase kSkipCases[] = {
    {"NoFlagChanged", {true, false, true, false, true, false, true, false, false}, false},
    {"OneFlagChanged", {true, false, true, false, true, false, true, true, false}, true},
    {"Forced", {true, false, true, false, true, false, true, false, true}, true},
};

class AgencySkipTest : public EngineFixture, public ::testing::WithParamInterface<SkipCase> {
protected:
    void SetUp() override { UseDatabase(Engine::Jet); }
};

TEST_P(AgencySkipTest, TouchesNothingUnlessSomethingChangedOrForced) {
    InsertAgency(7, {true, false, true, false});
    InsertEntries({{3, 7, false, "Stale"}});
    datatest::FaultyEngine faulty;

    engine::RebuildAgencyDisqualifications(7, GetParam().flags, messageWindow_);

    const bool rebuilt = GetParam().rebuilt;
    EXPECT_EQ(faulty->Calls(ado::faulty::Operation::Open) > 0, rebuilt);
    EXPECT_EQ(Count(), rebuilt ? 0 : 1);
    if (!rebuilt) {
        EXPECT_TRUE(app::gfrmMessage.IsEmpty());
        EXPECT_EQ(faulty->Calls(ado::faulty::Operation::Query), 0);
    }
    EXPECT_TRUE(platform::Screen::Forms().empty());
    EXPECT_EQ(platform::Screen::MousePointer(), platform::vbDefault);
}

INSTANTIATE_TEST_SUITE_P(Cases, AgencySkipTest, ::testing::ValuesIn(kSkipCases),
                         [](const auto& info) { return std::string(info.param.name); });

// On the embedded files a delete that fails is told once per entry and the removal counts on; the caller's
// mouse pointer is back at the end.
struct FailedDeleteCase {
    const char* name;
    bool agency;
    QString message;
};

class FailedDeleteTest : public EngineFixture, public ::testing::WithParamInterface<FailedDeleteCase> {
protected:
    void SetUp() override { UseDatabase(Engine::Jet); }
};

TEST_P(FailedDeleteTest, ShowsTheRebuildsMessageForEachEntryAndCountsOn) {
    constexpr int kCallersPointer = 1;  // any pointer but the default
    InsertAgency(7, kRefusesNothing);
    InsertEntries(std::vector<Entry>(2, Entry{3, 7, false, "Old"}));
    datatest::FaultyEngine faulty;
    faulty.Fail(ado::faulty::Operation::Delete, ado::DB_E_ERRORSINCOMMAND, -1);
    platform::Screen::SetMousePointer(kCallersPointer);
    MessageWindowRecorder recorder;

    if (GetParam().agency)
        engine::RebuildAgencyDisqualifications(7, FromQueue(kRefusesNothing), messageWindow_);
    else
        engine::RebuildClientDisqualifications(3, messageWindow_, {.showProgress = true});
    recorder.Stop();

    const QString failed = "Unknown error #-2147217900 during record delete.Injected failure\n\n** Delete Failed "
                           "**\nContact your System Administrator if this continues.";
    QStringList shown;
    for (const auto& box : env_.Answers().Shown())
        shown << box.text + " " + QString::number(box.buttons);
    EXPECT_EQ(shown, (QStringList{failed + " 16", GetParam().message + " 64", failed + " 16",
                                  GetParam().message + " 64"}));
    EXPECT_EQ(recorder.statusTexts, (QStringList{" 1 entries", " 2 entries"}));
    EXPECT_EQ(Count(), 2);
    EXPECT_EQ(platform::Screen::MousePointer(), kCallersPointer);
}

INSTANTIATE_TEST_SUITE_P(Cases, FailedDeleteTest,
                         ::testing::Values(FailedDeleteCase{"Agency", true, texts::kAgencyRemoveFailed},
                                           FailedDeleteCase{"Client", false, texts::kClientRemoveFailed}),
                         [](const auto& info) { return std::string(info.param.name); });

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

    EXPECT_EQ(faulty->Calls(ado::faulty::Operation::RefreshCache), 3);
    EXPECT_EQ(AutomaticPairs(), (PairSet{{10, 7}}));
}

// The agency rebuild opens its add recordset and its scans once: a failure ends the rebuild at once.
class AgencyOpenFailureTest : public EngineFixture, public ::testing::WithParamInterface<const char*> {
protected:
    void SetUp() override { UseDatabase(Engine::Jet); }
};

TEST_P(AgencyOpenFailureTest, IsNotRetried) {
    InsertAgency(1, kRefusesDrug);
    datatest::FaultyEngine faulty;
    ado::faulty::Fault fault;
    fault.operation = ado::faulty::Operation::Query;
    fault.matches = [start = QString(GetParam())](const QString& sql) { return sql.startsWith(start); };
    faulty->Add(fault);

    EXPECT_THROW(engine::RebuildAgencyDisqualifications(1, FromQueue(kRefusesDrug), messageWindow_),
                 ado::Error);
    EXPECT_EQ(env_.Clock().TotalSleptMs(), 0);
}

INSTANTIATE_TEST_SUITE_P(Opens, AgencyOpenFailureTest,
                         ::testing::Values("SELECT * FROM Blacklist WHERE ID = -1", "SELECT * FROM Cases"));

// On the server the removal probe and the batches: another error, or five minutes of failing, end the run; a
// batch that fails with an error no wait clears ends it at once.
struct ServerFailureCase {
    const char* name;
    ado::faulty::Operation operation;
    QString statementStart;
    int32_t hresult;
    int64_t sleptMinMs;
    QString message;
};

const QString kEndsWith = "\rInjected failure\r\rUnexpected error. Application terminated.";
const ServerFailureCase kServerFailureCases[] = {
    {"ProbeWithAnotherError", ado::faulty::Operation::Query, "SELECT TOP 1 ID FROM Blacklist",
     ado::DB_E_ERRORSINCOMMAND, 0, "Error: -2147217900" + kEndsWith},
    {"ProbeLockedForFiveMinutes", ado::faulty::Operation::Query, "SELECT TOP 1 ID FROM Blacklist",
     ado::E_FAIL_HR, 300'000, "Error: -2147467259" + kEndsWith},
    {"BatchLockedForFiveMinutes", ado::faulty::Operation::Execute, "DELETE Blacklist", ado::E_FAIL_HR,
     300'000, "Error: -2147467259" + kEndsWith},
    {"BatchWithAnotherErrorAtOnce", ado::faulty::Operation::Execute, "DELETE Blacklist",
     ado::DB_E_ERRORSINCOMMAND, 0, "Error: -2147217900" + kEndsWith},
};

class AgencyServerFailureTest : public EngineFixture,
                                public ::testing::WithParamInterface<ServerFailureCase> {
protected:
    void SetUp() override { UseDatabase(Engine::Server); }
};

TEST_P(AgencyServerFailureTest, EndsTheRunWithTheUnexpectedErrorMessage) {
    const ServerFailureCase& c = GetParam();
    InsertEntries({{3, 7, false, "Old"}});
    datatest::FaultyEngine faulty(datatest::kServerProvider);
    ado::faulty::Fault fault;
    fault.operation = c.operation;
    fault.hresult = c.hresult;
    fault.count = -1;
    fault.matches = [start = c.statementStart](const QString& sql) { return sql.startsWith(start); };
    faulty->Add(fault);

    EXPECT_THROW(engine::RebuildAgencyDisqualifications(7, FromQueue(kRefusesNothing), messageWindow_),
                 platform::EndProgram);

    ASSERT_EQ(env_.Answers().Shown().size(), 1u);
    EXPECT_EQ(env_.Answers().Shown()[0].text, c.message);
    EXPECT_EQ(env_.Answers().Shown()[0].buttons, platform::vbOKOnly);
    EXPECT_GE(env_.Clock().TotalSleptMs(), c.sleptMinMs);
    EXPECT_LE(env_.Clock().TotalSleptMs(), c.sleptMinMs + 250);
    EXPECT_EQ(Count(), 1);
}

INSTANTIATE_TEST_SUITE_P(Cases, AgencyServerFailureTest, ::testing::ValuesIn(kServerFailureCases),
                         [](const auto& info) { return std::string(info.param.name); });

// On the server a list whose flight fails, before the server ran it or after it committed (the answer lost on
// the way back), is worked one by one: the same entries, none twice, nothing shown.
struct ListFailureCase {
    const char* name;
    ado::faulty::Operation operation;
    bool afterCall;
};

const ListFailureCase kListFailureCases[] = {
    {"DuplicateTestsFail", ado::faulty::Operation::HasRows, false},
    {"DuplicateTestsAnswerLost", ado::faulty::Operation::HasRows, true},
    {"InsertsFail", ado::faulty::Operation::InsertAll, false},
    {"InsertsAnswerLost", ado::faulty::Operation::InsertAll, true},
};

class AgencyListFailureTest : public EngineFixture, public ::testing::WithParamInterface<ListFailureCase> {
protected:
    void SetUp() override { UseDatabase(Engine::Server); }
};

TEST_P(AgencyListFailureTest, WorksTheListOneByOne) {
    InsertAgency(1, kRefusesDrug);
    InsertCharge(1, {1, 0, 0, 0});
    for (int client = 1; client <= 300; ++client)
        InsertCases(client, 1, client % 100 == 0 ? 2 : 1);  // two lists; some clients twice in one
    InsertEntries({{7, 1, true, "By hand"}});
    datatest::FaultyEngine faulty(datatest::kServerProvider);
    ado::faulty::Fault fault;
    fault.operation = GetParam().operation;
    fault.afterCall = GetParam().afterCall;
    faulty->Add(fault);

    engine::RebuildAgencyDisqualifications(1, FromQueue(kRefusesDrug), messageWindow_);

    EXPECT_EQ(faulty->Calls(GetParam().operation), 2);
    EXPECT_EQ(Count(), 300);
    EXPECT_TRUE(
        Query(QStringLiteral("SELECT Client_ID FROM Blacklist GROUP BY Client_ID HAVING COUNT(*) > 1"))
            .empty());
    EXPECT_EQ(Entries(QStringLiteral("Manually_Entered = ") + T()),
              (std::vector<Entry>{{7, 1, true, "By hand"}}));
    EXPECT_TRUE(env_.Answers().Shown().empty());
}

INSTANTIATE_TEST_SUITE_P(Cases, AgencyListFailureTest, ::testing::ValuesIn(kListFailureCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace enginetest
