// The dialog's Locate button on real folder trees: which drives are searched, which folders count, the
// questions asked, and the folder selected.
#include "setup_fixture.h"

#include "platform/msgbox.h"

#include <QDir>
#include <QFileInfo>

#include <deque>
#include <map>
#include <ostream>

namespace {

using namespace platform;
using setuptest::kProductFiles;

struct TestDrive {
    QString root;  // below the test's folder; "<root>" in the texts below stands for it
    int type;
    QStringList productFolders;  // below the root ("" is the root), each holding the three files
    QStringList otherFiles;      // below the root
    int emptyFolders = 0;        // folders f000, f001, ... at the root's level
};

struct Box {
    QString text;
    int buttons;
};

struct SearchCase {
    const char* name;
    std::vector<TestDrive> drives;
    std::deque<int> answers;
    std::vector<Box> boxes;
    QString dataPath;  // txtDataPath afterwards
    QString drive;     // Drive1 afterwards, when a folder was selected
};

void PrintTo(const SearchCase& c, std::ostream* os) {
    *os << c.name;
}

const QString kCR = QStringLiteral("\r");

QString Question(const QString& folder, const QString& drive) {
    return QStringLiteral("Found one copy at ") + folder + QStringLiteral(" on drive ") + drive +
           QStringLiteral(".") + kCR + kCR + QStringLiteral("Use this database location?");
}

class DriveSearchTest : public setuptest::SetupTest, public ::testing::WithParamInterface<SearchCase> {
protected:
    // The text with each "<root>" replaced by that drive's folder.
    QString Resolved(QString text) const {
        for (const TestDrive& drive : GetParam().drives)
            text.replace(QLatin1Char('<') + drive.root + QLatin1Char('>'), roots_.at(drive.root));
        return text;
    }
    void Build() {
        std::vector<platform::Drive> drives;
        for (const TestDrive& drive : GetParam().drives) {
            const QString root = Folder(drive.root);
            roots_[drive.root] = root;
            drives.push_back({drive.root, drive.type});
            for (const QString& folder : drive.productFolders)
                MakeFiles(root + folder, kProductFiles);
            for (const QString& file : drive.otherFiles)
                MakeFiles(QFileInfo(root + file).path(), {QFileInfo(file).fileName()});
            for (int i = 0; i < drive.emptyFolders; ++i)
                Folder(drive.root + QStringLiteral("/f%1").arg(i, 3, 10, QLatin1Char('0')));
        }
        UseDrives(drives);
    }

