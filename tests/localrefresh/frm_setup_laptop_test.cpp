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

const QStringList kAll = {u"KS.mdb"_s, u"KS_users.mdb"_s, u"KS_sands.mdb"_s, u"KS_lists.mdb"_s};
const QString kJet = u"Provider=Microsoft.Jet.OLEDB.4.0;Data Source="_s;

// Answers from a script (the default button once it runs out) and notes each box as "progress | buttons |
// text to its first gap"; onBox runs while it is up.
class RefreshAnswerer : public ScriptedAnswerer {
public:
    int Answer(const MessageBoxRequest& request) override {
        shown << gfrmSetupLaptop->lblProgress->Caption() + u" | "_s + QString::number(request.buttons) +
                     u" | "_s + request.text.section(u"\n\n"_s, 0, 0);
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
        Start();
        SaveSetting(u"KS"_s, u"Data"_s, u"KS Data Path"_s, local_);
        SaveSetting(u"KS"_s, u"Data"_s, u"Remote KS Data Path"_s, remote_);
    }
    void TearDown() override { CloseWindow(); }

    // Empty folders, fresh answers and remote files of those names, each saying "remote <name>".
    void Start(const QStringList& remote = {}) {
        SetMessageBoxAnswerer(answers_ = std::make_shared<RefreshAnswerer>());
        for (const QString& folder : {remote_, local_})
            ASSERT_TRUE(QDir(folder).removeRecursively() && QDir().mkpath(folder));
        MakeFiles(remote_, remote, u"remote"_s);
    }
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
    frmSetupLaptop& OpenWindow(bool local, bool refresh) {
        gfrmSetupLaptop->Show(vbModeless);
        EXPECT_TRUE(gfrmSetupLaptop->optRemote->isChecked() && !gfrmSetupLaptop->chkCopy->isChecked());
        (local ? gfrmSetupLaptop->optLocal : gfrmSetupLaptop->optRemote)->setChecked(true);
        gfrmSetupLaptop->chkCopy->setChecked(refresh);
        return *gfrmSetupLaptop;
    }

    testsupport::ProgramEnvironment env_;
    std::shared_ptr<RefreshAnswerer> answers_;
    QString remote_ = env_.Dir() + u"/remote/"_s;
    QString local_ = env_.Dir() + u"/local/"_s;
    int holder_ = -1;  // a file another program holds locked
};

// Catches folders shown without their separator, the system database not set at load, and a choice at the
// terminal form misread or leaving other settings or copies than the person chose.
TEST_F(SetupLaptopTest, TheChoiceAtTheTerminalSetsTheSettings) {
    SaveSetting(u"KS"_s, u"Data"_s, u"KS Data Path"_s, local_.chopped(1));
    SaveSetting(u"KS"_s, u"Data"_s, u"Remote KS Data Path"_s, remote_.chopped(1));
    SaveSetting(u"ZO"_s, u"Data"_s, u"ZO Data Path"_s, u"/srv/zo"_s);
    // What was typed, and what came of it. (Any close without OK, as the close box, takes the cancel's path.)
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
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Start(kAll);
        data::ConnectionSettings& settings = data::Settings();
        settings.useLocalData = true;
        settings.mainDatabaseFile = u"/before/KS.mdb"_s;
        frmSetupLaptop& window = OpenWindow(!c.ok, true);  // a close without OK with Local shown
        EXPECT_EQ((QStringList{settings.zoDataPresent ? u"present"_s : u""_s, settings.zoDataPath,
                               settings.systemDatabaseFile, settings.systemConnectionString}),
                  (QStringList{u"present"_s, u"/srv/zo/"_s, u"/srv/zo/HVSYS.MDB"_s,
                               kJet + u"/srv/zo/HVSYS.MDB;Persist Security Info=False"_s}));

        std::istringstream in(c.typed);
        testing::internal::CaptureStderr();
        window.AskAtTerminal(in);
        const QString asked = QString::fromStdString(testing::internal::GetCapturedStderr());
        EXPECT_TRUE(
            asked.startsWith(u"== Select Laptop Directory ==\nRemote Data Directories: KS Data Directory "_s +
                             remote_ + u"\nLocal Data Directories: KS Data Directory "_s + local_ + u'\n'))
            << asked.toStdString();
        EXPECT_EQ(asked.contains(u"Please answer"_s), c.askedAgain) << asked.toStdString();

        const QString folder = c.local ? local_ : remote_;
        EXPECT_EQ(settings.useLocalData, c.ok && c.local);
        EXPECT_EQ((QStringList{settings.dataPath, settings.mainDatabaseFile}),
                  (QStringList{c.ok ? folder : local_, c.ok ? folder + u"KS.mdb"_s : u"/before/KS.mdb"_s}));
        if (c.ok) {
            EXPECT_EQ(
                (QStringList{settings.mainConnectionString, settings.listsDatabaseFile,
                             settings.usersDatabaseFile, settings.usersConnectionString,
                             settings.sandsDatabaseFile}),
                (QStringList{kJet + folder + u"KS.mdb;Persist Security Info=False;User ID=;Password=;"_s,
                             folder + u"KS_lists.mdb"_s, folder + u"KS_users.mdb"_s,
                             kJet + folder + u"KS_users.mdb;Persist Security Info=False"_s,
                             folder + u"KS_sands.mdb"_s}));
        }
        EXPECT_EQ(Origins(local_) + u' ' + Origins(remote_),
                  (c.refreshed ? u"remote/remote/remote/missing"_s : u"missing/missing/missing/missing"_s) +
                      u" remote/remote/remote/remote"_s);
        EXPECT_TRUE(answers_->shown.isEmpty()) << answers_->shown.join(u'\n').toStdString();
        EXPECT_TRUE(gfrmSetupLaptop.IsEmpty() && Screen::Forms().empty());
        Screen::DoEvents();
    }
}

