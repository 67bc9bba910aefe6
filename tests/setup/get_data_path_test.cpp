// The data-location dialog: its first activation, the lists that fill the data path, OK's rebuild of the
// settings, Cancel, the minimum size, and the dialog as AdoOpenConnection shows it.
#include "setup_fixture.h"

#include "ado/connection.h"
#include "data/connection_settings.h"
#include "data/open_connection.h"
#include "platform/screen.h"
#include "platform/settings.h"
#include "support/databases.h"

#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>

#include <ostream>

namespace {

using namespace platform;
using setuptest::kProductFiles;

bool IsOwnerWritable(const QString& path) {
    struct stat status {};
    return ::stat(QFile::encodeName(path).constData(), &status) == 0 && (status.st_mode & S_IWUSR) != 0;
}

void MakeReadOnly(const QString& path) {
    ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), 0444), 0) << path.toStdString();
}

using GetDataPathTest = setuptest::SetupTest;

struct ActivationCase {
    QString dbFile;
    QString reduced;
};

TEST_F(GetDataPathTest, FirstActivationReducesTheFileNameAndSetsTheCaptions) {
    const std::vector<ActivationCase> cases = {
        {QStringLiteral("KS.mdb"), QStringLiteral("KS.mdb")},
        {QStringLiteral("/srv/kestrane/data/KS_users.mdb"), QStringLiteral("KS_users.mdb")},
        {QStringLiteral("data/"), QStringLiteral("data/")},
        {QStringLiteral("/srv/data/"), QStringLiteral("data/")},
    };
    UseDrives({{QStringLiteral("c"), kDriveFixed}});
    for (const ActivationCase& c : cases) {
        SCOPED_TRACE(c.dbFile.toStdString());
        setup::GetDataPath& dialog = OpenDialog(c.dbFile);

        EXPECT_EQ(dialog.dbFile, c.reduced);
        EXPECT_EQ(dialog.dbApp, QStringLiteral("KS"));
        EXPECT_EQ(dialog.File1->Pattern(), c.reduced);
        EXPECT_EQ(dialog.Caption(),
                  QStringLiteral("Get ") + c.reduced + QStringLiteral(" Database Location"));
        EXPECT_EQ(
            dialog.Label1->Caption(),
            QStringLiteral("The ") + c.reduced +
                QStringLiteral(" file name will appear below when you have selected a directory in which "
                               "it exists."));
        EXPECT_EQ(dialog.Dir1->Path(), Folder(QStringLiteral("c")));

        // Later activations leave everything as it is.
        dialog.Hide();
        dialog.dbFile = QStringLiteral("/again/other.mdb");
        dialog.Show(vbModeless);
        EXPECT_EQ(dialog.dbFile, QStringLiteral("/again/other.mdb"));
        EXPECT_EQ(dialog.File1->Pattern(), c.reduced);
        dialog.Unload();
        platform::Screen::DoEvents();
    }
}

TEST_F(GetDataPathTest, TheDataPathIsAFolderOnlyWhileItHoldsTheWantedFile) {
    UseDrives({{QStringLiteral("c"), kDriveFixed}, {QStringLiteral("d"), kDriveFixed}});
    const QString withFile = Folder(QStringLiteral("c/data"));
    MakeFiles(withFile, {QStringLiteral("ks.MDB")});
    const QString withoutFile = Folder(QStringLiteral("c/empty"));
    MakeFiles(withoutFile, {QStringLiteral("KS_users.mdb")});
    MakeFiles(Folder(QStringLiteral("d")), {QStringLiteral("KS.mdb")});
    setup::GetDataPath& dialog = OpenDialog(QStringLiteral("KS.mdb"));

    dialog.Dir1->SetPath(withFile);
    EXPECT_EQ(dialog.txtDataPath->text(), withFile.chopped(1));
    EXPECT_EQ(dialog.File1->ListCount(), 1);

    dialog.Dir1->SetPath(withoutFile);
    EXPECT_EQ(dialog.txtDataPath->text(), QString());
    EXPECT_EQ(dialog.File1->ListCount(), 0);

    // A drive chosen in the drive list shows its root, with the root's trailing "/".
    dialog.Drive1->SetDrive(Folder(QStringLiteral("d")));
    EXPECT_EQ(dialog.Dir1->Path(), Folder(QStringLiteral("d")));
    EXPECT_EQ(dialog.txtDataPath->text(), Folder(QStringLiteral("d")));
}

