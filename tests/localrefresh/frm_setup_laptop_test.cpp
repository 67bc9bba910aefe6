// The local-refresh window on real folders: what it shows, what closing it does to the program-wide
// connection settings, and which database files its refresh copies, skips or gives up on.
#include "localrefresh/frm_setup_laptop.h"
#include "ado/connection.h"
#include "ado/provider.h"
#include "ado/recordset.h"
#include "data/connection_settings.h"
#include "platform/msgbox.h"
#include "platform/runtime_error.h"
#include "platform/screen.h"
#include "platform/settings.h"
#include "support/databases.h"
#include "support/program_environment.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <ostream>
#include <sstream>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

// Failures show texts as text.
static void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}

namespace {

using localrefresh::frmSetupLaptop;
using localrefresh::gfrmSetupLaptop;

const QString kMain = u"KS.mdb"_s;
const QString kUsers = u"KS_users.mdb"_s;
const QString kLists = u"KS_lists.mdb"_s;
const QString kSands = u"KS_sands.mdb"_s;

// A message box as the refresh showed it, with what lblProgress said meanwhile.
struct ShownBox {
    QString text;
    int buttons = 0;
    QString progress;
};

// Answers from a script (the default button once it runs out), notes each box with the window's progress
// text, and lets a test act while a box is up.
class RefreshAnswerer : public platform::MessageBoxAnswerer {
public:
    int Answer(const platform::MessageBoxRequest& request) override {
        const frmSetupLaptop* window = gfrmSetupLaptop.IsEmpty() ? nullptr : gfrmSetupLaptop.Get();
        shown.push_back({request.text, request.buttons, window ? window->lblProgress->Caption() : QString()});
        if (onBox)
            onBox(request);
        if (answers.empty())
            return platform::DefaultAnswer(request.buttons);
        const int answer = answers.front();
        answers.pop_front();
        return answer;
    }

    std::deque<int> answers;
    std::function<void(const platform::MessageBoxRequest&)> onBox;
    std::vector<ShownBox> shown;
};

// A file as it is on disk: its modification time and its bytes.
struct FileState {
    QDateTime modified;
    QByteArray bytes;
    bool operator==(const FileState&) const = default;
};

std::map<QString, FileState> FolderState(const QString& folder) {
    std::map<QString, FileState> state;
    for (const QFileInfo& info : QDir(folder).entryInfoList(QDir::Files | QDir::Hidden)) {
        QFile file(info.filePath());
        EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << qPrintable(info.filePath());
        state[info.fileName()] = {info.lastModified(), file.readAll()};
    }
    return state;
}

class SetupLaptopTest : public ::testing::Test {
protected:
    void SetUp() override {
        ado::provider::RegisterBuiltInProviders();
        answers_ = std::make_shared<RefreshAnswerer>();
        platform::SetMessageBoxAnswerer(answers_);
        remote_ = Folder(u"remote"_s);
        local_ = Folder(u"local"_s);
        platform::SaveSetting(u"KS"_s, u"Data"_s, u"KS Data Path"_s, local_);
        platform::SaveSetting(u"KS"_s, u"Data"_s, u"Remote KS Data Path"_s, remote_);
    }
    void TearDown() override {
        // A window whose refresh ended the program is still loaded: it closes now without copying again.
        if (!gfrmSetupLaptop.IsEmpty() && gfrmSetupLaptop->IsLoaded()) {
            gfrmSetupLaptop->chkCopy->setChecked(false);
            gfrmSetupLaptop->Unload();
        }
        gfrmSetupLaptop.Reset();
        platform::Screen::DoEvents();
    }

