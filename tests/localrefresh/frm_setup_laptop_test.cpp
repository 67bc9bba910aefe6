// The local-refresh window on real folders: what it shows, what closing it does to the program-wide
// connection settings, and which database files its refresh copies, skips or gives up on.
#include "localrefresh/frm_setup_laptop.h"
#include "ado/connection.h"
#include "data/connection_settings.h"
#include "platform/msgbox.h"
#include "platform/runtime_error.h"
#include "platform/screen.h"
#include "platform/settings.h"
#include "support/databases.h"
#include "support/program_environment.h"
#include "support/query_rows.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <functional>
#include <sstream>
#include <utility>

#include <fcntl.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

static void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}

namespace {

using namespace platform;
using localrefresh::frmSetupLaptop;
using localrefresh::gfrmSetupLaptop;

const QString kMain = u"KS.mdb"_s;
const QString kUsers = u"KS_users.mdb"_s;
const QString kSands = u"KS_sands.mdb"_s;
const QString kLists = u"KS_lists.mdb"_s;
const QStringList kAll = {kMain, kUsers, kSands, kLists};
const QString kJet = u"Provider=Microsoft.Jet.OLEDB.4.0;Data Source="_s;

// A message box as the refresh shows it: the progress text at the time, the buttons, the text to its first
// gap.
QString Box(const QString& progress, int buttons, const QString& text) {
    return progress + u" | "_s + QString::number(buttons) + u" | "_s + text.section(u"\n\n"_s, 0, 0);
}

// Answers from a script (the default button once it runs out) and notes each box; onBox runs while it is up.
class RefreshAnswerer : public ScriptedAnswerer {
public:
    int Answer(const MessageBoxRequest& request) override {
        shown << Box(gfrmSetupLaptop->lblProgress->Caption(), request.buttons, request.text);
        if (onBox)
            onBox();
        return ScriptedAnswerer::Answer(request);
    }
    std::function<void()> onBox;
    QStringList shown;
};

class SetupLaptopTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetMessageBoxAnswerer(answers_);
        EmptyFolders();
        SaveSetting(u"KS"_s, u"Data"_s, u"KS Data Path"_s, local_);
        SaveSetting(u"KS"_s, u"Data"_s, u"Remote KS Data Path"_s, remote_);
    }
    void TearDown() override { CloseWindow(); }

    // Frees a held file. A window whose refresh ended the program is still loaded: it closes without copying.
    void CloseWindow() {
        ::close(std::exchange(holder_, -1));
        if (!gfrmSetupLaptop.IsEmpty() && gfrmSetupLaptop->IsLoaded()) {
            gfrmSetupLaptop->chkCopy->setChecked(false);
            gfrmSetupLaptop->Unload();
        }
        gfrmSetupLaptop.Reset();
        Screen::DoEvents();
    }

    void EmptyFolders() {
        for (const QString& folder : {remote_, local_}) {
            QDir(folder).removeRecursively();
            ASSERT_TRUE(QDir().mkpath(folder));
        }
    }
    // Files of those names in folder, each saying "<origin> <name>".
    static void MakeFiles(const QString& folder, const QStringList& names, const QString& origin) {
        for (const QString& name : names) {
            QFile file(folder + name);
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            file.write((origin + u' ' + name).toUtf8());
        }
    }
    // Where the main, users, select-and-sort and lists files of folder came from, e.g.
    // "remote/local/missing/remote"; a file holding another file's name shows that name.
    static QString Origins(const QString& folder) {
        QStringList origins;
        for (const QString& name : kAll) {
            QFile file(folder + name);
            origins << (file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()).remove(u' ' + name)
                                                       : u"missing"_s);
        }
        return origins.join(u'/');
    }
    frmSetupLaptop& OpenWindow(bool local = false, bool refresh = false) {
        gfrmSetupLaptop->Show(vbModeless);
        (local ? gfrmSetupLaptop->optLocal : gfrmSetupLaptop->optRemote)->setChecked(true);
        gfrmSetupLaptop->chkCopy->setChecked(refresh);
        return *gfrmSetupLaptop;
    }

    testsupport::ProgramEnvironment env_;
    std::shared_ptr<RefreshAnswerer> answers_ = std::make_shared<RefreshAnswerer>();
    QString remote_ = env_.Dir() + u"/remote/"_s;
    QString local_ = env_.Dir() + u"/local/"_s;
    int holder_ = -1;  // a file another program holds locked
};

