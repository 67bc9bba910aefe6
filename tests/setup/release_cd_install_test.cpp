// The release-CD installation on folder trees: a folder plays the release medium (a drive of the CD-ROM type)
// and another the workstation's fixed drive.
#include "setup_fixture.h"

#include "ado/connection.h"
#include "ado/recordset.h"
#include "data/connection_settings.h"
#include "data/open_connection.h"
#include "platform/application.h"
#include "platform/runtime_error.h"
#include "platform/screen.h"
#include "platform/settings.h"
#include "support/product_schema.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <QMouseEvent>
#include <QTimer>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <ostream>

namespace {

using namespace platform;

const QString kTitle = QStringLiteral("KSProcessDisqualificationsQueue");
const QString kInsert = QStringLiteral(
    "Insert your KSProcessDisqualificationsQueue release CD into your computer now.\r\rPress OK when you are "
    "ready to proceed.");
const QString kNotFound =
    QStringLiteral("KSProcessDisqualificationsQueue Release CD was not found. No files copied.");
const QString kInUse = QStringLiteral(
    "File cannot be copied because it is in use.\nMake sure everyone has exited "
    "KSProcessDisqualificationsQueue "
    "then press OK or press Cancel to exit.");

bool IsOwnerWritable(const QString& path) {
    struct stat status {};
    return ::stat(QFile::encodeName(path).constData(), &status) == 0 && (status.st_mode & S_IWUSR) != 0;
}

// An open file with a lock on it, as a program that works on the file holds it.
class HeldFile {
public:
    explicit HeldFile(const QString& path) : fd_(::open(QFile::encodeName(path).constData(), O_RDWR)) {
        struct flock lock {};
        lock.l_type = F_WRLCK;
        lock.l_whence = SEEK_SET;
        EXPECT_EQ(::fcntl(fd_, F_OFD_SETLK, &lock), 0) << path.toStdString();
    }
    ~HeldFile() { Release(); }
    void Release() {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = -1;
    }

private:
    int fd_;
};

class ReleaseCdTest : public setuptest::SetupTest {
protected:
    void SetUp() override {
        UseDrives({{QStringLiteral("c"), kDriveFixed}, {QStringLiteral("cd"), kDriveCdRom}});
        productFolder_ = Folder(QStringLiteral("c")) + QStringLiteral("Halvermoor Software/KS/");
        systemFolder_ = Folder(QStringLiteral("c")) + QStringLiteral("Halvermoor Software/ZO/");
    }

    // The release medium's folder of a product's initial data files, made on the drive "cd".
    QString ReleaseFolder(const QString& product, const QString& drive = QStringLiteral("cd")) {
        return Folder(drive + QStringLiteral("/") + kTitle + QStringLiteral(" Release/") + product +
                      QStringLiteral(" Initialized Data Files"));
    }
    // The files of a release medium as a CD holds them: real databases, read-only.
    void BurnReleaseCd(const QString& drive = QStringLiteral("cd")) {
        const QString ks = ReleaseFolder(QStringLiteral("KS"), drive);
        testsupport::NewProductDatabase(testsupport::Engine::Jet, ks, QStringLiteral("KS.MDB"));
        testsupport::NewProductDatabase(testsupport::Engine::Jet, ks, QStringLiteral("KS_USERS.MDB"));
        testsupport::NewProductDatabase(testsupport::Engine::Jet, ks, QStringLiteral("KS_SANDS.MDB"));
        testsupport::NewProductDatabase(testsupport::Engine::Jet, ReleaseFolder(QStringLiteral("ZO"), drive),
                                        QStringLiteral("HVSYS.MDB"));
        // The engine keeps what it wrote in its log until the last connection closes.
        ado::ClearConnectionPool();
        for (const QString& folder : {ks, ReleaseFolder(QStringLiteral("ZO"), drive)}) {
            for (const QString& file : QDir(folder).entryList(QDir::Files))
                ::chmod(QFile::encodeName(folder + file).constData(), 0444);
        }
    }
    setup::GetDataPath& Dialog() { return OpenDialog(QStringLiteral("KS.mdb")); }
    QString StoredPath(const QString& application) {
        return GetSetting(application, QStringLiteral("Data"), application + QStringLiteral(" Data Path"));
    }