// What OK leaves in the settings, for each kind of file the dialog was asked for.
struct OkCase {
    const char* name;
    QString dbFile;
    QString dbApp;
    std::vector<std::pair<QString, QString>> productSettings;  // application "dbApp" (or KS), section Data
    QString expectedMain;  // the main connection string afterwards; "<unchanged>" or "<access>"
    bool productBranch;    // false: only the system database's settings change
};

void PrintTo(const OkCase& c, std::ostream* os) {
    *os << c.name;
}

const QString kUnchanged = QStringLiteral("<unchanged>");
const QString kAccess = QStringLiteral("<access>");
const QString kBefore = QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=/before/KS.mdb;");

class OkTest : public setuptest::SetupTest, public ::testing::WithParamInterface<OkCase> {};

TEST_P(OkTest, RebuildsTheSettingsFromTheFolder) {
    const OkCase& c = GetParam();
    const QString product = c.dbApp.isEmpty() ? QStringLiteral("KS") : c.dbApp;
    UseDrives({{QStringLiteral("c"), kDriveFixed}});
    const QString folder = Folder(QStringLiteral("c/data"));
    const QStringList files = {product + QStringLiteral(".mdb"), product + QStringLiteral("_users.mdb"),
                               product + QStringLiteral("_lists.mdb"), product + QStringLiteral("_sands.mdb"),
                               QStringLiteral("HVSYS.MDB")};
    MakeFiles(folder, files);
    for (const QString& file : files)
        MakeReadOnly(folder + file);
    for (const auto& [key, value] : c.productSettings)
        SaveSetting(product, QStringLiteral("Data"), key, value);
    data::ConnectionSettings& settings = data::Settings();
    settings.mainConnectionString = kBefore;
    settings.dataPath = QStringLiteral("/before/");
    settings.zoDataPath = QStringLiteral("/zo-before/");
    setup::GetDataPath& dialog = OpenDialog(c.dbFile, c.dbApp);
    dialog.Dir1->SetPath(folder);
    dialog.txtDataPath->setText(folder.chopped(1));

    dialog.cmdOK_Click();

    EXPECT_FALSE(dialog.IsLoaded());
    EXPECT_TRUE(setup::gGetDataPath.IsEmpty());
    EXPECT_TRUE(Shown().isEmpty()) << Shown().join(QLatin1Char('\n')).toStdString();
    if (c.productBranch) {
        EXPECT_EQ(settings.dataPath, folder);
        EXPECT_EQ(settings.mainDatabaseFile, folder + product + QStringLiteral(".mdb"));
        EXPECT_EQ(settings.usersDatabaseFile, folder + product + QStringLiteral("_users.mdb"));
        EXPECT_EQ(settings.usersConnectionString,
                  QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=") + folder + product +
                      QStringLiteral("_users.mdb;Persist Security Info=False"));
        EXPECT_EQ(settings.listsDatabaseFile, folder + product + QStringLiteral("_lists.mdb"));
        EXPECT_EQ(settings.sandsDatabaseFile, folder + product + QStringLiteral("_sands.mdb"));
        EXPECT_EQ(settings.zoDataPath, QStringLiteral("/zo-before/"));
        const QString expectedMain = c.expectedMain == kUnchanged ? kBefore
                                     : c.expectedMain == kAccess
                                         ? data::AccessMainConnectionString(settings.mainDatabaseFile)
                                         : c.expectedMain;
        EXPECT_EQ(settings.mainConnectionString, expectedMain);
        EXPECT_EQ(GetSetting(product, QStringLiteral("Data"), product + QStringLiteral(" Data Path")),
                  folder);
        EXPECT_EQ(GetSetting(QStringLiteral("ZO"), QStringLiteral("Data"), QStringLiteral("ZO Data Path")),
                  QString());
        for (int i = 0; i < 4; ++i)
            EXPECT_TRUE(IsOwnerWritable(folder + files[i])) << files[i].toStdString();
        EXPECT_FALSE(IsOwnerWritable(folder + QStringLiteral("HVSYS.MDB")));
    } else {
        EXPECT_EQ(settings.zoDataPath, folder);
        EXPECT_EQ(settings.systemDatabaseFile, folder + QStringLiteral("hvsys.mdb"));
        EXPECT_EQ(settings.systemConnectionString,
                  QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=") + folder +
                      QStringLiteral("hvsys.mdb;Persist Security Info=False"));
        EXPECT_EQ(GetSetting(QStringLiteral("ZO"), QStringLiteral("Data"), QStringLiteral("ZO Data Path")),
                  folder);
        EXPECT_EQ(settings.dataPath, QStringLiteral("/before/"));
        EXPECT_EQ(settings.mainConnectionString, kBefore);
        EXPECT_EQ(GetSetting(QStringLiteral("KS"), QStringLiteral("Data"), QStringLiteral("KS Data Path")),
                  QString());
        EXPECT_TRUE(IsOwnerWritable(folder + QStringLiteral("HVSYS.MDB")));
        EXPECT_FALSE(IsOwnerWritable(folder + QStringLiteral("KS.mdb")));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, OkTest,
    ::testing::Values(
        OkCase{"MainDatabaseOnFiles", QStringLiteral("KS.mdb"), QString(), {}, kAccess, true},
        OkCase{"MainDatabaseNameInAnotherCase", QStringLiteral("ks.MDB"), QString(), {}, kAccess, true},
        OkCase{"UsersDatabaseKeepsTheMainString",
               QStringLiteral("KS_users.mdb"),
               QString(),
               {},
               kUnchanged,
               true},
        OkCase{"ServerWithIntegratedSecurity",
               QStringLiteral("KS.mdb"),
               QString(),
               {{QStringLiteral("Server Name"), QStringLiteral("/run/pg,5432")},
                {QStringLiteral("Trusted Connection"), QStringLiteral("Yes")}},
               QStringLiteral("Provider=SQLOLEDB.1;Integrated Security=SSPI;Data Source=/run/pg,5432;Persist "
                              "Security Info=False;Initial Catalog=Kestrane;"),
               true},
        OkCase{"ServerLoginByDefault",
               QStringLiteral("KS.mdb"),
               QString(),
               {{QStringLiteral("Server Name"), QStringLiteral("db1")},
                {QStringLiteral("Server User ID"), QStringLiteral("clerk")},
                {QStringLiteral("Server Password"), QStringLiteral("s;cret")}},
               QStringLiteral("Provider=SQLOLEDB.1;Data Source=db1;Persist Security Info=False;Initial "
                              "Catalog=Kestrane;UID=clerk;Pwd=s;cret;"),
               true},
        OkCase{"ServerOfTheSiblingProduct",
               QStringLiteral("BR.mdb"),
               QStringLiteral("BR"),
               {{QStringLiteral("Server Name"), QStringLiteral("db2")},
                {QStringLiteral("Trusted Connection"), QStringLiteral("No")}},
               QStringLiteral("Provider=SQLOLEDB.1;Data Source=db2;Persist Security Info=False;Initial "
                              "Catalog=Brellion;UID=;Pwd=;"),
               true},
        OkCase{"ServerOfAnUnknownProductHasNoCatalog",
               QStringLiteral("QQ.mdb"),
               QStringLiteral("QQ"),
               {{QStringLiteral("Server Name"), QStringLiteral("db3")},
                {QStringLiteral("Trusted Connection"), QStringLiteral("Yes")}},
               QStringLiteral("Provider=SQLOLEDB.1;Integrated Security=SSPI;Data Source=db3;Persist Security "
                              "Info=False;"),
               true},
        OkCase{"SystemDatabase", QStringLiteral("HVSYS.MDB"), QString(), {}, kUnchanged, false},
        OkCase{"SystemDatabaseInLowerCaseIsAProductFile",
               QStringLiteral("hvsys.mdb"),
               QString(),
               {},
               kUnchanged,
               true}),
    [](const ::testing::TestParamInfo<OkCase>& info) { return info.param.name; });

TEST_F(GetDataPathTest, OkWithoutAFolderRefusesToStoreIt) {
    UseDrives({{QStringLiteral("c"), kDriveFixed}});
    setup::GetDataPath& dialog = OpenDialog(QStringLiteral("KS.mdb"));
    dialog.txtDataPath->clear();

    dialog.cmdOK_Click();

    EXPECT_EQ(
        Shown(),
        QStringList{QStringLiteral("ERROR KS-4: Saving KS Data Path to registry failed with value of '/'.")});
    EXPECT_EQ(ShownBoxes()[0].buttons, vbOKOnly + vbCritical);
    EXPECT_EQ(data::Settings().dataPath, QStringLiteral("/"));
    EXPECT_EQ(data::Settings().mainDatabaseFile, QStringLiteral("/KS.mdb"));
    EXPECT_FALSE(QFileInfo::exists(SettingsFile(QStringLiteral("KS"))));
    EXPECT_FALSE(dialog.IsLoaded());
}

// Another window of the program, to see that Cancel unloads it too.
class OtherWindow : public platform::Form {};

TEST_F(GetDataPathTest, CancelTellsTheUserAndUnloadsEveryWindow) {
    UseDrives({{QStringLiteral("c"), kDriveFixed}});
    OtherWindow other;
    other.Load();
    other.Show();
    setup::GetDataPath& dialog = OpenDialog(QStringLiteral("KS.mdb"));

    dialog.cmdCancel_Click();

    ASSERT_EQ(ShownBoxes().size(), 1u);
    EXPECT_EQ(ShownBoxes()[0].text,
              QStringLiteral("This must be set up before you may use the application."));
    EXPECT_EQ(ShownBoxes()[0].title, QStringLiteral("Halvermoor Software Solutions Setup"));
    EXPECT_EQ(ShownBoxes()[0].buttons, vbOKOnly + vbCritical);
    EXPECT_TRUE(Screen::Forms().empty());
    EXPECT_TRUE(setup::gGetDataPath.IsEmpty());
}

TEST_F(GetDataPathTest, NeverSmallerThanItsDesignSize) {
    UseDrives({{QStringLiteral("c"), kDriveFixed}});
    setup::GetDataPath& dialog = OpenDialog(QStringLiteral("KS.mdb"));
    Screen::DoEvents();
    const QSize design = dialog.size();

    dialog.SetWidth(dialog.Width() / 2);
    dialog.SetHeight(dialog.Height() - 600);
    Screen::DoEvents();
    EXPECT_EQ(dialog.size(), design);

    dialog.SetWidth(dialog.Width() + 1500);
    Screen::DoEvents();
    EXPECT_EQ(dialog.width(), design.width() + 100);
}

// The dialog as the missing-file branch of AdoOpenConnection meets it: the folder chosen in the dialog is the
// one the next attempt opens.
TEST_F(GetDataPathTest, AFolderChosenForAMissingFileIsOpenedByTheNextAttempt) {
    UseDrives({{QStringLiteral("c"), kDriveFixed}});
    const QString folder = Folder(QStringLiteral("c/moved"));
    testsupport::NewJetDatabase(folder, QStringLiteral("KS.mdb"));
    MakeFiles(folder, {QStringLiteral("KS_users.mdb"), QStringLiteral("KS_sands.mdb")});
    data::Settings().mainConnectionString =
        data::AccessMainConnectionString(Folder(QStringLiteral("c/old")) + QStringLiteral("KS.mdb"));
    QStringList asked;
    data::SetDataLocationDialog([&](const QString& dbFile) {
        asked << dbFile;
        setup::GetDataPath& dialog = OpenDialog(dbFile);
        dialog.Dir1->SetPath(folder);
        dialog.cmdOK_Click();
    });

    ado::Connection connection;
    EXPECT_TRUE(data::AdoOpenConnection(connection, data::Database::Main, false));

    EXPECT_EQ(asked, QStringList{QStringLiteral("KS.mdb")});
    EXPECT_EQ(data::Settings().mainConnectionString,
              data::AccessMainConnectionString(folder + QStringLiteral("KS.mdb")));
    EXPECT_EQ(GetSetting(QStringLiteral("KS"), QStringLiteral("Data"), QStringLiteral("KS Data Path")),
              folder);
    connection.Close();
}

}  // namespace