    // A folder below the test's own, created, ending with "/".
    QString Folder(const QString& name) {
        const QString path = env_.Dir() + u'/' + name + u'/';
        EXPECT_TRUE(QDir().mkpath(path));
        return path;
    }
    // Empties both folders, for the next case of a table.
    void EmptyFolders() {
        for (const QString& folder : {remote_, local_}) {
            QDir(folder).removeRecursively();
            QDir().mkpath(folder);
        }
    }
    // A database file folder + name whose one row in table Origin says where it came from.
    static void MakeDatabase(const QString& folder, const QString& name, const QString& origin) {
        ado::Connection connection;
        connection.Open(testsupport::NewJetDatabase(folder, name));
        connection.Execute(u"CREATE TABLE Origin (Name TEXT)"_s);
        connection.Execute(u"INSERT INTO Origin (Name) VALUES ('"_s + origin + u"')"_s);
        connection.Close();
        ado::ClearConnectionPool();
    }
    // The four product databases in folder, each saying "<origin> <file name>".
    static void MakeProductDatabases(const QString& folder, const QString& origin) {
        for (const QString& name : {kMain, kUsers, kLists, kSands})
            MakeDatabase(folder, name, origin + u' ' + name);
    }
    // The rows of table Origin in the database at path, joined; "missing" when there is no file.
    static QString OriginOf(const QString& path) {
        if (!QFileInfo::exists(path))
            return u"missing"_s;
        QStringList names;
        {
            ado::Connection connection;
            connection.Open(u"Provider=Microsoft.Jet.OLEDB.4.0;Data Source="_s + path + u';');
            ado::Recordset rows;
            rows.Open(u"SELECT Name FROM Origin ORDER BY Name"_s, connection);
            for (; !rows.Eof(); rows.MoveNext())
                names << rows(u"Name"_s).ToString();
            rows.Close();
            connection.Close();
        }
        ado::ClearConnectionPool();
        return names.join(u", "_s);
    }
    // Loads the window and shows it without modality, as a person sees it before choosing.
    frmSetupLaptop& OpenWindow() {
        frmSetupLaptop& window = *gfrmSetupLaptop;
        window.Show(platform::vbModeless);
        return window;
    }
    // Opens the window, chooses the folder and the refresh, and presses OK.
    frmSetupLaptop& ChooseAndPressOk(bool local, bool refresh) {
        frmSetupLaptop& window = OpenWindow();
        (local ? window.optLocal : window.optRemote)->setChecked(true);
        window.chkCopy->setChecked(refresh);
        window.cmdOK_Click();
        return window;
    }
    QStringList ShownTexts() const {
        QStringList texts;
        for (const ShownBox& box : answers_->shown)
            texts << box.text;
        return texts;
    }