    QString productFolder_;
    QString systemFolder_;
};

TEST_F(ReleaseCdTest, FromAnEmptyWorkstationInstallsTheFilesAndTheNextAttemptOpensThem) {
    BurnReleaseCd();
    // The workstation's settings name the product's folder of the fixed tree, where nothing is yet.
    data::ConnectionSettings& settings = data::Settings();
    settings.mainConnectionString =
        data::AccessMainConnectionString(productFolder_ + QStringLiteral("KS.mdb"));
    int dialogs = 0;
    data::SetDataLocationDialog([&](const QString& dbFile) {
        ++dialogs;
        OpenDialog(dbFile).cmdCDInstall_Click();
    });

    ado::Connection connection;
    ASSERT_TRUE(data::AdoOpenConnection(connection, data::Database::Main, false));

    EXPECT_EQ(dialogs, 1);
    EXPECT_EQ(Shown(), QStringList{kInsert});
    EXPECT_TRUE(setup::gGetDataPath.IsEmpty());
    const QStringList installed = {
        productFolder_ + QStringLiteral("KS.mdb"), productFolder_ + QStringLiteral("KS_users.mdb"),
        productFolder_ + QStringLiteral("KS_sands.mdb"), systemFolder_ + QStringLiteral("HVSYS.MDB")};
    for (const QString& file : installed) {
        EXPECT_TRUE(QFileInfo(file).isFile()) << file.toStdString();
        EXPECT_TRUE(IsOwnerWritable(file)) << file.toStdString();
    }
    EXPECT_EQ(settings.dataPath, productFolder_);
    EXPECT_EQ(settings.mainDatabaseFile, installed[0]);
    EXPECT_EQ(settings.usersDatabaseFile, installed[1]);
    EXPECT_EQ(settings.usersConnectionString, data::JetFileConnectionString(installed[1]));
    EXPECT_EQ(settings.sandsDatabaseFile, installed[2]);
    EXPECT_EQ(settings.zoDataPath, systemFolder_);
    EXPECT_EQ(settings.systemDatabaseFile, installed[3]);
    EXPECT_EQ(settings.systemConnectionString, data::JetFileConnectionString(installed[3]));
    EXPECT_EQ(StoredPath(QStringLiteral("KS")), productFolder_);
    EXPECT_EQ(StoredPath(QStringLiteral("ZO")), systemFolder_);

    // The installed files are the product's databases, open for writing.
    connection.Execute(
        QStringLiteral("INSERT INTO Disqualifications_Queue (Table_Name, Table_ID, Creation_Date) "
                       "VALUES ('Agencies', 1, '2024-03-01 09:00:00')"));
    ado::Recordset queue;
    queue.Open(QStringLiteral("SELECT * FROM Disqualifications_Queue"), connection);
    EXPECT_FALSE(queue.Eof());
    queue.Close();
    connection.Close();
    ado::Connection users;
    EXPECT_TRUE(data::AdoOpenConnection(users, data::Database::Users, false));
    users.Close();
}

TEST_F(ReleaseCdTest, AnInstallElsewhereLeadsToTheDialogAgainWhereOkTakesTheInstalledFolder) {
    BurnReleaseCd();
    data::ConnectionSettings& settings = data::Settings();
    settings.mainConnectionString =
        data::AccessMainConnectionString(Folder(QStringLiteral("c/old")) + QStringLiteral("KS.mdb"));
    // The program's main window stays loaded while the dialog comes and goes.
    platform::Form mainWindow;
    mainWindow.Show();
    QStringList steps;
    data::SetDataLocationDialog([&](const QString& dbFile) {
        setup::GetDataPath& dialog = OpenDialog(dbFile);
        if (steps.isEmpty()) {
            steps << QStringLiteral("cd");
            dialog.cmdCDInstall_Click();
        } else {
            steps << QStringLiteral("ok");
            dialog.Dir1->SetPath(productFolder_);
            dialog.cmdOK_Click();
        }
    });

    ado::Connection connection;
    EXPECT_TRUE(data::AdoOpenConnection(connection, data::Database::Main, false));

    EXPECT_EQ(steps, (QStringList{QStringLiteral("cd"), QStringLiteral("ok")}));
    EXPECT_EQ(settings.mainConnectionString,
              data::AccessMainConnectionString(productFolder_ + QStringLiteral("KS.mdb")));
    connection.Close();
}

TEST_F(ReleaseCdTest, CancelledCopyOfAProductFileStopsTheInstall) {
    BurnReleaseCd();
    MakeFiles(productFolder_, {QStringLiteral("KS_users.mdb")});
    Answer({vbOK, vbNo});
    setup::GetDataPath& dialog = Dialog();

    dialog.cmdCDInstall_Click();

    const QStringList shown = Shown();
    ASSERT_EQ(shown.size(), 3) << shown.join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(
        shown[1].startsWith(QStringLiteral("This folder already contains a file named 'KS_users.mdb'.")));
    EXPECT_EQ(shown[2], QStringLiteral("Copy of ") + ReleaseFolder(QStringLiteral("KS")) +
                            QStringLiteral("KS_USERS.MDB to ") + productFolder_ +
                            QStringLiteral("KS_users.mdb cancelled."));
    EXPECT_EQ(ShownBoxes()[2].buttons, vbOKOnly + vbInformation);
    EXPECT_TRUE(dialog.IsLoaded());
    EXPECT_TRUE(dialog.cmdOK->isEnabled());
    EXPECT_EQ(data::Settings().mainDatabaseFile, productFolder_ + QStringLiteral("KS.mdb"));
    EXPECT_FALSE(QFileInfo::exists(productFolder_ + QStringLiteral("KS_sands.mdb")));
    EXPECT_FALSE(QFileInfo::exists(systemFolder_));
    EXPECT_EQ(StoredPath(QStringLiteral("KS")), QString());
    EXPECT_EQ(Screen::MousePointer(), vbHourglass);
}

TEST_F(ReleaseCdTest, CancelledCopyOfTheSystemDatabaseDoesNotStopIt) {
    BurnReleaseCd();
    MakeFiles(systemFolder_, {QStringLiteral("HVSYS.MDB")});
    Answer({vbOK, vbNo});
    setup::GetDataPath& dialog = Dialog();

    dialog.cmdCDInstall_Click();

    const QStringList shown = Shown();
    ASSERT_EQ(shown.size(), 3) << shown.join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(shown[2], QStringLiteral("Copy of ") + ReleaseFolder(QStringLiteral("ZO")) +
                            QStringLiteral("HVSYS.MDB to ") + systemFolder_ +
                            QStringLiteral("HVSYS.MDB cancelled."));
    EXPECT_FALSE(dialog.IsLoaded());
    EXPECT_EQ(StoredPath(QStringLiteral("KS")), productFolder_);
    EXPECT_EQ(StoredPath(QStringLiteral("ZO")), QString());
    EXPECT_EQ(data::Settings().dataPath, productFolder_);
    EXPECT_EQ(data::Settings().zoDataPath, QString());
    EXPECT_EQ(Screen::MousePointer(), vbDefault);
}

TEST_F(ReleaseCdTest, DecliningThePlainCopyOfTheLastFilesLeavesTheDialogOpen) {
    BurnReleaseCd();
    QFile::remove(ReleaseFolder(QStringLiteral("KS")) + QStringLiteral("KS_SANDS.MDB"));
    QFile::remove(ReleaseFolder(QStringLiteral("ZO")) + QStringLiteral("HVSYS.MDB"));
    Answer({vbOK, vbCancel, vbCancel});
    setup::GetDataPath& dialog = Dialog();

    dialog.cmdCDInstall_Click();

    const QString failed =
        QStringLiteral("Copy failed with a code of 2. Press OK to do it the old fashioned way.");
    EXPECT_EQ(Shown(), (QStringList{kInsert, failed, failed}));
    EXPECT_EQ(ShownBoxes()[1].buttons, vbOKCancel + vbInformation);
    EXPECT_TRUE(dialog.IsLoaded());
    EXPECT_EQ(StoredPath(QStringLiteral("KS")), QString());
    EXPECT_TRUE(QFileInfo::exists(productFolder_ + QStringLiteral("KS_users.mdb")));
    EXPECT_EQ(data::Settings().usersDatabaseFile, productFolder_ + QStringLiteral("KS_users.mdb"));
}

TEST_F(ReleaseCdTest, ABusyFileIsAskedAgainOnOkAndCancelEndsTheProgram) {
    BurnReleaseCd();
    const QString source = ReleaseFolder(QStringLiteral("KS")) + QStringLiteral("KS.MDB");
    ::chmod(QFile::encodeName(source).constData(), 0644);
    HeldFile held(source);
    Answer({vbOK, vbOK, vbCancel});
    setup::GetDataPath& dialog = Dialog();

    EXPECT_THROW(dialog.cmdCDInstall_Click(), platform::EndProgram);

    EXPECT_EQ(Shown(), (QStringList{kInsert, kInUse, kInUse}));
    EXPECT_EQ(ShownBoxes()[1].buttons, vbOKCancel + vbCritical);
    EXPECT_FALSE(QFileInfo::exists(productFolder_ + QStringLiteral("KS.mdb")));
}

// Presses button as a person does with the mouse: a press and a release over its middle, through the event
// queue.
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
    const QString source = ReleaseFolder(QStringLiteral("KS")) + QStringLiteral("KS.MDB");
    ::chmod(QFile::encodeName(source).constData(), 0644);
    HeldFile held(source);
    SetMessageBoxAnswerer(nullptr);
    data::SetDataLocationDialog(setup::ShowGetDataPath);
    data::Settings().mainConnectionString =
        data::AccessMainConnectionString(productFolder_ + QStringLiteral("KS.mdb"));

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
    EXPECT_FALSE(QFileInfo::exists(productFolder_ + QStringLiteral("KS.mdb")));
}