const QString kMainStep = u"Copying Main Data Base... | "_s, kUsersStep = u"Copying Users Data Base... | "_s;
QString Replace(const QString& step, const QString& name) {
    return step + u"36 | This folder already contains a file named '"_s + name + u"'."_s;
}
const QString kCopyFailed =
    kUsersStep + u"65 | Copy failed with a code of 2. Press OK to do it the old fashioned way."_s;
const QString kInUse = kMainStep +
                       u"17 | File cannot be copied because it is in use.\nMake sure everyone has "
                       u"exitted KSProcessDisqualificationsQueue then press OK or press Cancel to exit."_s;

// A refresh to the local folder: the files in each folder before, whether another program holds the remote
// main file (the first box frees it, unless the program ends), the answers, the boxes ("<local>" and
// "<remote>" stand for the folders), the local files' origins afterwards, and whether the program ends (the
// progress then stays at the step of the last box).
// clang-format off
struct RefreshCase { const char* name; QStringList remote, local; bool busyMain; std::deque<int> answers;
                     QStringList boxes; QString origins; bool ends = false; };
const RefreshCase kRefreshCases[] = {
    {"ReplacesTheThreeLocalCopiesInOrder", kAll, kAll, false, {},
     {Replace(kMainStep, kAll[0]), Replace(kUsersStep, kAll[1]),
      Replace(u"Copying Select and Sort Data Base... | "_s, kAll[2])}, u"remote/remote/remote/local"_s},
    {"ACancelledCopyGoesOnWithTheNextFile", kAll, {kAll[0]}, false, {vbNo},
     {Replace(kMainStep, kAll[0]), kMainStep + u"64 | Copy of <remote>KS.mdb to <local>KS.mdb cancelled."_s},
     u"local/remote/remote/missing"_s},
    {"CancelInTheOldFashionedWaySkipsTheFile", {kAll[0], kAll[2]}, {}, false, {vbCancel}, {kCopyFailed},
     u"remote/missing/remote/missing"_s},
    {"AFailingPlainCopyEndsTheProgram", {kAll[0], kAll[2]}, {}, false, {vbOK},
     {kCopyFailed, kUsersStep + u"16 | Error #53 while trying to copy.\nFile not foundContact your System "
                   u"Administrator if this continues.\nTerminating application."_s},
     u"remote/missing/missing/missing"_s, true},
    {"OkCopiesABusyFileOnceItIsFree", kAll, {}, true, {vbOK}, {kInUse}, u"remote/remote/remote/missing"_s},
    {"CancelOnABusyFileEndsTheProgramAtOnce", kAll, {}, true, {vbOK, vbCancel}, {kInUse, kInUse},
     u"missing/missing/missing/missing"_s, true},
};
// clang-format on

// Catches a refresh that copies the wrong file, in the wrong order, or goes on or stops against the answers.
TEST_F(SetupLaptopTest, TheRefreshCopiesSkipsOrGivesUpAsThePersonAnswers) {
    for (const RefreshCase& c : kRefreshCases) {
        SCOPED_TRACE(c.name);
        Start(c.remote);
        MakeFiles(local_, c.local, u"local"_s);
        if (c.busyMain) {
            // An open file description of its own, whose lock the copy's own open and close cannot drop.
            holder_ = ::open(QFile::encodeName(remote_ + kAll[0]).constData(), O_RDWR | O_CLOEXEC);
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
        EXPECT_EQ(window.lblProgress->Caption(),
                  c.ends ? c.boxes.back().section(u" | "_s, 0, 0) : u"Refresh Complete"_s);
        EXPECT_EQ(window.IsLoaded(), c.ends);
        EXPECT_EQ(Screen::MousePointer(), c.ends ? vbHourglass : vbDefault);
        CloseWindow();
    }
}

// Catches a refresh that copies a database while an idle pooled session of the program still holds writes.
TEST_F(SetupLaptopTest, RefreshCopiesWhatThisProgramJustWrote) {
    MakeFiles(remote_, {kAll[1], kAll[2]}, u"remote"_s);
    ado::Connection connection;
    connection.Open(testsupport::NewJetDatabase(remote_, kAll[0]));
    connection.Execute(u"CREATE TABLE Origin (Name TEXT)"_s);
    connection.Execute(u"INSERT INTO Origin (Name) VALUES ('written just now')"_s);
    connection.Close();  // its session stays in the pool with the database open
    data::Settings().zoDataPresent = true;

    OpenWindow(true, true).cmdOK_Click();

    EXPECT_FALSE(data::Settings().zoDataPresent);  // no system database folder is stored
    EXPECT_EQ(testsupport::QueryRows(kJet + local_ + u"KS.mdb;"_s, u"SELECT Name FROM Origin"_s, {u"Name"_s}),
              std::vector<QStringList>{{u"written just now"_s}});
}

}  // namespace
