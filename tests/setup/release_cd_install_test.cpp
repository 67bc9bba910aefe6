// The release-CD installation on folder trees: a folder plays the release medium (a drive of the CD-ROM type)
// and another the workstation's fixed drive.
#include "setup_fixture.h"

#include "ado/connection.h"
#include "data/connection_settings.h"
#include "data/open_connection.h"
#include "platform/application.h"
#include "platform/runtime_error.h"
#include "platform/screen.h"
#include "platform/settings.h"
#include "support/product_schema.h"
#include "support/query_rows.h"

#include <QApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <QMouseEvent>
#include <QTimer>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <optional>

namespace {

using namespace platform;
using namespace Qt::StringLiterals;

const QString kInsert = u"Insert your KSProcessDisqualificationsQueue release CD into your computer now.\r\rPress OK "
                        u"when you are ready to proceed."_s;
const QString kNotFound = u"KSProcessDisqualificationsQueue Release CD was not found. No files copied."_s;
const QString kInUse = u"File cannot be copied because it is in use.\nMake sure everyone has exited "
                       u"KSProcessDisqualificationsQueue then press OK or press Cancel to exit."_s;
const QString kFailed = u"Copy failed with a code of 2. Press OK to do it the old fashioned way."_s;
const QString kJet = u"Provider=Microsoft.Jet.OLEDB.4.0;Data Source="_s;
const QString kAccessTail = u"KS.mdb;Persist Security Info=False;User ID=;Password=;"_s;

// An open file with a lock on it, as a program that works on the file holds it.
class HeldFile {
public:
    explicit HeldFile(const QString& path) : fd_(::open(QFile::encodeName(path).constData(), O_RDWR)) {
        struct flock lock {};
        lock.l_type = F_WRLCK;
        EXPECT_EQ(::fcntl(fd_, F_OFD_SETLK, &lock), 0) << path.toStdString();
    }
    ~HeldFile() { ::close(fd_); }

private:
    int fd_;
};

// Answers from a script (the default button once it runs out); onBox runs while a box is up.
class Answerer : public ScriptedAnswerer {
public:
    int Answer(const MessageBoxRequest& request) override {
        const int answer = ScriptedAnswerer::Answer(request);
        if (onBox)
            onBox();
        return answer;
    }
    std::function<void()> onBox;
};

// A message box as the tests compare it: its buttons, and its text up to the first empty line.
QString Box(int buttons, const QString& text) {
    return QString::number(buttons) + u" | "_s + text.section(u"\n\n"_s, 0, 0);
}

class ReleaseCdTest : public setuptest::SetupTest {
protected:
    void SetUp() override {
        UseDrives({{u"c"_s, kDriveFixed}, {u"cd"_s, kDriveCdRom}});
        productFolder_ = Folder(u"c"_s) + u"Halvermoor Software/KS/"_s;
        systemFolder_ = Folder(u"c"_s) + u"Halvermoor Software/ZO/"_s;
    }
    // The release medium's folder of a product's initial data files on the drive "cd".
    QString ReleaseFolder(const QString& product) {
        return Folder(u"cd/KSProcessDisqualificationsQueue Release/"_s + product +
                      u" Initialized Data Files"_s);
    }
    // The files of a release medium as a CD holds them: real databases, read-only.
    void BurnReleaseCd() {
        for (const QString& file :
             {u"KS/KS.MDB"_s, u"KS/KS_USERS.MDB"_s, u"KS/KS_SANDS.MDB"_s, u"ZO/HVSYS.MDB"_s}) {
            const QString folder = ReleaseFolder(file.section(u'/', 0, 0));
            testsupport::NewProductDatabase(testsupport::Engine::Jet, folder, file.section(u'/', 1));
            // The engine keeps what it wrote in its log until the last connection closes.
            ado::ClearConnectionPool();
            MakeReadOnly(folder + file.section(u'/', 1));
        }
    }
    QString StoredPath(const QString& application) {
        return GetSetting(application, u"Data"_s, application + u" Data Path"_s);
    }