// Answers OK to every box, and frees the held file when asked about it.
class FreeingAnswerer : public MessageBoxAnswerer {
public:
    explicit FreeingAnswerer(HeldFile& held) : held_(held) {}
    int Answer(const MessageBoxRequest& request) override {
        texts << request.text;
        if (request.text == kInUse)
            held_.Release();
        return DefaultAnswer(request.buttons);
    }
    QStringList texts;

private:
    HeldFile& held_;
};

TEST_F(ReleaseCdTest, ABusyFileFreedBeforeOkIsCopied) {
    BurnReleaseCd();
    const QString source = ReleaseFolder(QStringLiteral("KS")) + QStringLiteral("KS.MDB");
    ::chmod(QFile::encodeName(source).constData(), 0644);
    HeldFile held(source);
    auto answers = std::make_shared<FreeingAnswerer>(held);
    SetMessageBoxAnswerer(answers);
    setup::GetDataPath& dialog = Dialog();

    dialog.cmdCDInstall_Click();

    EXPECT_EQ(answers->texts, (QStringList{kInsert, kInUse}));
    EXPECT_TRUE(QFileInfo::exists(productFolder_ + QStringLiteral("KS.mdb")));
    EXPECT_TRUE(setup::gGetDataPath.IsEmpty());
}

