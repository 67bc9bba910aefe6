// The client rebuild: which agencies count, what the window shows, and skipRemoval (its removal and its
// failures are in entry_removal_test.cpp and failing_statement_test.cpp).
#include "engine_fixture.h"

#include "app/frm_message.h"
#include "engine/rebuild_client.h"
#include "platform/form.h"
#include "platform/screen.h"
#include "support/system_texts.h"

namespace enginetest {
namespace {

using engine::ClientRebuildOptions;
namespace texts = testsupport::texts;

constexpr Refusals kRefusesSex = {false, true, false, false};
constexpr Refusals kRefusesDrugAndTheft = {true, false, true, false};

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

// Progress without the window: the phases and counters go to the message window, which this call neither
// shows nor unloads.
TEST_P(RebuildClientTest, ShowsCaptionsAndCountersOnRequest) {
    InsertAgency(1, kRefusesDrug);
    InsertCharge(1, {1, 0, 0, 0});
    InsertCases(10, 1, 2);
    InsertHistory(10, 1);
    MessageWindowRecorder recorder;

    Rebuild(10, {.noMessageWindow = true, .showProgress = true});
    recorder.Stop();

    EXPECT_TRUE(recorder.titles.isEmpty());
    ASSERT_FALSE(app::gfrmMessage.IsEmpty());
    EXPECT_FALSE(app::gfrmMessage->Visible());
    app::gfrmMessage.Reset();
    EXPECT_EQ(recorder.captions, (QStringList{texts::kClientCases, texts::kClientHistory}));
    EXPECT_EQ(recorder.statusTexts,
              (QStringList{"Processed 1 entries", "Processed 2 entries", "Processed 1 entries"}));
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

}  // namespace
}  // namespace enginetest