    testsupport::ProgramEnvironment env_;
    std::shared_ptr<RefreshAnswerer> answers_;
    QString remote_;
    QString local_;
};

struct FolderCase {
    const char* what;
    QString stored;  // "-" leaves the key out
    QString shown;
};

TEST_F(SetupLaptopTest, ShowsBothFoldersEndingWithTheSeparatorAndKeepsTheLocalOne) {
    const std::vector<FolderCase> cases = {
        {"a folder without its separator", u"/srv/ks"_s, u"/srv/ks/"_s},
        {"a folder with its separator", u"/srv/ks/"_s, u"/srv/ks/"_s},
        {"an empty value", QString(), u"/"_s},
    };
    for (const FolderCase& c : cases) {
        SCOPED_TRACE(c.what);
        platform::SaveSetting(u"KS"_s, u"Data"_s, u"KS Data Path"_s, c.stored);
        platform::SaveSetting(u"KS"_s, u"Data"_s, u"Remote KS Data Path"_s, c.stored + u"/remote"_s);
        frmSetupLaptop& window = OpenWindow();
        EXPECT_EQ(window.Caption(), u"Select Laptop Directory"_s);
        EXPECT_EQ(window.lblPrompts[0]->Caption(), u"KS Data Directory"_s);
        EXPECT_EQ(window.lblPrompts[1]->Caption(), u"KS Data Directory"_s);
        EXPECT_EQ(window.lblLocalKSDirectory->Caption(), c.shown);
        EXPECT_EQ(window.lblRemoteKSDirectory->Caption(), c.stored + u"/remote/"_s);
        EXPECT_TRUE(window.optRemote->isChecked());
        EXPECT_FALSE(window.chkCopy->isChecked());
        window.close();
        // The data path is the shown folder, also after the window closed without OK.
        EXPECT_EQ(data::Settings().dataPath, c.shown);
        platform::Screen::DoEvents();
    }
}

TEST_F(SetupLaptopTest, SiblingDataFolderSetsTheSystemDatabase) {
    struct SiblingCase {
        const char* what;
        QString stored;
        bool present;
        QString path;
        QString file;
    };
    const std::vector<SiblingCase> cases = {
        {"a sibling folder", u"/srv/zo"_s, true, u"/srv/zo/"_s, u"/srv/zo/HVSYS.MDB"_s},
        {"no sibling folder", QString(), false, u"/old/zo/"_s, u"/old/zo/HVSYS.MDB"_s},
    };
    for (const SiblingCase& c : cases) {
        SCOPED_TRACE(c.what);
        data::ConnectionSettings& settings = data::Settings();
        settings.zoDataPresent = !c.present;
        settings.zoDataPath = u"/old/zo/"_s;
        settings.systemDatabaseFile = u"/old/zo/HVSYS.MDB"_s;
        settings.systemConnectionString = data::JetFileConnectionString(settings.systemDatabaseFile);
        platform::SaveSetting(u"ZO"_s, u"Data"_s, u"ZO Data Path"_s, c.stored);
        OpenWindow().close();
        platform::Screen::DoEvents();
        EXPECT_EQ(settings.zoDataPresent, c.present);
        EXPECT_EQ(settings.zoDataPath, c.path);
        EXPECT_EQ(settings.systemDatabaseFile, c.file);
        EXPECT_EQ(settings.systemConnectionString, u"Provider=Microsoft.Jet.OLEDB.4.0;Data Source="_s +
                                                       c.file + u";Persist Security Info=False"_s);
    }
}

TEST_F(SetupLaptopTest, ClosingWithoutOkSwitchesToRemoteAndKeepsTheDataPath) {
    MakeProductDatabases(remote_, u"remote"_s);
    MakeProductDatabases(local_, u"local"_s);
    data::ConnectionSettings& settings = data::Settings();
    settings.useLocalData = true;
    settings.mainDatabaseFile = u"/before/KS.mdb"_s;
    const auto before = FolderState(local_);

    frmSetupLaptop& window = OpenWindow();
    window.optLocal->setChecked(true);
    window.chkCopy->setChecked(true);
    window.close();

    EXPECT_FALSE(settings.useLocalData);
    EXPECT_EQ(settings.dataPath, local_);
    EXPECT_EQ(settings.mainDatabaseFile, u"/before/KS.mdb"_s);
    EXPECT_TRUE(gfrmSetupLaptop.IsEmpty());
    EXPECT_TRUE(platform::Screen::Forms().empty());
    EXPECT_EQ(FolderState(local_), before);
    EXPECT_TRUE(answers_->shown.empty());
}

TEST_F(SetupLaptopTest, OkWithoutRefreshOnlySwitchesTheSettings) {
    struct ChoiceCase {
        const char* what;
        bool local;
    };
    for (const ChoiceCase c : {ChoiceCase{"local", true}, ChoiceCase{"remote", false}}) {
        SCOPED_TRACE(c.what);
        EmptyFolders();
        MakeProductDatabases(remote_, u"remote"_s);
        MakeProductDatabases(local_, u"local"_s);
        const auto remoteBefore = FolderState(remote_);
        const auto localBefore = FolderState(local_);

        frmSetupLaptop& window = OpenWindow();
        const QString progress = window.lblProgress->Caption();
        (c.local ? window.optLocal : window.optRemote)->setChecked(true);
        window.cmdOK->click();

        const QString folder = c.local ? local_ : remote_;
        const data::ConnectionSettings& settings = data::Settings();
        EXPECT_EQ(settings.useLocalData, c.local);
        EXPECT_EQ(settings.dataPath, folder);
        EXPECT_EQ(settings.mainDatabaseFile, folder + kMain);
        EXPECT_EQ(settings.mainConnectionString,
                  u"Provider=Microsoft.Jet.OLEDB.4.0;Data Source="_s + folder +
                      u"KS.mdb;Persist Security Info=False;User ID=;Password=;"_s);
        EXPECT_EQ(settings.listsDatabaseFile, folder + kLists);
        EXPECT_EQ(settings.usersDatabaseFile, folder + kUsers);
        EXPECT_EQ(settings.usersConnectionString, u"Provider=Microsoft.Jet.OLEDB.4.0;Data Source="_s +
                                                      folder + u"KS_users.mdb;Persist Security Info=False"_s);
        EXPECT_EQ(settings.sandsDatabaseFile, folder + kSands);
        EXPECT_EQ(window.lblProgress->Caption(), progress);
        EXPECT_EQ(FolderState(remote_), remoteBefore);
        EXPECT_EQ(FolderState(local_), localBefore);
        EXPECT_TRUE(answers_->shown.empty());
        EXPECT_TRUE(gfrmSetupLaptop.IsEmpty());
        platform::Screen::DoEvents();
    }
}

TEST_F(SetupLaptopTest, RefreshReplacesTheThreeLocalCopiesInOrder) {
    MakeProductDatabases(remote_, u"remote"_s);
    MakeProductDatabases(local_, u"local"_s);

    frmSetupLaptop& window = ChooseAndPressOk(true, true);

    // Each copy asks before it replaces the older local copy; the answers are the default Yes.
    ASSERT_EQ(answers_->shown.size(), 3u) << qPrintable(ShownTexts().join(u"\n"_s));
    const QStringList progress = {u"Copying Main Data Base..."_s, u"Copying Users Data Base..."_s,
                                  u"Copying Select and Sort Data Base..."_s};
    const QStringList files = {kMain, kUsers, kSands};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(answers_->shown[i].progress, progress[i]);
        EXPECT_TRUE(answers_->shown[i].text.contains(local_ + files[i]))
            << qPrintable(answers_->shown[i].text);
    }
    EXPECT_EQ(window.lblProgress->Caption(), u"Refresh Complete"_s);
    EXPECT_EQ(platform::Screen::MousePointer(), platform::vbDefault);
    EXPECT_EQ(OriginOf(local_ + kMain), u"remote KS.mdb"_s);
    EXPECT_EQ(OriginOf(local_ + kUsers), u"remote KS_users.mdb"_s);
    EXPECT_EQ(OriginOf(local_ + kSands), u"remote KS_sands.mdb"_s);
    EXPECT_EQ(OriginOf(local_ + kLists), u"local KS_lists.mdb"_s);
    EXPECT_TRUE(data::Settings().useLocalData);
    EXPECT_EQ(data::Settings().dataPath, local_);
}

