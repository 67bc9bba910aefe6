// The release-CD installation on folder trees: a folder plays the release medium (a drive of the CD-ROM type)
// and another the workstation's fixed drive.
#include "setup_fixture.h"

#include "ado/connection.h"
#include "data/connection_settings.h"
#include "data/open_connection.h"
#include "platform/application.h"
#include "platform/runtime_error.h"
#include "platform/settings.h"
#include "support/product_schema.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDirIterator>
#include <QMessageBox>
#include <QTimer>

#include <fcntl.h>
#include <unistd.h>

#include <functional>

namespace {

using namespace platform;
using namespace Qt::StringLiterals;

const QString kInsert =
    u"Insert your KSProcessDisqualificationsQueue release CD into your computer now.\r\rPress OK "
    u"when you are ready to proceed."_s;
const QString kNotFound =
    u"16 | KSProcessDisqualificationsQueue Release CD was not found. No files copied."_s;
const QString kInUse =
    u"File cannot be copied because it is in use.\nMake sure everyone has exited "
    u"KSProcessDisqualificationsQueue then press OK or press Cancel to exit."_s;
const QString kFailed = u"Copy failed with a code of 2. Press OK to do it the old fashioned way."_s;
const QString kJet = u"Provider=Microsoft.Jet.OLEDB.4.0;Data Source="_s;

// Answers from a script (the default button once it runs out); onBox runs while a box is up.
class Answerer : public ScriptedAnswerer {
public:
    using ScriptedAnswerer::ScriptedAnswerer;
    int Answer(const MessageBoxRequest& request) override {
        const int answer = ScriptedAnswerer::Answer(request);
        if (onBox)
            onBox();
        return answer;
    }
    std::function<void()> onBox;
};

class ReleaseCdTest : public setuptest::SetupTest {
protected:
    void SetUp() override { UseDrives({{u"c"_s, kDriveFixed}, {u"cd"_s, kDriveCdRom}}); }
    void TearDown() override {
        Release();
        SetupTest::TearDown();
    }
    // The release medium's folder of a product's initial data files on the drive "cd".
    QString ReleaseFolder(const QString& product) {
        return Folder(u"cd/KSProcessDisqualificationsQueue Release/"_s + product +
                      u" Initialized Data Files"_s);
    }
    // The files of a release medium as a CD holds them, read-only: real databases, and the system product's
    // other files empty.
    void BurnReleaseCd() {
        for (const QString& file :
             {u"KS/KS.MDB"_s, u"KS/KS_USERS.MDB"_s, u"KS/KS_SANDS.MDB"_s, u"ZO/HVSYS.MDB"_s}) {
            const QString folder = ReleaseFolder(file.section(u'/', 0, 0));
            testsupport::NewProductDatabase(testsupport::Engine::Jet, folder, file.section(u'/', 1));
            ado::ClearConnectionPool();  // the engine keeps its writes in its log until the last one closes
            QFile::setPermissions(folder + file.section(u'/', 1), QFileDevice::ReadOwner);
        }
        MakeFiles(ReleaseFolder(u"ZO"_s), {u"ZO.MDB"_s, u"ZO_USERS.MDB"_s, u"ZO_SANDS.MDB"_s});
    }
    // Holds a lock on the medium's KS.MDB as a program that works on the file does, until Release.
    void HoldMainFile() {
        const QString source = ReleaseFolder(u"KS"_s) + u"KS.MDB"_s;
        QFile::setPermissions(source, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        held_ = ::open(QFile::encodeName(source).constData(), O_RDWR | O_CLOEXEC);
        struct flock lock {};
        lock.l_type = F_WRLCK;
        EXPECT_EQ(::fcntl(held_, F_OFD_SETLK, &lock), 0);
    }
    void Release() { ::close(std::exchange(held_, -1)); }

    const QString productFolder_ = Folder(u"c"_s) + u"Halvermoor Software/KS/"_s;
    const QString systemFolder_ = Folder(u"c"_s) + u"Halvermoor Software/ZO/"_s;
    int held_ = -1;
};

// What the install does after each answer: the files in the fixed tree before (below "Halvermoor Software/"),
// the files missing from the medium, whether another program holds the medium's KS.MDB (the answer to the
// third box frees it, unless the program ends), the answers, the boxes (buttons | text), the settings (data
// path, main, users and its string, select-and-sort, system folder, file and string, stored KS and ZO paths),
// the files of the fixed tree afterwards (each made writable), whether the dialog is still loaded, the mouse
// pointer, whether the program ends, and the product. "<cd>" stands for the medium's drive, "<ks>" and "<zo>"
// for the product's and the system folders, "<jet>" for the embedded engine's connection string.
// clang-format off
struct InstallCase { const char* name; QStringList present, missing; bool busyMain; std::deque<int> answers;
                     QStringList boxes, settings, installed; bool loaded; int pointer; bool ends = false;
                     QString product = u"KS"_s; };
void PrintTo(const InstallCase& c, std::ostream* os) { *os << c.name; }  // test names show the case by its name

const QString kSource = u"Copy of <cd>KSProcessDisqualificationsQueue Release/"_s;
const QString kAll = u"KS/KS.mdb KS/KS_sands.mdb KS/KS_users.mdb ZO/HVSYS.MDB"_s;
const QString kNothing = u"|||||||||"_s, kInsertBox = u"1 | "_s + kInsert, kFailedBox = u"65 | "_s + kFailed;
const QString kInUseBox = u"17 | "_s + kInUse;
const QString kUsers = u"<ks>KS_users.mdb|<jet><ks>KS_users.mdb;Persist Security Info=False"_s;
const QString kSystem = u"<zo>|<zo>HVSYS.MDB|<jet><zo>HVSYS.MDB;Persist Security Info=False"_s;
QString ReplaceBox(const QString& name) {
    return u"36 | This folder already contains a file named '"_s + name + u"'."_s;
}

const InstallCase kInstallCases[] = {
    {"CancelAtTheInsertQuestionDoesNothing", {}, {}, false, {vbCancel}, {kInsertBox}, {kNothing}, {}, true, vbDefault},
    {"ACancelledCopyOfAProductFileStopsTheInstall", {u"KS/KS_users.mdb"_s}, {}, false, {vbOK, vbNo},
     {kInsertBox, ReplaceBox(u"KS_users.mdb"_s), u"64 | "_s + kSource +
      u"KS Initialized Data Files/KS_USERS.MDB to <ks>KS_users.mdb cancelled."_s},
     {u"|<ks>KS.mdb||||||||"_s}, {u"KS/KS.mdb KS/KS_users.mdb"_s}, true, vbHourglass},
    {"ACancelledCopyOfTheSystemDatabaseDoesNotStopIt", {u"ZO/HVSYS.MDB"_s}, {}, false, {vbOK, vbNo},
     {kInsertBox, ReplaceBox(u"HVSYS.MDB"_s), u"64 | "_s + kSource +
      u"ZO Initialized Data Files/HVSYS.MDB to <zo>HVSYS.MDB cancelled."_s},
     {u"<ks>|<ks>KS.mdb|"_s + kUsers + u"|<ks>KS_sands.mdb||||<ks>|"_s}, {kAll}, false, vbDefault},
    {"DecliningThePlainCopyOfTheLastFilesLeavesTheDialogOpen", {}, {u"KS/KS_SANDS.MDB"_s, u"ZO/HVSYS.MDB"_s}, false,
     {vbOK, vbCancel, vbCancel}, {kInsertBox, kFailedBox, kFailedBox}, {u"|<ks>KS.mdb|"_s + kUsers + u"||||||"_s},
     {u"KS/KS.mdb KS/KS_users.mdb"_s}, true, vbDefault},
    {"ABusyFileIsAskedAgainOnOkAndCancelEndsTheProgram", {}, {}, true, {vbOK, vbOK, vbCancel},
     {kInsertBox, kInUseBox, kInUseBox}, {kNothing}, {}, true, vbHourglass, true},
    {"ABusyFileFreedBeforeOkIsCopied", {}, {}, true, {vbOK, vbOK, vbOK}, {kInsertBox, kInUseBox, kInUseBox},
     {u"<ks>|<ks>KS.mdb|"_s + kUsers + u"|<ks>KS_sands.mdb|"_s + kSystem + u"|<ks>|<zo>"_s}, {kAll}, false, vbDefault},
    {"TheSystemProductInstallsItsSystemDatabaseAsItsMainFile", {}, {}, false, {}, {kInsertBox},
     {u"<zo>|<zo>HVSYS.MDB|<zo>ZO_users.mdb|<jet><zo>ZO_users.mdb;Persist Security Info=False|"
      u"<zo>ZO_sands.mdb|||||<zo>"_s}, {u"ZO/HVSYS.MDB ZO/ZO_sands.mdb ZO/ZO_users.mdb"_s}, false,
     vbDefault, false, u"ZO"_s},
};
// clang-format on

class InstallTest : public ReleaseCdTest, public ::testing::WithParamInterface<InstallCase> {};

TEST_P(InstallTest, GoesOnOrStopsAsThePersonAnswers) {
    const InstallCase& c = GetParam();
    BurnReleaseCd();
    for (const QString& file : c.present)
        MakeFiles(Folder(u"c/Halvermoor Software/"_s + file.section(u'/', 0, 0)), {file.section(u'/', 1)});
    for (const QString& file : c.missing)
        QFile::remove(ReleaseFolder(file.section(u'/', 0, 0)) + file.section(u'/', 1));
    if (c.busyMain)
        HoldMainFile();
    auto answers = std::make_shared<Answerer>(c.answers);
    answers->onBox = [&] {
        if (answers->Shown().size() == 3 && !c.ends)
            Release();
    };
    SetMessageBoxAnswerer(answers);
    setup::GetDataPath& dialog =
        OpenDialog(c.product == u"ZO"_s ? u"HVSYS.MDB"_s : c.product + u".mdb"_s, c.product);

    if (c.ends)
        EXPECT_THROW(dialog.cmdCDInstall_Click(), EndProgram);
    else
        dialog.cmdCDInstall_Click();

    const auto placed = [&](QStringList texts) {
        return texts.replaceInStrings(u"<cd>"_s, Folder(u"cd"_s))
            .replaceInStrings(u"<ks>"_s, productFolder_)
            .replaceInStrings(u"<zo>"_s, systemFolder_)
            .replaceInStrings(u"<jet>"_s, kJet);
    };
    EXPECT_EQ(Boxes(answers->Shown()), placed(c.boxes));
    const data::ConnectionSettings& settings = data::Settings();
    EXPECT_EQ((QStringList{settings.dataPath, settings.mainDatabaseFile, settings.usersDatabaseFile,
                           settings.usersConnectionString, settings.sandsDatabaseFile, settings.zoDataPath,
                           settings.systemDatabaseFile, settings.systemConnectionString,
                           GetSetting(u"KS"_s, u"Data"_s, u"KS Data Path"_s),
                           GetSetting(u"ZO"_s, u"Data"_s, u"ZO Data Path"_s)})
                  .join(u'|'),
              placed(c.settings).join(u""_s));
    QStringList installed;
    for (QDirIterator it(Folder(u"c"_s) + u"Halvermoor Software"_s, QDir::Files,
                         QDirIterator::Subdirectories);
         it.hasNext();) {
        installed << it.next().section(u'/', -2);
        EXPECT_TRUE(it.fileInfo().permission(QFileDevice::WriteOwner)) << it.filePath().toStdString();
    }
    installed.sort();
    EXPECT_EQ(installed.join(u' '), c.installed.join(u""_s));
    EXPECT_EQ(dialog.IsLoaded(), c.loaded);
    EXPECT_EQ(dialog.cmdOK->isEnabled(), !c.ends);
    EXPECT_EQ(Screen::MousePointer(), c.pointer);
}

INSTANTIATE_TEST_SUITE_P(Cases, InstallTest, ::testing::ValuesIn(kInstallCases), setuptest::kCaseName);

// Catches an end of the program on a display that tears through the dialog's own event loop instead of
// reaching the statement that opened the dialog.
TEST_F(ReleaseCdTest, OnADisplayCancelOnABusyFileEndsTheProgramFromTheDialogsLoop) {
    if (platform::IsHeadless())
        GTEST_SKIP() << "needs a display; without one the dialog asks at the terminal";
    BurnReleaseCd();
    HoldMainFile();
    SetMessageBoxAnswerer(nullptr);
    data::SetDataLocationDialog(setup::ShowGetDataPath);
    data::Settings().mainConnectionString = kJet + productFolder_ + u"KS.mdb;"_s;

    // The person clicks "CD Install", then OK in the first box and Cancel in the next, through the event
    // queue.
    QStringList boxes;
    bool clicked = false;
    QTimer person;
    QObject::connect(&person, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box != nullptr && box->isVisible() && !boxes.contains(box->text())) {
            boxes << box->text();
            QTimer::singleShot(0, box->button(boxes.size() == 1 ? QMessageBox::Ok : QMessageBox::Cancel),
                               &QAbstractButton::click);
        } else if (!clicked && !setup::gGetDataPath.IsEmpty() && setup::gGetDataPath->isVisible()) {
            clicked = true;
            QTimer::singleShot(0, setup::gGetDataPath->cmdCDInstall, &QAbstractButton::click);
        }
    });
    person.start(10);
    ado::Connection connection;

