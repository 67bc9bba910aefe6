// The client rebuild: which agencies count, what the window shows, the two ways of removing, skipRemoval and
// its failure handling.
#include "engine_fixture.h"

#include "app/frm_message.h"
#include "engine/rebuild_client.h"
#include "platform/form.h"
#include "platform/screen.h"
#include "support/faulty_engine.h"
#include "support/system_texts.h"

namespace enginetest {
namespace {

using engine::ClientRebuildOptions;
namespace texts = testsupport::texts;

constexpr std::array<bool, 4> kRefusesDrug = {true, false, false, false};
constexpr std::array<bool, 4> kRefusesSex = {false, true, false, false};
constexpr std::array<bool, 4> kRefusesDrugAndTheft = {true, false, true, false};
constexpr std::array<bool, 4> kRefusesNothing = {false, false, false, false};

class RebuildClientTest : public EachEngine {
protected:
    void Rebuild(int32_t clientId, const ClientRebuildOptions& options = {}) {
        engine::RebuildClientDisqualifications(clientId, ownedWindow_, options);
    }
    platform::Form owner_;
    app::MessageWindowProgress ownedWindow_{&owner_};
};

TEST_P(RebuildClientTest, FromTheQueueShowsOnlyTheWindowCaption) {
    InsertAgency(1, kRefusesDrug);
    InsertAgency(2, kRefusesDrug, /*inactive=*/true);
    InsertAgency(3, kRefusesSex);
    InsertAgency(4, kRefusesDrug);
    InsertAgency(5, kRefusesDrugAndTheft);
    InsertCharge(1, {1, -1, 1, 0});
    InsertCharge(2, {0, 0, 0, 0});
    InsertCases(10, 2);
    InsertHistory(10, 1);
    InsertCases(10, 99);  // names no charge
    InsertEntries({{10, 4, true, "By hand"}, {10, 3, false, "Stale"}, {11, 3, false, "Other client"}});
    MessageWindowRecorder recorder;

    Rebuild(10);
    recorder.Stop();

    EXPECT_EQ(recorder.titles, QStringList{texts::kClientBegin});
    EXPECT_TRUE(recorder.captions.isEmpty());
    EXPECT_TRUE(recorder.statusTexts.isEmpty());
    EXPECT_TRUE(app::gfrmMessage.IsEmpty());
    EXPECT_TRUE(platform::Screen::Forms().empty());
    EXPECT_EQ(platform::Screen::MousePointer(), platform::vbDefault);
    EXPECT_EQ(Entries(), (std::vector<Entry>{{10, 4, true, "By hand"},
                                             {11, 3, false, "Other client"},
                                             {10, 1, false, ""},
                                             {10, 5, false, ""}}));
}

// Progress without the window: the phases and counters go to the message window, which this call neither shows
// nor unloads.
TEST_P(RebuildClientTest, ShowsCaptionsAndCountersOnRequest) {
    InsertAgency(1, kRefusesDrug);
    InsertCharge(1, {1, 0, 0, 0});
    InsertCases(10, 1, 2);
    InsertHistory(10, 1);
    InsertEntries(std::vector<Entry>(3, Entry{10, 2, false, "Old"}));
    MessageWindowRecorder recorder;

    Rebuild(10, {.noMessageWindow = true, .showProgress = true});
    recorder.Stop();

    QStringList captions = {texts::kClientCases, texts::kClientHistory};
    QStringList statusTexts = {"Processed 1 entries", "Processed 2 entries", "Processed 1 entries"};
    if (engine() == Engine::Jet) {
        captions.prepend(texts::kRemoving);
        statusTexts = QStringList{" 1 entries", " 2 entries", " 3 entries"} + statusTexts;
    }
    EXPECT_TRUE(recorder.titles.isEmpty());
    ASSERT_FALSE(app::gfrmMessage.IsEmpty());
    EXPECT_FALSE(app::gfrmMessage->Visible());
    app::gfrmMessage.Reset();
    EXPECT_EQ(recorder.captions, captions);
    EXPECT_EQ(recorder.statusTexts, statusTexts);
    EXPECT_EQ(Entries(), (std::vector<Entry>{{10, 1, false, ""}}));
}

TEST_P(RebuildClientTest, SkipRemovalOnlyAddsMissingPairs) {
    InsertAgency(1, kRefusesDrug);
    InsertAgency(2, kRefusesDrug);
    InsertAgency(3, kRefusesNothing);
    InsertCharge(1, {1, 0, 0, 0});
    InsertCases(10, 1);
    InsertEntries({{10, 1, false, "Old note"}, {10, 3, false, "No longer justified"}});

    Rebuild(10, {.noMessageWindow = true, .skipRemoval = true});

    EXPECT_EQ(Entries(),
              (std::vector<Entry>{
                  {10, 1, false, "Old note"}, {10, 3, false, "No longer justified"}, {10, 2, false, ""}}));
    EXPECT_TRUE(app::gfrmMessage.IsEmpty());
}

INSTANTIATE_TEST_SUITE_P(Engines, RebuildClientTest, ::testing::Values(Engine::Jet, Engine::Server),
                         EngineName);

// The opens under the rebuild's handling: passing conditions are waited out, 250 ms and pending events at a
// time, for up to five minutes; then, or on any other error, the message and the end of the run.
struct FailingOpenCase {
    const char* name;
    QString statementStart;
    int32_t hresult;
    int failures;  // -1: for ever
    int64_t sleptMs;
    QString message;  // empty: the rebuild completes
};

const FailingOpenCase kFailingOpenCases[] = {
    {"AgencyListLockedTwice", "SELECT [ID] FROM Agencies", ado::E_FAIL_HR, 2, 500, {}},
    {"AddRecordsetTimedOutOnce",
     "SELECT * FROM Blacklist WHERE ID = -1",
     ado::DB_E_ABORTLIMITREACHED,
     1,
     250,
     {}},
    {"CaseScanLockedForFiveMinutes", "SELECT [Court Charges].Drug_Related", ado::E_FAIL_HR, -1, 300'000,
     "Error: -2147467259\rInjected failure\r\rUnexpected error. Application terminated."},
    {"AgencyListWithAnotherError", "SELECT [ID] FROM Agencies", ado::DB_E_NOTABLE, 1, 0,
     "Error: -2147217865\rInjected failure\r\rUnexpected error. Application terminated."},
};

class ClientFailingOpenTest : public EngineFixture, public ::testing::WithParamInterface<FailingOpenCase> {
protected:
    void SetUp() override { UseDatabase(Engine::Jet); }
};

TEST_P(ClientFailingOpenTest, RetriesPassingConditionsForFiveMinutes) {
    const FailingOpenCase& c = GetParam();
    InsertAgency(1, kRefusesDrug);
    InsertCharge(1, {1, 0, 0, 0});
    InsertCases(10, 1);
    datatest::FaultyEngine faulty;
    ado::faulty::Fault fault;
    fault.operation = ado::faulty::Operation::Query;
    fault.hresult = c.hresult;
    fault.count = c.failures;
    fault.matches = [start = c.statementStart](const QString& sql) { return sql.startsWith(start); };
    faulty->Add(fault);
    platform::Form owner;
    app::MessageWindowProgress ownedWindow(&owner);

    if (c.message.isEmpty()) {
        engine::RebuildClientDisqualifications(10, ownedWindow, {.noMessageWindow = true});
        EXPECT_EQ(Entries(), (std::vector<Entry>{{10, 1, false, ""}}));
        EXPECT_TRUE(env_.Answers().Shown().empty());
    } else {
        EXPECT_THROW(engine::RebuildClientDisqualifications(10, ownedWindow, {.noMessageWindow = true}),
                     platform::EndProgram);
        EXPECT_EQ(Count(), 0);
        ASSERT_EQ(env_.Answers().Shown().size(), 1u);
        EXPECT_EQ(env_.Answers().Shown()[0].text, c.message);
        EXPECT_EQ(env_.Answers().Shown()[0].buttons, platform::vbOKOnly);
    }
    EXPECT_GE(env_.Clock().TotalSleptMs(), c.sleptMs);
    EXPECT_LE(env_.Clock().TotalSleptMs(), c.sleptMs + 250);
}

INSTANTIATE_TEST_SUITE_P(Cases, ClientFailingOpenTest, ::testing::ValuesIn(kFailingOpenCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace enginetest