TEST_F(SetupLaptopTest, ListsDatabaseIsNeverCopied) {
    MakeProductDatabases(remote_, u"remote"_s);

    ChooseAndPressOk(true, true);

    EXPECT_TRUE(answers_->shown.empty()) << qPrintable(ShownTexts().join(u"\n"_s));
    EXPECT_EQ(QDir(local_).entryList(QDir::Files).join(u", "_s), u"KS.mdb, KS_sands.mdb, KS_users.mdb"_s);
    EXPECT_EQ(data::Settings().listsDatabaseFile, local_ + kLists);
}

TEST_F(SetupLaptopTest, CancelledCopyGoesOnWithTheNextFile) {
    MakeProductDatabases(remote_, u"remote"_s);
    MakeDatabase(local_, kMain, u"local KS.mdb"_s);
    answers_->answers = {platform::vbNo};  // do not replace the local KS.mdb

    frmSetupLaptop& window = ChooseAndPressOk(true, true);

    ASSERT_EQ(answers_->shown.size(), 2u) << qPrintable(ShownTexts().join(u"\n"_s));
    EXPECT_EQ(answers_->shown[1].text,
              u"Copy of "_s + remote_ + kMain + u" to "_s + local_ + kMain + u" cancelled."_s);
    EXPECT_EQ(answers_->shown[1].buttons, platform::vbOKOnly + platform::vbInformation);
    EXPECT_EQ(OriginOf(local_ + kMain), u"local KS.mdb"_s);
    EXPECT_EQ(OriginOf(local_ + kUsers), u"remote KS_users.mdb"_s);
    EXPECT_EQ(OriginOf(local_ + kSands), u"remote KS_sands.mdb"_s);
    EXPECT_EQ(window.lblProgress->Caption(), u"Refresh Complete"_s);
}

TEST_F(SetupLaptopTest, CancelInTheOldFashionedWaySkipsTheFile) {
    MakeDatabase(remote_, kMain, u"remote KS.mdb"_s);
    MakeDatabase(remote_, kSands, u"remote KS_sands.mdb"_s);  // the users database is missing
    answers_->answers = {platform::vbCancel};

    frmSetupLaptop& window = ChooseAndPressOk(true, true);

    ASSERT_EQ(answers_->shown.size(), 1u) << qPrintable(ShownTexts().join(u"\n"_s));
    EXPECT_EQ(answers_->shown[0].text,
              u"Copy failed with a code of 2. Press OK to do it the old fashioned way."_s);
    EXPECT_EQ(answers_->shown[0].buttons, platform::vbOKCancel + platform::vbInformation);
    EXPECT_EQ(answers_->shown[0].progress, u"Copying Users Data Base..."_s);
    EXPECT_EQ(OriginOf(local_ + kMain), u"remote KS.mdb"_s);
    EXPECT_EQ(OriginOf(local_ + kUsers), u"missing"_s);
    EXPECT_EQ(OriginOf(local_ + kSands), u"remote KS_sands.mdb"_s);
    EXPECT_EQ(window.lblProgress->Caption(), u"Refresh Complete"_s);
    EXPECT_TRUE(gfrmSetupLaptop.IsEmpty());
}