TEST_F(SetupLaptopTest, ShowsTheFoldersWithTheirSeparatorAndSetsTheDataPathAndTheSystemDatabase) {
    // The local folder stored (the remote one: + "/remote"), the sibling's, the folder shown, the system DB.
    // clang-format off
    struct Case { QString stored, sibling, shown, systemFile; };
    const Case cases[] = {
        {u"/srv/ks"_s, u"/srv/zo"_s, u"/srv/ks/"_s, u"/srv/zo/HVSYS.MDB"_s},
        {u"/srv/ks/"_s, QString(), u"/srv/ks/"_s, u"/old/zo/HVSYS.MDB"_s},
        {QString(), QString(), u"/"_s, u"/old/zo/HVSYS.MDB"_s},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.stored.toStdString());
        data::ConnectionSettings& settings = data::Settings();
        settings.zoDataPresent = c.sibling.isEmpty();
        settings.zoDataPath = u"/old/zo/"_s;
        settings.systemDatabaseFile = u"/old/zo/HVSYS.MDB"_s;
        settings.systemConnectionString = kJet + u"/old/zo/HVSYS.MDB;Persist Security Info=False"_s;
        SaveSetting(u"KS"_s, u"Data"_s, u"KS Data Path"_s, c.stored);
        SaveSetting(u"KS"_s, u"Data"_s, u"Remote KS Data Path"_s, c.stored + u"/remote"_s);
        SaveSetting(u"ZO"_s, u"Data"_s, u"ZO Data Path"_s, c.sibling);
        gfrmSetupLaptop->Show(vbModeless);
        const frmSetupLaptop& window = *gfrmSetupLaptop;
        EXPECT_EQ(
            (QStringList{window.Caption(), window.lblPrompts[0]->Caption(), window.lblPrompts[1]->Caption(),
                         window.lblLocalKSDirectory->Caption(), window.lblRemoteKSDirectory->Caption()}),
            (QStringList{u"Select Laptop Directory"_s, u"KS Data Directory"_s, u"KS Data Directory"_s,
                         c.shown, c.stored + u"/remote/"_s}));
        EXPECT_TRUE(window.optRemote->isChecked() && !window.chkCopy->isChecked());
        EXPECT_EQ(settings.dataPath, c.shown);
        EXPECT_EQ(settings.zoDataPresent, !c.sibling.isEmpty());
        EXPECT_EQ(settings.zoDataPath, c.sibling.isEmpty() ? u"/old/zo/"_s : c.sibling + u'/');
        EXPECT_EQ(settings.systemDatabaseFile, c.systemFile);
        EXPECT_EQ(settings.systemConnectionString, kJet + c.systemFile + u";Persist Security Info=False"_s);
        gfrmSetupLaptop->close();
        Screen::DoEvents();
    }
}

