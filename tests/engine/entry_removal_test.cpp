// The removal of an agency's or a client's automatic entries at the start of its rebuild. On the embedded
// files one by one: the caption only when there is something to remove, a count per entry, and a delete that
// fails told for each entry while the count goes on. On the server in batches (500 for an agency, 1000 for a
// client), each after a probe for a row, with the caption for an agency only. The caller's mouse pointer is
// back at the end.
#include "engine_fixture.h"

#include "engine/rebuild_client.h"
#include "platform/screen.h"
#include "support/faulty_engine.h"
#include "support/system_texts.h"

namespace enginetest {
namespace {

namespace texts = testsupport::texts;

struct RemovalCase {
    const char* name;
    Engine engine;
    bool agency;  // agency 7, else client 3
    int automatic;
    QString deleteFailed;  // empty: the deletes succeed
    bool caption;
    int batches;
};

const RemovalCase kRemovalCases[] = {
    {"JetAgencyWithNone", Engine::Jet, true, 0, "", false, 0},
    {"JetAgency", Engine::Jet, true, 3, "", true, 0},
    {"JetAgencyDeletesFail", Engine::Jet, true, 2, texts::kAgencyRemoveFailed, true, 0},
    {"JetClientDeletesFail", Engine::Jet, false, 2, texts::kClientRemoveFailed, true, 0},
    {"ServerAgencyWithNone", Engine::Server, true, 0, "", true, 0},
    {"ServerAgency", Engine::Server, true, 1234, "", true, 3},
    {"ServerClient", Engine::Server, false, 2500, "", false, 3},
};

class EntryRemovalTest : public EngineFixture, public ::testing::WithParamInterface<RemovalCase> {
protected:
    void SetUp() override { UseDatabase(GetParam().engine); }
};

TEST_P(EntryRemovalTest, RemovesOnlyTheOwnersAutomaticEntries) {
    const RemovalCase& c = GetParam();
    constexpr int kCallersPointer = 1;  // any pointer but the default
    InsertAgency(7, kRefusesNothing);
    const std::vector<Entry> kept = {
        {3, 7, true, "By hand"},
        c.agency ? Entry{3, 8, false, "Other agency"} : Entry{4, 7, false, "Other client"}};
    InsertEntries(kept);
    InsertEntries(std::vector<Entry>(c.automatic, Entry{3, 7, false, "Old"}));
    datatest::FaultyEngine faulty;
    if (!c.deleteFailed.isEmpty())
        faulty.Fail(ado::faulty::Operation::Delete, ado::DB_E_ERRORSINCOMMAND, -1);
    platform::Screen::SetMousePointer(kCallersPointer);
    StatementTrace trace;
    MessageWindowRecorder recorder;

    if (c.agency)
        engine::RebuildAgencyDisqualifications(7, FromQueue(kRefusesNothing), messageWindow_);
    else
        engine::RebuildClientDisqualifications(3, messageWindow_,
                                               {.noMessageWindow = true, .showProgress = true});
    recorder.Stop();

    EXPECT_EQ(recorder.captions, c.caption ? QStringList{texts::kRemoving} : QStringList());
    QStringList counted;
    for (int i = 1; c.engine == Engine::Jet && i <= c.automatic; ++i)
        counted << QString(" %1 entries").arg(i);
    EXPECT_EQ(recorder.statusTexts, counted);
    QStringList shown;
    for (int i = 0; !c.deleteFailed.isEmpty() && i < c.automatic; ++i) {
        shown << "Unknown error #-2147217900 during record delete.Injected failure\n\n** Delete Failed "
                 "**\nContact "
                 "your System Administrator if this continues. 16"
              << c.deleteFailed + " 64";
    }
    EXPECT_EQ(Shown(), shown);
    EXPECT_EQ(Entries("Notes <> 'Old'"), kept);
    EXPECT_EQ(Count("Notes = 'Old'"), c.deleteFailed.isEmpty() ? 0 : c.automatic);
    EXPECT_EQ(platform::Screen::MousePointer(), kCallersPointer);
    const QString owner = c.agency ? "Agency_ID = 7" : "Client_ID = 3";
    const QStringList written = trace.Written();
    EXPECT_EQ(written.count("SELECT TOP 1 ID FROM Blacklist WHERE Manually_Entered = 0 AND " + owner +
                            " ORDER BY ID"),
              c.engine == Engine::Server ? c.batches + 1 : 0);
    EXPECT_EQ(written.count(QString("DELETE Blacklist FROM (SELECT TOP %1 * FROM Blacklist WHERE %2 AND "
                                    "Manually_Entered = 0 ORDER BY ID) AS t1 Where t1.ID = Blacklist.ID")
                                .arg(c.agency ? 500 : 1000)
                                .arg(owner)),
              c.batches);
}

INSTANTIATE_TEST_SUITE_P(Cases, EntryRemovalTest, ::testing::ValuesIn(kRemovalCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace enginetest