// Which CD-ROM drive holds the release files.
struct MediumCase {
    const char* name;
    std::vector<platform::Drive> drives;  // below the test's folder
    QStringList burnt;                    // drives holding the release files
    QStringList upperCaseNames;           // drives whose release files are named in upper case throughout
    std::deque<int> answers;              // after the insert question
    QStringList boxes;                    // after the insert question
    QString installedFrom;                // the drive whose files were installed, empty for none
};

void PrintTo(const MediumCase& c, std::ostream* os) {
    *os << c.name;
}

class ReleaseMediumTest : public setuptest::SetupTest, public ::testing::WithParamInterface<MediumCase> {};

TEST_P(ReleaseMediumTest, UsesTheFirstCdRomDriveThatHoldsTheReleaseFiles) {
    const MediumCase& c = GetParam();
    std::vector<platform::Drive> drives = {{QStringLiteral("c"), kDriveFixed}};
    drives.insert(drives.end(), c.drives.begin(), c.drives.end());
    UseDrives(drives);
    for (const QString& drive : c.burnt) {
        const QString folder = Folder(drive + QStringLiteral("/") + kTitle +
                                      QStringLiteral(" Release/KS Initialized Data Files"));
        MakeFiles(folder,
                  {QStringLiteral("KS.MDB"), QStringLiteral("KS_USERS.MDB"), QStringLiteral("KS_SANDS.MDB")});
        QFile marker(folder + QStringLiteral("KS_SANDS.MDB"));
        marker.open(QIODevice::WriteOnly);
        marker.write(drive.toUtf8());
    }
    for (const QString& drive : c.upperCaseNames) {
        const QString folder = Folder(drive + QStringLiteral("/") + kTitle.toUpper() +
                                      QStringLiteral(" RELEASE/KS INITIALIZED DATA FILES"));
        MakeFiles(folder,
                  {QStringLiteral("ks.mdb"), QStringLiteral("ks_users.mdb"), QStringLiteral("ks_sands.mdb")});
        QFile marker(folder + QStringLiteral("ks_sands.mdb"));
        marker.open(QIODevice::WriteOnly);
        marker.write(drive.toUtf8());
    }
    // A drive without a disc has no folder; a drive root that is a link to itself cannot be read.
    QDir(Env().Dir() + QStringLiteral("/nodisc")).removeRecursively();
    const QString loop = Env().Dir() + QStringLiteral("/loop");
    QDir(loop).removeRecursively();
    QFile::link(loop, loop);
    Answer({vbOK});
    for (int answer : c.answers)
        Env().Answers().Push(answer);
    setup::GetDataPath& dialog = OpenDialog(QStringLiteral("KS.mdb"));

    dialog.cmdCDInstall_Click();

    const QStringList expected = QStringList{kInsert} + c.boxes;
    QStringList shown = Shown();
    // The system database is not on these media: its copy fails and its plain copy is declined.
    shown.removeAll(QStringLiteral("Copy failed with a code of 2. Press OK to do it the old fashioned way."));
    EXPECT_EQ(shown, expected);
    QFile installed(Folder(QStringLiteral("c")) + QStringLiteral("Halvermoor Software/KS/KS_sands.mdb"));
    if (c.installedFrom.isEmpty()) {
        EXPECT_FALSE(installed.exists());
        EXPECT_TRUE(dialog.IsLoaded());
    } else {
        ASSERT_TRUE(installed.open(QIODevice::ReadOnly));
        EXPECT_EQ(QString::fromUtf8(installed.readAll()), c.installedFrom);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ReleaseMediumTest,
    ::testing::Values(MediumCase{"FirstOfTwoMedia",
                                 {{QStringLiteral("d"), kDriveCdRom}, {QStringLiteral("e"), kDriveCdRom}},
                                 {QStringLiteral("d"), QStringLiteral("e")},
                                 {},
                                 {vbCancel},
                                 {},
                                 QStringLiteral("d")},
                      MediumCase{
                          "AnEmptyDriveIsPassedOverSilently",
                          {{QStringLiteral("nodisc"), kDriveCdRom}, {QStringLiteral("e"), kDriveCdRom}},
                          {QStringLiteral("e")},
                          {},
                          {vbCancel},
                          {},
                          QStringLiteral("e")},
                      MediumCase{"NamesOnTheMediumInAnyCase",
                                 {{QStringLiteral("e"), kDriveCdRom}},
                                 {},
                                 {QStringLiteral("e")},
                                 {vbCancel},
                                 {},
                                 QStringLiteral("e")},
                      MediumCase{"OnlyCdRomDrivesAreMedia",
                                 {{QStringLiteral("d"), kDriveFixed}, {QStringLiteral("e"), kDriveCdRom}},
                                 {QStringLiteral("d")},
                                 {},
                                 {},
                                 {kNotFound},
                                 QString()},
                      MediumCase{"AnUnreadableDriveIsAskedAboutThenPassedOver",
                                 {{QStringLiteral("loop"), kDriveCdRom}},
                                 {},
                                 {},
                                 {vbOK, vbCancel},
                                 {QStringLiteral("Error: 75\r\rPath/File access error"),
                                  QStringLiteral("Error: 75\r\rPath/File access error"), kNotFound},
                                 QString()}),
    [](const ::testing::TestParamInfo<MediumCase>& info) { return info.param.name; });

TEST_F(ReleaseCdTest, CancelAtTheInsertQuestionDoesNothing) {
    BurnReleaseCd();
    Answer({vbCancel});
    setup::GetDataPath& dialog = Dialog();

    dialog.cmdCDInstall_Click();

    EXPECT_EQ(Shown(), QStringList{kInsert});
    EXPECT_TRUE(dialog.IsLoaded());
    EXPECT_FALSE(QFileInfo::exists(productFolder_));
}

TEST_F(ReleaseCdTest, TheSystemProductInstallsItsSystemDatabaseAsItsMainFile) {
    const QString zo = ReleaseFolder(QStringLiteral("ZO"));
    MakeFiles(zo, {QStringLiteral("ZO.MDB"), QStringLiteral("HVSYS.MDB"), QStringLiteral("ZO_USERS.MDB"),
                   QStringLiteral("ZO_SANDS.MDB")});
    setup::GetDataPath& dialog = OpenDialog(QStringLiteral("HVSYS.MDB"), QStringLiteral("ZO"));

    dialog.cmdCDInstall_Click();

    EXPECT_EQ(Shown(), QStringList{kInsert});
    EXPECT_FALSE(dialog.IsLoaded());
    EXPECT_EQ(QDir(systemFolder_).entryList(QDir::Files),
              (QStringList{QStringLiteral("HVSYS.MDB"), QStringLiteral("ZO_sands.mdb"),
                           QStringLiteral("ZO_users.mdb")}));
    EXPECT_EQ(data::Settings().mainDatabaseFile, systemFolder_ + QStringLiteral("HVSYS.MDB"));
    EXPECT_EQ(data::Settings().dataPath, systemFolder_);
    EXPECT_EQ(data::Settings().systemDatabaseFile, QString());
    EXPECT_EQ(StoredPath(QStringLiteral("ZO")), systemFolder_);
}

}  // namespace