    QString productFolder_;
    QString systemFolder_;
};

// Catches an install under other names or folders, settings not pointing at what it wrote, files left
// read-only, and the dialog's OK after it not being what the next attempt of the missing-file branch opens.
TEST_F(ReleaseCdTest, AnInstallThenOkInTheInstalledFolderGivesTheNextAttemptTheProductsDatabases) {
    BurnReleaseCd();
    data::ConnectionSettings& settings = data::Settings();
    settings.mainConnectionString = kJet + Folder(u"c/old"_s) + kAccessTail;
    platform::Form mainWindow;  // the program's main window stays loaded while the dialog comes and goes
    mainWindow.Show();
    const QString main = productFolder_ + u"KS.mdb"_s, users = productFolder_ + u"KS_users.mdb"_s,
                  sands = productFolder_ + u"KS_sands.mdb"_s, system = systemFolder_ + u"HVSYS.MDB"_s;
    QStringList steps;
    data::SetDataLocationDialog([&](const QString& dbFile) {
        setup::GetDataPath& dialog = OpenDialog(dbFile);
        steps << dbFile;
        if (steps.size() > 1) {
            dialog.Dir1->SetPath(productFolder_);
            return dialog.cmdOK_Click();
        }
        dialog.cmdCDInstall_Click();
        EXPECT_EQ((QStringList{settings.dataPath, settings.mainDatabaseFile, settings.usersDatabaseFile,
                               settings.usersConnectionString, settings.sandsDatabaseFile, settings.zoDataPath,
                               settings.systemDatabaseFile, settings.systemConnectionString,
                               StoredPath(u"KS"_s), StoredPath(u"ZO"_s)}),
                  (QStringList{productFolder_, main, users, kJet + users + u";Persist Security Info=False"_s,
                               sands, systemFolder_, system, kJet + system + u";Persist Security Info=False"_s,
                               productFolder_, systemFolder_}));
    });

    ado::Connection connection;
    ASSERT_TRUE(data::AdoOpenConnection(connection, data::Database::Main, false));

    EXPECT_EQ(steps, (QStringList{u"KS.mdb"_s, u"KS.mdb"_s}));
    EXPECT_EQ(Shown(), QStringList{kInsert});
    EXPECT_EQ(settings.mainConnectionString, kJet + productFolder_ + kAccessTail);
    for (const QString& file : {main, users, sands, system})
        EXPECT_TRUE(IsOwnerWritable(file)) << file.toStdString();
    connection.Execute(u"INSERT INTO Disqualifications_Queue (Table_Name, Table_ID, Creation_Date) VALUES "
                       u"('Agencies', 1, '2024-03-01 09:00:00')"_s);
    connection.Close();
    EXPECT_EQ(testsupport::QueryRows(kJet + main, u"SELECT Table_ID FROM Disqualifications_Queue"_s,
                                     {u"Table_ID"_s}),
              std::vector<QStringList>{{u"1"_s}});
    ado::Connection usersConnection;
    EXPECT_TRUE(data::AdoOpenConnection(usersConnection, data::Database::Users, false));
}

// What the install does after each answer: the files in the fixed tree before (below "Halvermoor Software/"),
// the files missing from the medium, whether another program holds the medium's KS.MDB (the answer to the
// third box frees it, unless the program ends), the answers, the boxes, the settings (data path, main, users
// and system database files, stored KS and ZO paths), the files of the fixed tree afterwards, whether the
// dialog is still loaded, the mouse pointer, and whether the program ends. "<cd>" stands for the medium's
// drive, "<ks>" and "<zo>" for the product's and the system database's folders.
// clang-format off
struct InstallCase { const char* name; QStringList present, missing; bool busyMain; std::deque<int> answers;
                     QStringList boxes, settings, installed; bool loaded; int pointer; bool ends = false; };
void PrintTo(const InstallCase& c, std::ostream* os) { *os << c.name; }  // test names show the case by its name
// clang-format on

const QString kSystemSource =
    u"<cd>KSProcessDisqualificationsQueue Release/ZO Initialized Data Files/HVSYS.MDB"_s;
const QString kUsersSource =
    u"<cd>KSProcessDisqualificationsQueue Release/KS Initialized Data Files/KS_USERS.MDB"_s;
const QStringList kAllInstalled = {u"KS/KS.mdb"_s, u"KS/KS_sands.mdb"_s, u"KS/KS_users.mdb"_s,
                                   u"ZO/HVSYS.MDB"_s};
const QStringList kNothingSet = {u""_s, u""_s, u""_s, u""_s, u""_s, u""_s};
const QString kInsertBox = Box(vbOKCancel, kInsert);
const QString kFailedBox = Box(vbOKCancel + vbInformation, kFailed);
const QString kInUseBox = Box(vbOKCancel + vbCritical, kInUse);
QString ReplaceBox(const QString& name) {
    return Box(vbYesNo + vbQuestion, u"This folder already contains a file named '"_s + name + u"'."_s);
}

// clang-format off
const InstallCase kInstallCases[] = {
    {"CancelAtTheInsertQuestionDoesNothing", {}, {}, false, {vbCancel}, {kInsertBox}, kNothingSet, {}, true,
     vbDefault},
    {"ACancelledCopyOfAProductFileStopsTheInstall", {u"KS/KS_users.mdb"_s}, {}, false, {vbOK, vbNo},
     {kInsertBox, ReplaceBox(u"KS_users.mdb"_s),
      Box(vbOKOnly + vbInformation, u"Copy of "_s + kUsersSource + u" to <ks>KS_users.mdb cancelled."_s)},
     {u""_s, u"<ks>KS.mdb"_s, u""_s, u""_s, u""_s, u""_s}, {u"KS/KS.mdb"_s, u"KS/KS_users.mdb"_s}, true, vbHourglass},
    {"ACancelledCopyOfTheSystemDatabaseDoesNotStopIt", {u"ZO/HVSYS.MDB"_s}, {}, false, {vbOK, vbNo},
     {kInsertBox, ReplaceBox(u"HVSYS.MDB"_s),
      Box(vbOKOnly + vbInformation, u"Copy of "_s + kSystemSource + u" to <zo>HVSYS.MDB cancelled."_s)},
     {u"<ks>"_s, u"<ks>KS.mdb"_s, u"<ks>KS_users.mdb"_s, u""_s, u"<ks>"_s, u""_s}, kAllInstalled, false, vbDefault},
    {"DecliningThePlainCopyOfTheLastFilesLeavesTheDialogOpen", {}, {u"KS/KS_SANDS.MDB"_s, u"ZO/HVSYS.MDB"_s}, false,
     {vbOK, vbCancel, vbCancel}, {kInsertBox, kFailedBox, kFailedBox},
     {u""_s, u"<ks>KS.mdb"_s, u"<ks>KS_users.mdb"_s, u""_s, u""_s, u""_s}, {u"KS/KS.mdb"_s, u"KS/KS_users.mdb"_s},
     true, vbDefault},
    {"ABusyFileIsAskedAgainOnOkAndCancelEndsTheProgram", {}, {}, true, {vbOK, vbOK, vbCancel},
     {kInsertBox, kInUseBox, kInUseBox}, kNothingSet, {}, true, vbHourglass, true},
    {"ABusyFileFreedBeforeOkIsCopied", {}, {}, true, {vbOK, vbOK, vbOK}, {kInsertBox, kInUseBox, kInUseBox},
     {u"<ks>"_s, u"<ks>KS.mdb"_s, u"<ks>KS_users.mdb"_s, u"<zo>HVSYS.MDB"_s, u"<ks>"_s, u"<zo>"_s}, kAllInstalled,
     false, vbDefault},
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
    const QString source = ReleaseFolder(u"KS"_s) + u"KS.MDB"_s;
    ::chmod(QFile::encodeName(source).constData(), 0644);
    std::optional<HeldFile> held;
    if (c.busyMain)
        held.emplace(source);
    auto answers = std::make_shared<Answerer>();
    for (int answer : c.answers)
        answers->Push(answer);
    answers->onBox = [&] {
        if (answers->Shown().size() == 3 && !c.ends)
            held.reset();
    };
    SetMessageBoxAnswerer(answers);
    setup::GetDataPath& dialog = OpenDialog(u"KS.mdb"_s);

    if (c.ends)
        EXPECT_THROW(dialog.cmdCDInstall_Click(), EndProgram);
    else
        dialog.cmdCDInstall_Click();

    const auto placed = [&](QStringList texts) {
        return texts.replaceInStrings(u"<cd>"_s, Folder(u"cd"_s))
            .replaceInStrings(u"<ks>"_s, productFolder_)
            .replaceInStrings(u"<zo>"_s, systemFolder_);
    };
    QStringList boxes;
    for (const MessageBoxRequest& box : answers->Shown())
        boxes << Box(box.buttons, box.text);
    EXPECT_EQ(boxes, placed(c.boxes));
    const data::ConnectionSettings& settings = data::Settings();
    EXPECT_EQ((QStringList{settings.dataPath, settings.mainDatabaseFile, settings.usersDatabaseFile,
                           settings.systemDatabaseFile, StoredPath(u"KS"_s), StoredPath(u"ZO"_s)}),
              placed(c.settings));
    QStringList installed;
    for (QDirIterator it(Folder(u"c"_s) + u"Halvermoor Software"_s, QDir::Files,
                         QDirIterator::Subdirectories);
         it.hasNext();)
        installed << it.next().section(u'/', -2);
    installed.sort();
    EXPECT_EQ(installed, c.installed);
    EXPECT_EQ(dialog.IsLoaded(), c.loaded);
    EXPECT_EQ(dialog.cmdOK->isEnabled(), !c.ends);
    EXPECT_EQ(Screen::MousePointer(), c.pointer);
}

INSTANTIATE_TEST_SUITE_P(Cases, InstallTest, ::testing::ValuesIn(kInstallCases),
                         [](const ::testing::TestParamInfo<InstallCase>& info) { return info.param.name; });

// Presses button as a person does with the mouse: a press and a release over its middle, through the queue.
void PressWithMouse(QAbstractButton* button) {
    const QPointF middle = QRectF(button->rect()).center();
    for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
        QApplication::postEvent(
            button, new QMouseEvent(type, middle, button->mapToGlobal(middle), Qt::LeftButton,
                                    type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton,
                                    Qt::NoModifier));
    }
}