TEST_F(SetupLaptopTest, FailingPlainCopyEndsTheProgram) {
    MakeDatabase(remote_, kMain, u"remote KS.mdb"_s);
    MakeDatabase(remote_, kSands, u"remote KS_sands.mdb"_s);  // the users database is missing
    answers_->answers = {platform::vbOK};                     // do it the old fashioned way

    frmSetupLaptop& window = OpenWindow();
    window.optLocal->setChecked(true);
    window.chkCopy->setChecked(true);
    EXPECT_THROW(window.cmdOK_Click(), platform::EndProgram);

    ASSERT_EQ(answers_->shown.size(), 2u) << qPrintable(ShownTexts().join(u"\n"_s));
    EXPECT_EQ(answers_->shown[1].text,
              u"Error #53 while trying to copy.\nFile not foundContact your System Administrator if this "
              u"continues.\nTerminating application."_s);
    EXPECT_EQ(answers_->shown[1].buttons, platform::vbOKOnly + platform::vbCritical);
    EXPECT_EQ(OriginOf(local_ + kUsers), u"missing"_s);
    EXPECT_EQ(OriginOf(local_ + kSands), u"missing"_s);
    EXPECT_EQ(window.lblProgress->Caption(), u"Copying Users Data Base..."_s);
}

// A file in use: another program holds a lock on the remote main database, as a database engine does while
// it works on the file. The lock belongs to an open file description of its own, so that the copy's own
// opening and closing of the file cannot drop it.
class BusyFileTest : public SetupLaptopTest {
protected:
    void TearDown() override {
        Release();
        SetupLaptopTest::TearDown();
    }
    void HoldLock(const QString& file) {
        holder_ = ::open(QFile::encodeName(file).constData(), O_RDWR | O_CLOEXEC);
        ASSERT_GE(holder_, 0);
        struct flock lock {};
        lock.l_type = F_WRLCK;
        lock.l_whence = SEEK_SET;
        ASSERT_EQ(::fcntl(holder_, F_OFD_SETLK, &lock), 0);
    }
    void Release() {
        if (holder_ >= 0)
            ::close(holder_);
        holder_ = -1;
    }

    int holder_ = -1;
};

const QString kInUse =
    u"File cannot be copied because it is in use.\nMake sure everyone has exitted "
    u"KSProcessDisqualificationsQueue then press OK or press Cancel to exit."_s;

TEST_F(BusyFileTest, OkRetriesTheCopyOnceTheFileIsFree) {
    MakeProductDatabases(remote_, u"remote"_s);
    HoldLock(remote_ + kMain);
    answers_->onBox = [&](const platform::MessageBoxRequest&) { Release(); };
    answers_->answers = {platform::vbOK};

    frmSetupLaptop& window = ChooseAndPressOk(true, true);

    ASSERT_EQ(answers_->shown.size(), 1u) << qPrintable(ShownTexts().join(u"\n"_s));
    EXPECT_EQ(answers_->shown[0].text, kInUse);
    EXPECT_EQ(answers_->shown[0].buttons, platform::vbOKCancel + platform::vbCritical);
    EXPECT_EQ(OriginOf(local_ + kMain), u"remote KS.mdb"_s);
    EXPECT_EQ(OriginOf(local_ + kSands), u"remote KS_sands.mdb"_s);
    EXPECT_EQ(window.lblProgress->Caption(), u"Refresh Complete"_s);
}