// The choice at the terminal form, or the close box, and what it leaves in the settings and the folders; the
// window opens with the refresh checked.
TEST_F(SetupLaptopTest, TheChoiceAtTheTerminalOrTheCloseBoxSetsTheSettings) {
    // What was typed (nullptr: the close box, with Local chosen), and what came of it.
    // clang-format off
    struct Case { const char* what; const char* typed; bool ok, local, refreshed, askedAgain; };
    const Case cases[] = {
        {"local with a refresh", "local\nyes\n", true, true, true, false},
        {"first letters in any case", "L\nN\n", true, true, false, false},
        {"empty lines take what the window shows", "\n\n", true, false, true, false},
        {"remote without a refresh", "remote\nno\n", true, false, false, false},
        {"anything else asks again", "elsewhere\nlocal\nmaybe\nn\n", true, true, false, true},
        {"cancel at the folder", "cancel\n", false, false, false, false},
        {"cancel at the refresh", "local\nc\n", false, false, false, false},
        {"end of input", "local\n", false, false, false, false},
        {"the close box", nullptr, false, false, false, false},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EmptyFolders();
        MakeFiles(remote_, kAll, u"remote"_s);
        data::ConnectionSettings& settings = data::Settings();
        settings.useLocalData = true;
        settings.mainDatabaseFile = u"/before/KS.mdb"_s;
        frmSetupLaptop& window = OpenWindow(c.typed == nullptr, true);
        const QString progress = window.lblProgress->Caption();

        if (c.typed == nullptr) {
            window.close();
        } else {
            std::istringstream in(c.typed);
            testing::internal::CaptureStderr();
            window.AskAtTerminal(in);
            const QString asked = QString::fromStdString(testing::internal::GetCapturedStderr());
            EXPECT_TRUE(asked.contains(u"Remote Data Directories: KS Data Directory "_s + remote_ + u'\n') &&
                        asked.contains(u"Local Data Directories: KS Data Directory "_s + local_ + u'\n'))
                << asked.toStdString();
            EXPECT_EQ(asked.contains(u"Please answer"_s), c.askedAgain) << asked.toStdString();
        }

        const QString folder = c.local ? local_ : remote_;
        EXPECT_EQ(settings.useLocalData, c.ok && c.local);
        EXPECT_EQ(settings.dataPath, c.ok ? folder : local_);
        EXPECT_EQ(settings.mainDatabaseFile, c.ok ? folder + kMain : u"/before/KS.mdb"_s);
        if (c.ok) {
            EXPECT_EQ((QStringList{settings.mainConnectionString, settings.listsDatabaseFile,
                                   settings.usersDatabaseFile, settings.usersConnectionString,
                                   settings.sandsDatabaseFile}),
                      (QStringList{
                          kJet + folder + u"KS.mdb;Persist Security Info=False;User ID=;Password=;"_s,
                          folder + kLists, folder + kUsers,
                          kJet + folder + u"KS_users.mdb;Persist Security Info=False"_s, folder + kSands}));
        }
        EXPECT_EQ(window.lblProgress->Caption(), c.refreshed ? u"Refresh Complete"_s : progress);
        EXPECT_EQ(Origins(local_),
                  c.refreshed ? u"remote/remote/remote/missing"_s : u"missing/missing/missing/missing"_s);
        EXPECT_EQ(Origins(remote_), u"remote/remote/remote/remote"_s);
        EXPECT_TRUE(answers_->shown.isEmpty()) << answers_->shown.join(u'\n').toStdString();
        EXPECT_TRUE(gfrmSetupLaptop.IsEmpty() && Screen::Forms().empty());
        Screen::DoEvents();
    }
}

const QString kMainStep = u"Copying Main Data Base..."_s;
const QString kUsersStep = u"Copying Users Data Base..."_s;
const QString kComplete = u"Refresh Complete"_s;
QString Replace(const QString& step, const QString& name) {
    return Box(step, vbYesNo + vbQuestion, u"This folder already contains a file named '"_s + name + u"'."_s);
}
const QString kCopyFailed = Box(kUsersStep, vbOKCancel + vbInformation,
                                u"Copy failed with a code of 2. Press OK to do it the old fashioned way."_s);
const QString kInUse = Box(kMainStep, vbOKCancel + vbCritical,
                           u"File cannot be copied because it is in use.\nMake sure everyone has exitted "
                           u"KSProcessDisqualificationsQueue then press OK or press Cancel to exit."_s);

// A refresh to the local folder: the files in each folder before, whether another program holds the remote
// main file (the first box frees it, unless the program ends), the answers, the boxes ("<local>" and
// "<remote>" stand for the folders), the local files' origins afterwards, the progress, and the program's
// end.
// clang-format off
struct RefreshCase { const char* name; QStringList remote, local; bool busyMain; std::deque<int> answers;
                     QStringList boxes; QString origins, progress; bool ends; };