// On a display, where the dialog runs its own event loop and message boxes are real windows: a person clicks
// "CD Install" in the dialog that a missing database file brought up, the copy meets a file in use, and
// Cancel ends the program. The end reaches the statement that opened the dialog, which main turns into exit
// status 2, instead of tearing through Qt's event loop.
TEST_F(ReleaseCdTest, OnADisplayCancelOnABusyFileEndsTheProgramFromTheDialogsLoop) {
    if (platform::IsHeadless())
        GTEST_SKIP() << "needs a display; without one the dialog asks at the terminal";
    BurnReleaseCd();
    const QString source = ReleaseFolder(u"KS"_s) + u"KS.MDB"_s;
    ::chmod(QFile::encodeName(source).constData(), 0644);
    HeldFile held(source);
    SetMessageBoxAnswerer(nullptr);
    data::SetDataLocationDialog(setup::ShowGetDataPath);
    data::Settings().mainConnectionString = kJet + productFolder_ + kAccessTail;

    // The person: clicks "CD Install" once the dialog is up, OK in the first box and Cancel in the next.
    QStringList boxes;
    bool clicked = false;
    QTimer person;
    QObject::connect(&person, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box != nullptr && box->isVisible() && !boxes.contains(box->text())) {
            boxes << box->text();
            PressWithMouse(box->button(boxes.size() == 1 ? QMessageBox::Ok : QMessageBox::Cancel));
        } else if (!clicked && !setup::gGetDataPath.IsEmpty() && setup::gGetDataPath->isVisible()) {
            clicked = true;
            PressWithMouse(setup::gGetDataPath->cmdCDInstall);
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
// clang-format on

const QString kAccessError = u"Error: 75\r\rPath/File access error"_s;

// clang-format off
const MediumCase kMediumCases[] = {
    {"FirstOfTwoMedia", {{u"d"_s, kDriveCdRom}, {u"e"_s, kDriveCdRom}}, {u"d"_s, u"e"_s}, {}, {vbCancel}, {}, u"d"_s},
    {"AnEmptyDriveIsPassedOverSilently", {{u"nodisc"_s, kDriveCdRom}, {u"e"_s, kDriveCdRom}}, {u"e"_s}, {},
     {vbCancel}, {}, u"e"_s},
    {"NamesOnTheMediumInAnyCase", {{u"e"_s, kDriveCdRom}}, {}, {u"e"_s}, {vbCancel}, {}, u"e"_s},
    {"OnlyCdRomDrivesAreMedia", {{u"d"_s, kDriveFixed}, {u"e"_s, kDriveCdRom}}, {u"d"_s}, {}, {}, {kNotFound}, {}},
    {"AnUnreadableDriveIsAskedAboutThenPassedOver", {{u"loop"_s, kDriveCdRom}}, {}, {}, {vbOK, vbCancel},
     {kAccessError, kAccessError, kNotFound}, {}},
};
// clang-format on

class ReleaseMediumTest : public setuptest::SetupTest, public ::testing::WithParamInterface<MediumCase> {};

TEST_P(ReleaseMediumTest, UsesTheFirstCdRomDriveThatHoldsTheReleaseFiles) {
    const MediumCase& c = GetParam();
    std::vector<platform::Drive> drives = {{u"c"_s, kDriveFixed}};
    drives.insert(drives.end(), c.drives.begin(), c.drives.end());
    UseDrives(drives);
    // Each medium's select-and-sort file says which drive it is on.
    for (const QString& drive : c.burnt + c.otherCase) {
        const bool other = c.otherCase.contains(drive);
        const QString folder =
            Folder(drive + (other ? u"/KSPROCESSDISQUALIFICATIONSQUEUE RELEASE/KS INITIALIZED DATA FILES"_s
                                  : u"/KSProcessDisqualificationsQueue Release/KS Initialized Data Files"_s));
        const QStringList names = other ? QStringList{u"ks.mdb"_s, u"ks_users.mdb"_s, u"ks_sands.mdb"_s}
                                        : QStringList{u"KS.MDB"_s, u"KS_USERS.MDB"_s, u"KS_SANDS.MDB"_s};
        MakeFiles(folder, names);
        QFile marker(folder + names[2]);
        ASSERT_TRUE(marker.open(QIODevice::WriteOnly));
        marker.write(drive.toUtf8());
    }
    // A drive without a disc has no folder; a drive root that is a link to itself cannot be read.
    QDir(Env().Dir() + u"/nodisc"_s).removeRecursively();
    const QString loop = Env().Dir() + u"/loop"_s;
    QDir(loop).removeRecursively();
    QFile::link(loop, loop);
    Answer({vbOK});
    for (int answer : c.answers)
        Env().Answers().Push(answer);
    setup::GetDataPath& dialog = OpenDialog(u"KS.mdb"_s);

    dialog.cmdCDInstall_Click();

    QStringList shown = Shown();
    // The system database is not on these media: its copy fails and its plain copy is declined.
    shown.removeAll(kFailed);
    EXPECT_EQ(shown, QStringList{kInsert} + c.boxes);
    QFile installed(Folder(u"c"_s) + u"Halvermoor Software/KS/KS_sands.mdb"_s);
    EXPECT_EQ(installed.open(QIODevice::ReadOnly) ? QString::fromUtf8(installed.readAll()) : QString(),
              c.installedFrom);
    EXPECT_EQ(dialog.IsLoaded(), c.installedFrom.isEmpty());
}

INSTANTIATE_TEST_SUITE_P(Cases, ReleaseMediumTest, ::testing::ValuesIn(kMediumCases),
                         [](const ::testing::TestParamInfo<MediumCase>& info) { return info.param.name; });

TEST_F(ReleaseCdTest, TheSystemProductInstallsItsSystemDatabaseAsItsMainFile) {
    MakeFiles(ReleaseFolder(u"ZO"_s), {u"ZO.MDB"_s, u"HVSYS.MDB"_s, u"ZO_USERS.MDB"_s, u"ZO_SANDS.MDB"_s});
    setup::GetDataPath& dialog = OpenDialog(u"HVSYS.MDB"_s, u"ZO"_s);

    dialog.cmdCDInstall_Click();

    EXPECT_EQ(Shown(), QStringList{kInsert});
    EXPECT_FALSE(dialog.IsLoaded());
    EXPECT_EQ(QDir(systemFolder_).entryList(QDir::Files),
              (QStringList{u"HVSYS.MDB"_s, u"ZO_sands.mdb"_s, u"ZO_users.mdb"_s}));
    EXPECT_EQ((QStringList{data::Settings().mainDatabaseFile, data::Settings().dataPath,
                           data::Settings().systemDatabaseFile, StoredPath(u"ZO"_s)}),
              (QStringList{systemFolder_ + u"HVSYS.MDB"_s, systemFolder_, QString(), systemFolder_}));
}

}  // namespace
