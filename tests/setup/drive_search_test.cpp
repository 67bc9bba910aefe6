// The dialog's Locate button on real folder trees: which drives are searched, which folders count, the
// questions asked, and the folder selected.
#include "setup_fixture.h"

#include <QFileInfo>
#include <QRegularExpression>

#include <deque>

namespace {

using namespace platform;
using namespace Qt::StringLiterals;

// The product's three files that the drive search looks for.
const QStringList kProductFiles = {u"KS.mdb"_s, u"KS_USERS.mdb"_s, u"KS_sands.mdb"_s};
const QRegularExpression kRoot(u"<([^>]*)>"_s);  // "<c>" in a text stands for the folder of the drive "c"

// A drive below the test's folder ("<root>" in the texts stands for its folder): its type, the folders below
// it ("" is the root) that hold the three product files, other files, and how many empty folders f000, ... it
// has at its root.
// clang-format off
struct TestDrive { QString root; int type; QStringList productFolders, otherFiles; int emptyFolders = 0; };
// The drives, the answers, the boxes ("buttons | text"), txtDataPath and Drive1 afterwards (Drive1 when a
// folder was chosen), whether the buttons are enabled afterwards, and the dialog's product.
struct SearchCase { const char* name; std::vector<TestDrive> drives; std::deque<int> answers; QStringList boxes;
                    QString dataPath, drive; bool enabled = true; QString product = u"KS"_s; };
void PrintTo(const SearchCase& c, std::ostream* os) { *os << c.name; }  // test names show the case by its name
// clang-format on

QString Question(const QString& folder, const QString& drive) {
    return u"4 | Found one copy at "_s + folder + u" on drive "_s + drive +
           u".\r\rUse this database location?"_s;
}

using DriveSearchTest = setuptest::ParamTest<SearchCase>;

TEST_P(DriveSearchTest, AsksAboutWhatItFindsAndSelectsTheChosenFolder) {
    const SearchCase& c = GetParam();
    std::vector<platform::Drive> drives;
    for (const TestDrive& drive : c.drives) {
        const QString root = Folder(drive.root);
        drives.push_back({drive.root, drive.type});
        for (const QString& folder : drive.productFolders)
            MakeFiles(root + folder, kProductFiles);
        for (const QString& file : drive.otherFiles)
            MakeFiles(QFileInfo(root + file).path(), {QFileInfo(file).fileName()});
        for (int i = 0; i < drive.emptyFolders; ++i)
            Folder(drive.root + u"/f%1"_s.arg(i, 3, 10, QLatin1Char('0')));
    }
    UseDrives(drives);
    const QString root = Env().Dir() + u"/\\1/"_s;
    const auto Resolved = [&root](QString text) { return text.replace(kRoot, root); };
    Answer(c.answers);
    setup::GetDataPath& dialog = OpenDialog(c.product + u".mdb"_s, c.product);

    dialog.cmdLocate_Click();

    EXPECT_EQ(Boxes(Env().Answers().Shown()), QStringList(c.boxes).replaceInStrings(kRoot, root));
    EXPECT_EQ(dialog.txtDataPath->text(), Resolved(c.dataPath));
    if (!c.drive.isEmpty()) {
        EXPECT_EQ(dialog.Drive1->Drive(), Resolved(c.drive));
        EXPECT_EQ(dialog.Dir1->Path(), platform::ListPath(Resolved(c.dataPath)));
    }
    for (QPushButton* button : {dialog.cmdOK, dialog.cmdCancel, dialog.cmdLocate, dialog.cmdCDInstall})
        EXPECT_EQ(button->isEnabled(), c.enabled);
}

// clang-format off
const SearchCase kSearchCases[] = {
    {"RootHoldsTheMainFile", {{u"c"_s, kDriveFixed, {u""_s, u"sub"_s}, {}}}, {vbYes},
     {Question(u"<c>"_s, u"<c>"_s)}, u"<c>"_s, u"<c>"_s},
    {"RootWithTheMainFileAloneIsNotWalked",
     {{u"c"_s, kDriveFixed, {u"sub"_s}, {u"ks.MDB"_s}}, {u"d"_s, kDriveCdRom, {}, {}}}, {},
     {u"0 | CD drive found at <d>"_s}, {}, {}},
    {"OneMatchOfTheDialogsProductNamesInAnyCase", {{u"c"_s, kDriveFixed, {u"ks"_s}, {u"data/br/br.MDB"_s,
     u"data/br/Br_Users.MDB"_s, u"data/br/BR_SANDS.MDB"_s, u"data/other/BR.mdb"_s}}}, {vbYes},
     {Question(u"<c>data/br/"_s, u"<c>"_s)}, u"<c>data/br/"_s, u"<c>"_s, true, u"BR"_s},
    {"TwoMatchesDeclinedMoveOnToTheNextDrive",
     {{u"c"_s, kDriveFixed, {u"a"_s, u"b/x"_s}, {}}, {u"e"_s, kDriveCdRom, {}, {}},
      {u"n"_s, kDriveRemote, {u"c"_s}, {}}},
     {vbOK, vbNo, vbNo, vbYes},
     {u"64 | Found 2 copies on drive <c>.\r\r<c>a/\r<c>b/x/"_s,
      u"4 | Use copy at <c>a/?"_s, u"4 | Use copy at <c>b/x/?"_s,
      Question(u"<n>c/"_s, u"<n>"_s)}, u"<n>c/"_s, u"<n>"_s},
    {"OneMatchDeclinedEndsTheSearch", {{u"c"_s, kDriveFixed, {u"a"_s}, {}}, {u"d"_s, kDriveFixed, {u"b"_s}, {}},
     {u"e"_s, kDriveCdRom, {}, {}}}, {vbNo}, {Question(u"<c>a/"_s, u"<c>"_s)}, {}, {}},
    {"NothingFoundListsOnlyTheCdRomDrives", {{u"c"_s, kDriveFixed, {}, {u"a/KS.mdb"_s}},
     {u"e"_s, kDriveCdRom, {u"ks"_s}, {}}, {u"r"_s, kDriveRemovable, {u"ks"_s}, {}}, {u"n"_s, kDriveRemote, {}, {}},
     {u"f"_s, kDriveCdRom, {}, {}}}, {},
     {u"0 | CD drive found at <e>"_s, u"0 | CD drive found at <f>"_s}, {}, {}},
    {"BreadthFirstPastAHundredFolders", {{u"c"_s, kDriveFixed, {u"a/deep"_s, u"z"_s}, {}, 150}}, {vbOK, vbNo, vbYes},
     {u"64 | Found 2 copies on drive <c>.\r\r<c>z/\r<c>a/deep/"_s,
      u"4 | Use copy at <c>z/?"_s, u"4 | Use copy at <c>a/deep/?"_s}, u"<c>a/deep/"_s, u"<c>"_s},
    {"AWalkDoesNotEnterAnotherDrive", {{u"c"_s, kDriveFixed, {}, {}}, {u"c/mnt"_s, kDriveFixed, {u"ks"_s}, {}}},
     {vbYes}, {Question(u"<c/mnt>ks/"_s, u"<c/mnt>"_s)}, u"<c/mnt>ks/"_s, u"<c/mnt>"_s},
    {"NoDrivesLeavesTheButtonsDisabled", {}, {}, {u"16 | No Drives were found!"_s}, {}, {}, false},
};
// clang-format on
INSTANTIATE_TEST_SUITE_P(Cases, DriveSearchTest, ::testing::ValuesIn(kSearchCases), setuptest::kCaseName);

}  // namespace