    EXPECT_THROW(static_cast<void>(data::AdoOpenConnection(connection, data::Database::Main, false)),
                 platform::EndProgram);

    EXPECT_EQ(boxes, (QStringList{QString(kInsert).replace(u'\r', u'\n'), kInUse}));
    EXPECT_FALSE(QFileInfo::exists(productFolder_ + u"KS.mdb"_s));
}

// Which CD-ROM drive holds the release files: the drives after the fixed drive "c", those holding the release
// files, those whose release folder and files are named in another case, the answers and the boxes after the
// insert question, and the drive whose files were installed (empty for none).
// clang-format off
struct MediumCase { const char* name; std::vector<platform::Drive> drives; QStringList burnt, otherCase;
                    std::deque<int> answers; QStringList boxes; QString installedFrom; };
void PrintTo(const MediumCase& c, std::ostream* os) { *os << c.name; }

const QString kAccessError = u"1 | Error: 75\r\rPath/File access error"_s;
const MediumCase kMediumCases[] = {
    {"FirstOfTwoMedia", {{u"d"_s, kDriveCdRom}, {u"e"_s, kDriveCdRom}}, {u"d"_s, u"e"_s}, {}, {vbCancel}, {}, u"d"_s},
    {"AnEmptyDriveIsPassedOverAndNamesMatchInAnyCase", {{u"nodisc"_s, kDriveCdRom}, {u"e"_s, kDriveCdRom}},
     {}, {u"e"_s}, {vbCancel}, {}, u"e"_s},
    {"OnlyCdRomDrivesAreMedia", {{u"d"_s, kDriveFixed}, {u"e"_s, kDriveCdRom}}, {u"d"_s}, {}, {}, {kNotFound}, {}},
    {"AnUnreadableDriveIsAskedAboutThenPassedOver", {{u"loop"_s, kDriveCdRom}}, {}, {}, {vbOK, vbCancel},
     {kAccessError, kAccessError, kNotFound}, {}},
};
// clang-format on