    std::map<QString, QString> roots_;
};

TEST_P(DriveSearchTest, AsksAboutWhatItFindsAndSelectsTheChosenFolder) {
    const SearchCase& c = GetParam();
    Build();
    for (int answer : c.answers)
        Env().Answers().Push(answer);
    setup::GetDataPath& dialog = OpenDialog(QStringLiteral("KS.mdb"));

    dialog.cmdLocate_Click();

    const std::vector<MessageBoxRequest> shown = ShownBoxes();
    ASSERT_EQ(shown.size(), c.boxes.size()) << Shown().join(QStringLiteral("\n--\n")).toStdString();
    for (size_t i = 0; i < shown.size(); ++i) {
        EXPECT_EQ(shown[i].text, Resolved(c.boxes[i].text)) << i;
        EXPECT_EQ(shown[i].buttons, c.boxes[i].buttons) << i;
    }
    EXPECT_EQ(dialog.txtDataPath->text(), Resolved(c.dataPath));
    if (!c.drive.isEmpty()) {
        EXPECT_EQ(dialog.Drive1->Drive(), Resolved(c.drive));
        EXPECT_EQ(dialog.Dir1->Path(), platform::ListPath(Resolved(c.dataPath)));
    }
    for (QPushButton* button : {dialog.cmdOK, dialog.cmdCancel, dialog.cmdLocate, dialog.cmdCDInstall})
        EXPECT_TRUE(button->isEnabled());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DriveSearchTest,
    ::testing::Values(
        SearchCase{"RootHoldsTheMainFile",
                   {{QStringLiteral("c"), kDriveFixed, {QString(), QStringLiteral("sub")}, {}}},
                   {vbYes},
                   {{Question(QStringLiteral("<c>"), QStringLiteral("<c>")), vbYesNo}},
                   QStringLiteral("<c>"),
                   QStringLiteral("<c>")},
        SearchCase{"RootWithTheMainFileAloneIsNotWalked",
                   {{QStringLiteral("c"), kDriveFixed, {QStringLiteral("sub")}, {QStringLiteral("ks.MDB")}},
                    {QStringLiteral("d"), kDriveCdRom, {}, {}}},
                   {},
                   {{QStringLiteral("CD drive found at <d>"), vbOKOnly}},
                   QString(),
                   QString()},
        SearchCase{"OneMatchNamesInAnyCase",
                   {{QStringLiteral("c"),
                     kDriveFixed,
                     {},
                     {QStringLiteral("data/ks/ks.MDB"), QStringLiteral("data/ks/Ks_Users.MDB"),
                      QStringLiteral("data/ks/KS_SANDS.MDB"), QStringLiteral("data/other/KS.mdb")}}},
                   {vbYes},
                   {{Question(QStringLiteral("<c>data/ks/"), QStringLiteral("<c>")), vbYesNo}},
                   QStringLiteral("<c>data/ks/"),
                   QStringLiteral("<c>")},
        SearchCase{
            "TwoMatchesDeclinedMoveOnToTheNextDrive",
            {{QStringLiteral("c"), kDriveFixed, {QStringLiteral("a"), QStringLiteral("b/x")}, {}},
             {QStringLiteral("e"), kDriveCdRom, {}, {}},
             {QStringLiteral("n"), kDriveRemote, {QStringLiteral("c")}, {}}},
            {vbOK, vbNo, vbNo, vbYes},
            {{QStringLiteral("Found 2 copies on drive <c>.\r\r<c>a/\r<c>b/x/"), vbOKOnly + vbInformation},
             {QStringLiteral("Use copy at <c>a/?"), vbYesNo},
             {QStringLiteral("Use copy at <c>b/x/?"), vbYesNo},
             {Question(QStringLiteral("<n>c/"), QStringLiteral("<n>")), vbYesNo}},
            QStringLiteral("<n>c/"),
            QStringLiteral("<n>")},
        SearchCase{"OneMatchDeclinedEndsTheSearch",
                   {{QStringLiteral("c"), kDriveFixed, {QStringLiteral("a")}, {}},
                    {QStringLiteral("d"), kDriveFixed, {QStringLiteral("b")}, {}},
                    {QStringLiteral("e"), kDriveCdRom, {}, {}}},
                   {vbNo},
                   {{Question(QStringLiteral("<c>a/"), QStringLiteral("<c>")), vbYesNo}},
                   QString(),
                   QString()},
        SearchCase{"NothingFoundListsOnlyTheCdRomDrives",
                   {{QStringLiteral("c"), kDriveFixed, {}, {QStringLiteral("a/KS.mdb")}},
                    {QStringLiteral("e"), kDriveCdRom, {QStringLiteral("ks")}, {}},
                    {QStringLiteral("r"), kDriveRemovable, {QStringLiteral("ks")}, {}},
                    {QStringLiteral("n"), kDriveRemote, {}, {}},
                    {QStringLiteral("f"), kDriveCdRom, {}, {}}},
                   {},
                   {{QStringLiteral("CD drive found at <e>"), vbOKOnly},
                    {QStringLiteral("CD drive found at <f>"), vbOKOnly}},
                   QString(),
                   QString()},
        SearchCase{
            "BreadthFirstPastAHundredFolders",
            {{QStringLiteral("c"), kDriveFixed, {QStringLiteral("a/deep"), QStringLiteral("z")}, {}, 150}},
            {vbOK, vbNo, vbYes},
            {{QStringLiteral("Found 2 copies on drive <c>.\r\r<c>z/\r<c>a/deep/"), vbOKOnly + vbInformation},
             {QStringLiteral("Use copy at <c>z/?"), vbYesNo},
             {QStringLiteral("Use copy at <c>a/deep/?"), vbYesNo}},
            QStringLiteral("<c>a/deep/"),
            QStringLiteral("<c>")},
        SearchCase{"AWalkDoesNotEnterAnotherDrive",
                   {{QStringLiteral("c"), kDriveFixed, {}, {}},
                    {QStringLiteral("c/mnt"), kDriveFixed, {QStringLiteral("ks")}, {}}},
                   {vbYes},
                   {{Question(QStringLiteral("<c/mnt>ks/"), QStringLiteral("<c/mnt>")), vbYesNo}},
                   QStringLiteral("<c/mnt>ks/"),
                   QStringLiteral("<c/mnt>")}),
    [](const ::testing::TestParamInfo<SearchCase>& info) { return info.param.name; });

using LocateTest = setuptest::SetupTest;

TEST_F(LocateTest, NoDrivesLeavesTheButtonsDisabled) {
    setup::GetDataPath& dialog = OpenDialog(QStringLiteral("KS.mdb"));
    platform::SetDrives({});

    dialog.cmdLocate_Click();

    EXPECT_EQ(Shown(), QStringList{QStringLiteral("No Drives were found!")});
    EXPECT_EQ(ShownBoxes()[0].buttons, vbOKOnly + vbCritical);
    for (QPushButton* button : {dialog.cmdOK, dialog.cmdCancel, dialog.cmdLocate, dialog.cmdCDInstall})
        EXPECT_FALSE(button->isEnabled());
}

TEST_F(LocateTest, SearchesForTheFilesOfTheDialogsProduct) {
    UseDrives({{QStringLiteral("c"), kDriveFixed}});
    MakeFiles(Folder(QStringLiteral("c/br")),
              {QStringLiteral("BR.mdb"), QStringLiteral("BR_USERS.mdb"), QStringLiteral("BR_sands.mdb")});
    MakeFiles(Folder(QStringLiteral("c/ks")), kProductFiles);
    Answer({vbYes});
    setup::GetDataPath& dialog = OpenDialog(QStringLiteral("BR.mdb"), QStringLiteral("BR"));

    dialog.cmdLocate_Click();

    EXPECT_EQ(dialog.txtDataPath->text(), Folder(QStringLiteral("c/br")));
    EXPECT_EQ(ShownBoxes().size(), 1u);
}

}  // namespace