TEST_F(BusyFileTest, CancelEndsTheProgramAtOnce) {
    MakeProductDatabases(remote_, u"remote"_s);
    HoldLock(remote_ + kMain);
    answers_->answers = {platform::vbOK, platform::vbCancel};

    frmSetupLaptop& window = OpenWindow();
    window.optLocal->setChecked(true);
    window.chkCopy->setChecked(true);
    EXPECT_THROW(window.cmdOK_Click(), platform::EndProgram);

    EXPECT_EQ(ShownTexts().join(u"\n--\n"_s), QStringList({kInUse, kInUse}).join(u"\n--\n"_s));
    EXPECT_EQ(OriginOf(local_ + kMain), u"missing"_s);
    EXPECT_EQ(OriginOf(local_ + kUsers), u"missing"_s);
    EXPECT_TRUE(window.IsLoaded());
}

TEST_F(SetupLaptopTest, RefreshCopiesWhatThisProgramJustWrote) {
    MakeProductDatabases(remote_, u"remote"_s);
    // The program's own connection is closed but its session stays in the pool with the database open.
    ado::Connection connection;
    connection.Open(u"Provider=Microsoft.Jet.OLEDB.4.0;Data Source="_s + remote_ + kMain + u';');
    connection.Execute(u"INSERT INTO Origin (Name) VALUES ('written just now')"_s);
    connection.Close();

    ChooseAndPressOk(true, true);

    EXPECT_EQ(OriginOf(local_ + kMain), u"remote KS.mdb, written just now"_s);
}

TEST_F(SetupLaptopTest, WindowNeverShrinksBelowItsDesignSize) {
    frmSetupLaptop& window = OpenWindow();
    const QSize design = window.size();
    struct ResizeCase {
        const char* what;
        QSize requested;
        QSize kept;
    };
    const std::vector<ResizeCase> cases = {
        {"narrower", {design.width() - 50, design.height() + 20}, {design.width(), design.height() + 20}},
        {"lower", {design.width() + 30, design.height() - 40}, {design.width() + 30, design.height()}},
        {"smaller", {10, 10}, design},
        {"larger", design + QSize(100, 60), design + QSize(100, 60)},
    };
    for (const ResizeCase& c : cases) {
        SCOPED_TRACE(c.what);
        window.resize(c.requested);
        EXPECT_EQ(window.size(), c.kept);
    }
}

struct TerminalCase {
    const char* what;
    std::string typed;
    bool okPressed;
    bool local;
    bool refreshed;
    bool askedAgain;
};

TEST_F(SetupLaptopTest, TerminalFormAsksAndPressesOk) {
    const std::vector<TerminalCase> cases = {
        {"local with a refresh", "local\nyes\n", true, true, true, false},
        {"first letters in any case", "L\nY\n", true, true, true, false},
        {"empty lines take what the window shows", "\n\n", true, false, false, false},
        {"remote without a refresh", "remote\nno\n", true, false, false, false},
        {"anything else asks again", "elsewhere\nlocal\nmaybe\nn\n", true, true, false, true},
        {"cancel at the folder", "cancel\n", false, false, false, false},
        {"cancel at the refresh", "local\nc\n", false, false, false, false},
        {"end of input", "local\n", false, false, false, false},
    };
    for (const TerminalCase& c : cases) {
        SCOPED_TRACE(c.what);
        EmptyFolders();
        MakeProductDatabases(remote_, u"remote"_s);
        data::Settings().useLocalData = true;
        data::Settings().mainDatabaseFile = u"/before/KS.mdb"_s;

        frmSetupLaptop& window = OpenWindow();
        std::istringstream in(c.typed);
        testing::internal::CaptureStderr();
        window.AskAtTerminal(in);
        const std::string questions = testing::internal::GetCapturedStderr();

        EXPECT_NE(questions.find("Remote Data Directories: KS Data Directory " + remote_.toStdString()),
                  std::string::npos)
            << questions;
        EXPECT_NE(questions.find("Local Data Directories: KS Data Directory " + local_.toStdString()),
                  std::string::npos)
            << questions;
        EXPECT_EQ(questions.find("Please answer") != std::string::npos, c.askedAgain) << questions;
        EXPECT_TRUE(gfrmSetupLaptop.IsEmpty());
        const data::ConnectionSettings& settings = data::Settings();
        EXPECT_EQ(settings.useLocalData, c.local);
        EXPECT_EQ(settings.mainDatabaseFile,
                  c.okPressed ? (c.local ? local_ : remote_) + kMain : u"/before/KS.mdb"_s);
        EXPECT_EQ(OriginOf(local_ + kMain), c.refreshed ? u"remote KS.mdb"_s : u"missing"_s);
        platform::Screen::DoEvents();
    }
}

}  // namespace
