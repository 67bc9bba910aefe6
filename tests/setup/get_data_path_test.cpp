// The data-location dialog: its first activation, the lists that fill the data path, OK's rebuild of the
// settings, and Cancel.
#include "setup_fixture.h"

#include "data/connection_settings.h"
#include "platform/screen.h"
#include "platform/settings.h"

#include <QFileInfo>

namespace {

using namespace platform;
using namespace Qt::StringLiterals;
using GetDataPathTest = setuptest::SetupTest;

// Catches a file name reduced wrongly, and captions that do not name it.
TEST_F(GetDataPathTest, FirstActivationReducesTheFileNameAndSetsTheCaptions) {
    UseDrives({{u"c"_s, kDriveFixed}});
    const std::pair<QString, QString> cases[] = {{u"KS.mdb"_s, u"KS.mdb"_s},
                                                 {u"/srv/kestrane/data/KS_users.mdb"_s, u"KS_users.mdb"_s},
                                                 {u"data/"_s, u"data/"_s},
                                                 {u"/srv/data/"_s, u"data/"_s}};
    for (const auto& [dbFile, reduced] : cases) {
        SCOPED_TRACE(dbFile.toStdString());
        setup::GetDataPath& dialog = OpenDialog(dbFile);
        EXPECT_EQ((QStringList{dialog.dbFile, dialog.dbApp, dialog.File1->Pattern(), dialog.Caption(),
                               dialog.Label1->Caption(), dialog.Dir1->Path()}),
                  (QStringList{reduced, u"KS"_s, reduced, u"Get "_s + reduced + u" Database Location"_s,
                               u"The "_s + reduced +
                                   u" file name will appear below when you have selected a "
                                   u"directory in which it exists."_s,
                               Folder(u"c"_s)}));
        dialog.Unload();
        Screen::DoEvents();
    }
}

// Catches a drive chosen but not shown. (The search table meets folders without the wanted file.)
TEST_F(GetDataPathTest, ChoosingADriveShowsItsRootAsTheDataPath) {
    UseDrives({{u"c"_s, kDriveFixed}, {u"d"_s, kDriveFixed}});
    MakeFiles(Folder(u"d"_s), {u"KS.mdb"_s});
    setup::GetDataPath& dialog = OpenDialog(u"KS.mdb"_s);
    dialog.Drive1->SetDrive(Folder(u"d"_s));  // a drive's root keeps its trailing "/"
    EXPECT_EQ((QStringList{dialog.Dir1->Path(), dialog.txtDataPath->text()}), QStringList(2, Folder(u"d"_s)));
}

// What OK leaves in the settings, for each kind of file the dialog was asked for: the file, the product
// (empty: KS), "key=value" settings in the product's Data section, the main connection string afterwards
// ("<DIR>" stands for the folder), and whether only the system database's settings change.
// clang-format off
struct OkCase { const char* name; QString dbFile, dbApp; QStringList productSettings; QString main; bool system; };
void PrintTo(const OkCase& c, std::ostream* os) { *os << c.name; }  // test names show the case by its name
// clang-format on

const QString kBefore = u"Provider=Microsoft.Jet.OLEDB.4.0;Data Source=/before/KS.mdb;"_s;
const QString kAccess =
    u"Provider=Microsoft.Jet.OLEDB.4.0;Data Source=<DIR>KS.mdb;Persist Security Info=False;User ID=;Password=;"_s;

// clang-format off
const OkCase kOkCases[] = {
    {"MainDatabaseOnFiles", u"KS.mdb"_s, {}, {}, kAccess, false},
    {"MainDatabaseNameInAnotherCase", u"ks.MDB"_s, {}, {}, kAccess, false},
    {"UsersDatabaseKeepsTheMainString", u"KS_users.mdb"_s, {}, {}, kBefore, false},
    {"ServerWithIntegratedSecurity", u"KS.mdb"_s, {}, {u"Server Name=/run/pg,5432"_s, u"Trusted Connection=Yes"_s},
     u"Provider=SQLOLEDB.1;Integrated Security=SSPI;Data Source=/run/pg,5432;Persist Security Info=False;"
     u"Initial Catalog=Kestrane;"_s, false},
    {"ServerLoginByDefault", u"KS.mdb"_s, {}, {u"Server Name=db1"_s, u"Server User ID=clerk"_s,
     u"Server Password=s;cret"_s},
     u"Provider=SQLOLEDB.1;Data Source=db1;Persist Security Info=False;Initial Catalog=Kestrane;UID=clerk;"
     u"Pwd=s;cret;"_s, false},
    {"ServerOfTheSiblingProduct", u"BR.mdb"_s, u"BR"_s, {u"Server Name=db2"_s, u"Trusted Connection=No"_s},
     u"Provider=SQLOLEDB.1;Data Source=db2;Persist Security Info=False;Initial Catalog=Brellion;UID=;Pwd=;"_s,
     false},
    {"ServerOfAnUnknownProductHasNoCatalog", u"QQ.mdb"_s, u"QQ"_s, {u"Server Name=db3"_s,
     u"Trusted Connection=Yes"_s},
     u"Provider=SQLOLEDB.1;Integrated Security=SSPI;Data Source=db3;Persist Security Info=False;"_s, false},
    {"SystemDatabase", u"HVSYS.MDB"_s, {}, {}, kBefore, true},
    {"SystemDatabaseInLowerCaseIsAProductFile", u"hvsys.mdb"_s, {}, {}, kBefore, false},
};
// clang-format on

using OkTest = setuptest::ParamTest<OkCase>;

TEST_P(OkTest, RebuildsTheSettingsFromTheFolder) {
    const OkCase& c = GetParam();
    const QString product = c.dbApp.isEmpty() ? u"KS"_s : c.dbApp;
    UseDrives({{u"c"_s, kDriveFixed}});
    const QString folder = Folder(u"c/data"_s);
    const QStringList files = {product + u".mdb"_s, product + u"_users.mdb"_s, product + u"_lists.mdb"_s,
                               product + u"_sands.mdb"_s, u"HVSYS.MDB"_s};
    MakeFiles(folder, files);
    for (const QString& file : files)
        QFile::setPermissions(folder + file, QFileDevice::ReadOwner | QFileDevice::ExeGroup);
    for (const QString& setting : c.productSettings)
        SaveSetting(product, u"Data"_s, setting.section(u'=', 0, 0), setting.section(u'=', 1));
    data::ConnectionSettings& settings = data::Settings();
    settings.mainConnectionString = kBefore;
    settings.dataPath = u"/before/"_s;
    settings.zoDataPath = u"/zo-before/"_s;
    setup::GetDataPath& dialog = OpenDialog(c.dbFile, c.dbApp);
    dialog.Dir1->SetPath(folder);
    EXPECT_EQ(dialog.txtDataPath->text(), folder.chopped(1));  // the folder holds the file; OK adds the "/"

    dialog.cmdOK_Click();

    EXPECT_FALSE(dialog.IsLoaded());
    EXPECT_TRUE(setup::gGetDataPath.IsEmpty());
    EXPECT_EQ(Boxes(Env().Answers().Shown()), QStringList());
    const QString jet = u"Provider=Microsoft.Jet.OLEDB.4.0;Data Source="_s + folder;
    const QString productPath = GetSetting(product, u"Data"_s, product + u" Data Path"_s);
    const QString systemPath = GetSetting(u"ZO"_s, u"Data"_s, u"ZO Data Path"_s);
    EXPECT_EQ(settings.mainConnectionString, QString(c.main).replace(u"<DIR>"_s, folder));
    if (c.system) {
        EXPECT_EQ(
            (QStringList{settings.zoDataPath, settings.systemDatabaseFile, settings.systemConnectionString,
                         systemPath, settings.dataPath, productPath}),
            (QStringList{folder, folder + u"hvsys.mdb"_s, jet + u"hvsys.mdb;Persist Security Info=False"_s,
                         folder, u"/before/"_s, QString()}));
    } else {
        EXPECT_EQ((QStringList{settings.dataPath, settings.mainDatabaseFile, settings.usersDatabaseFile,
                               settings.usersConnectionString, settings.listsDatabaseFile,
                               settings.sandsDatabaseFile, settings.zoDataPath, productPath, systemPath}),
                  (QStringList{folder, folder + files[0], folder + files[1],
                               jet + files[1] + u";Persist Security Info=False"_s, folder + files[2],
                               folder + files[3], u"/zo-before/"_s, folder, QString()}));
    }
    // OK lets the owner write the files it set, and only those, and keeps the rest of their mode.
    for (int i = 0; i < files.size(); ++i) {
        const QFileDevice::Permissions mode = QFileInfo(folder + files[i]).permissions();
        EXPECT_EQ(mode & ~(QFileDevice::ReadUser | QFileDevice::WriteUser | QFileDevice::ExeUser),
                  QFileDevice::ReadOwner | QFileDevice::ExeGroup |
                      (c.system == (i == 4) ? QFileDevice::WriteOwner : QFileDevice::Permissions()))
            << files[i].toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, OkTest, ::testing::ValuesIn(kOkCases), setuptest::kCaseName);

// Catches an empty folder stored as the data path, and a Cancel that leaves a window or says otherwise.
TEST_F(GetDataPathTest, OkWithoutAFolderRefusesToStoreItAndCancelUnloadsEveryWindow) {
    UseDrives({{u"c"_s, kDriveFixed}});
    OpenDialog(u"KS.mdb"_s).txtDataPath->clear();
    setup::gGetDataPath->cmdOK_Click();
    EXPECT_EQ((QStringList{data::Settings().dataPath, data::Settings().mainDatabaseFile}),
              (QStringList{u"/"_s, u"/KS.mdb"_s}));
    EXPECT_FALSE(QFileInfo::exists(SettingsFile(u"KS"_s)) || setup::gGetDataPath->IsLoaded());
    platform::Form other;
    other.Show();
    OpenDialog(u"KS.mdb"_s).cmdCancel_Click();

    QStringList boxes;
    for (const MessageBoxRequest& box : Env().Answers().Shown())
        boxes << QString::number(box.buttons) + u' ' + box.title + u": "_s + box.text;
    EXPECT_EQ(boxes,
              (QStringList{u"16 KSProcessDisqualificationsQueue: ERROR KS-4: Saving KS Data Path to "
                           u"registry failed with value of '/'."_s,
                           u"16 Halvermoor Software Solutions Setup: This must be set up before you may "
                           u"use the application."_s}));
    EXPECT_TRUE(Screen::Forms().empty() && setup::gGetDataPath.IsEmpty());
}

}  // namespace