const RefreshCase kRefreshCases[] = {
    {"ReplacesTheThreeLocalCopiesInOrder", kAll, kAll, false, {},
     {Replace(kMainStep, kMain), Replace(kUsersStep, kUsers), Replace(u"Copying Select and Sort Data Base..."_s, kSands)},
     u"remote/remote/remote/local"_s, kComplete, false},
    {"ListsDatabaseIsNeverCopied", kAll, {}, false, {}, {}, u"remote/remote/remote/missing"_s, kComplete, false},
    {"ACancelledCopyGoesOnWithTheNextFile", kAll, {kMain}, false, {vbNo},
     {Replace(kMainStep, kMain),
      Box(kMainStep, vbOKOnly + vbInformation, u"Copy of <remote>KS.mdb to <local>KS.mdb cancelled."_s)},
     u"local/remote/remote/missing"_s, kComplete, false},
    {"CancelInTheOldFashionedWaySkipsTheFile", {kMain, kSands}, {}, false, {vbCancel}, {kCopyFailed},
     u"remote/missing/remote/missing"_s, kComplete, false},
    {"AFailingPlainCopyEndsTheProgram", {kMain, kSands}, {}, false, {vbOK},
     {kCopyFailed, Box(kUsersStep, vbOKOnly + vbCritical, u"Error #53 while trying to copy.\nFile not foundContact "
                       u"your System Administrator if this continues.\nTerminating application."_s)},
     u"remote/missing/missing/missing"_s, kUsersStep, true},
    {"OkCopiesABusyFileOnceItIsFree", kAll, {}, true, {vbOK}, {kInUse}, u"remote/remote/remote/missing"_s,
     kComplete, false},
    {"CancelOnABusyFileEndsTheProgramAtOnce", kAll, {}, true, {vbOK, vbCancel}, {kInUse, kInUse},
     u"missing/missing/missing/missing"_s, kMainStep, true},
};
// clang-format on

// Catches a refresh that copies the wrong file, in the wrong order, or goes on or stops against the answers.
TEST_F(SetupLaptopTest, TheRefreshCopiesSkipsOrGivesUpAsThePersonAnswers) {
    for (const RefreshCase& c : kRefreshCases) {
        SCOPED_TRACE(c.name);
        EmptyFolders();
        answers_ = std::make_shared<RefreshAnswerer>();
        SetMessageBoxAnswerer(answers_);
        MakeFiles(remote_, c.remote, u"remote"_s);
        MakeFiles(local_, c.local, u"local"_s);
        if (c.busyMain) {
            // An open file description of its own, whose lock the copy's own open and close cannot drop.
            holder_ = ::open(QFile::encodeName(remote_ + kMain).constData(), O_RDWR | O_CLOEXEC);
            struct flock lock {};
            lock.l_type = F_WRLCK;
            ASSERT_EQ(::fcntl(holder_, F_OFD_SETLK, &lock), 0);
        }
        if (!c.ends)
            answers_->onBox = [this] { ::close(std::exchange(holder_, -1)); };
        for (int answer : c.answers)
            answers_->Push(answer);
        frmSetupLaptop& window = OpenWindow(true, true);

        if (c.ends)
            EXPECT_THROW(window.cmdOK_Click(), EndProgram);
        else
            window.cmdOK_Click();

        EXPECT_EQ(
            answers_->shown.replaceInStrings(local_, u"<local>"_s).replaceInStrings(remote_, u"<remote>"_s),
            c.boxes);
        EXPECT_EQ(Origins(local_), c.origins);
        EXPECT_EQ(window.lblProgress->Caption(), c.progress);
        EXPECT_EQ(window.IsLoaded(), c.ends);
        EXPECT_EQ(Screen::MousePointer(), c.ends ? vbHourglass : vbDefault);
        CloseWindow();
    }
}

// Catches a refresh that copies a database while an idle pooled session of the program still holds writes.
TEST_F(SetupLaptopTest, RefreshCopiesWhatThisProgramJustWrote) {
    MakeFiles(remote_, {kUsers, kSands}, u"remote"_s);
    ado::Connection connection;
    connection.Open(testsupport::NewJetDatabase(remote_, kMain));
    connection.Execute(u"CREATE TABLE Origin (Name TEXT)"_s);
    connection.Execute(u"INSERT INTO Origin (Name) VALUES ('written just now')"_s);
    connection.Close();  // its session stays in the pool with the database open

    OpenWindow(true, true).cmdOK_Click();

    EXPECT_EQ(testsupport::QueryRows(kJet + local_ + kMain + u';', u"SELECT Name FROM Origin"_s, {u"Name"_s}),
              std::vector<QStringList>{{u"written just now"_s}});
}

}  // namespace