using ReleaseMediumTest = setuptest::ParamTest<MediumCase>;

TEST_P(ReleaseMediumTest, UsesTheFirstCdRomDriveThatHoldsTheReleaseFiles) {
    const MediumCase& c = GetParam();
    std::vector<platform::Drive> drives = {{u"c"_s, kDriveFixed}};
    drives.insert(drives.end(), c.drives.begin(), c.drives.end());
    UseDrives(drives);
    // Each medium's files say which drive they are on.
    for (const QString& drive : c.burnt + c.otherCase) {
        const bool other = c.otherCase.contains(drive);
        const QString folder = Folder(
            drive + (other ? u"/KSPROCESSDISQUALIFICATIONSQUEUE RELEASE/KS INITIALIZED DATA FILES/"_s
                           : u"/KSProcessDisqualificationsQueue Release/KS Initialized Data Files/"_s));
        for (const QString& name : {u"KS.MDB"_s, u"KS_USERS.MDB"_s, u"KS_SANDS.MDB"_s}) {
            QFile file(folder + (other ? name.toLower() : name));
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            file.write(drive.toUtf8());
        }
    }
    // A drive without a disc has no folder; a drive root that is a link to itself cannot be read.
    QDir(Env().Dir() + u"/nodisc"_s).removeRecursively();
    const QString loop = Env().Dir() + u"/loop"_s;
    QDir(loop).removeRecursively();
    QFile::link(loop, loop);
    Answer({vbOK});
    Answer(c.answers);
    setup::GetDataPath& dialog = OpenDialog(u"KS.mdb"_s);

    dialog.cmdCDInstall_Click();

    QStringList shown = Boxes(Env().Answers().Shown());
    shown.removeAll(kFailedBox);  // the system database is not on these media: its plain copy is declined
    EXPECT_EQ(shown, QStringList{kInsertBox} + c.boxes);
    QFile installed(Folder(u"c"_s) + u"Halvermoor Software/KS/KS_sands.mdb"_s);
    EXPECT_EQ(installed.open(QIODevice::ReadOnly) ? QString::fromUtf8(installed.readAll()) : QString(),
              c.installedFrom);
    EXPECT_EQ(dialog.IsLoaded(), c.installedFrom.isEmpty());
}

INSTANTIATE_TEST_SUITE_P(Cases, ReleaseMediumTest, ::testing::ValuesIn(kMediumCases), setuptest::kCaseName);

}  // namespace
