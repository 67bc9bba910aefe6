// ConnectDatabase against settings files written into a temporary settings folder.

#include "data/connect_database.h"
#include "data/connection_settings.h"
#include "platform/settings.h"
#include "support/program_environment.h"

#include <gtest/gtest.h>

#include <map>

namespace {

const QString kIncompleteSetup =
    QStringLiteral("This workstation has an incomplete setup for Kestrane. Receipts will not be verified.");
// What the main connection string holds before the call; it stays when the server settings are incomplete.
const QString kEarlierMain = QStringLiteral("earlier main string");

const QString kUsers = QStringLiteral(
    "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=/srv/ks/KS_users.mdb;Persist Security Info=False;User ID=;"
    "Password=;");
const QString kIntegrated = QStringLiteral(
    "Provider=SQLOLEDB.1;Integrated Security=SSPI;Data Source=db1,1433;Persist Security Info=False;"
    "Initial Catalog=Kestrane;");

struct Case {
    const char* name;
    std::map<QString, QString> data;  // application "KS", section "Data"
    bool incomplete;
    int messages;
    bool accessFlag;
    QString trueLiteral;
    QString falseLiteral;
    QString mainFile;
    QString main;
    QString users;
};

std::ostream& operator<<(std::ostream& out, const Case& c) {
    return out << c.name;
}

class ConnectDatabaseTest : public ::testing::TestWithParam<Case> {};

TEST_P(ConnectDatabaseTest, BuildsTheSettingsAndReportsWhatIsMissing) {
    const Case& c = GetParam();
    testsupport::ProgramEnvironment env;
    for (const auto& [key, value] : c.data)
        platform::SaveSetting(QStringLiteral("KS"), QStringLiteral("Data"), key, value);
    data::Settings().mainConnectionString = kEarlierMain;

    bool incompleteSetup = false;
    data::ConnectDatabase(incompleteSetup);

    const data::ConnectionSettings& s = data::Settings();
    EXPECT_EQ(incompleteSetup, c.incomplete);
    EXPECT_EQ(s.accessFlag, c.accessFlag);
    EXPECT_EQ(s.trueLiteral, c.trueLiteral);
    EXPECT_EQ(s.falseLiteral, c.falseLiteral);
    EXPECT_EQ(s.mainDatabaseFile, c.mainFile);
    EXPECT_EQ(s.mainConnectionString, c.main);
    EXPECT_EQ(s.usersConnectionString, c.users);
    ASSERT_EQ(static_cast<int>(env.Answers().Shown().size()), c.messages);
    for (const platform::MessageBoxRequest& shown : env.Answers().Shown()) {
        EXPECT_EQ(shown.text, kIncompleteSetup);
        EXPECT_EQ(shown.buttons, platform::vbOKOnly + platform::vbCritical);
        EXPECT_EQ(shown.title, QStringLiteral("KSProcessDisqualificationsQueue"));
    }
}

const QString kPath = QStringLiteral("/srv/ks/");
const QString kAccessMain = QStringLiteral(
    "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=/srv/ks/KS.mdb;Persist Security Info=False;User "
    "ID=;Password=;");

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Settings, ConnectDatabaseTest,
    ::testing::Values(
        Case{"Access", {{"Datasource Type", "Access"}, {"KS Data Path", kPath}},
             false, 0, true, "TRUE", "FALSE", "/srv/ks/KS.mdb", kAccessMain, kUsers},
        Case{"AccessPathWithoutSeparator", {{"Datasource Type", "Access"}, {"KS Data Path", "/srv/ks"}},
             false, 0, true, "TRUE", "FALSE", "/srv/ksKS.mdb",
             "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=/srv/ksKS.mdb;Persist Security Info=False;User ID=;"
             "Password=;",
             "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=/srv/ksKS_users.mdb;Persist Security Info=False;"
             "User ID=;Password=;"},
        Case{"LowerCaseAccessMeansServer", {{"Datasource Type", "access"}, {"KS Data Path", kPath},
                                            {"Server Name", "db1,1433"}, {"Trusted Connection", "Yes"}},
             false, 0, false, "1", "0", "", kIntegrated, kUsers},
        Case{"ServerLogin", {{"Datasource Type", "SQL Server"}, {"KS Data Path", kPath}, {"Server Name", "db1"},
                             {"Trusted Connection", "No"}, {"Server User ID", "ks user"},
                             {"Server Password", "p;w='x'"}},
             false, 0, false, "1", "0", "",
             "Provider=SQLOLEDB.1;Data Source=db1;Persist Security Info=False;Initial Catalog=Kestrane;"
             "UID=ks user;Pwd=p;w='x';",
             kUsers},
        Case{"TrustedInLowerCase", {{"Datasource Type", "SQL Server"}, {"KS Data Path", kPath},
                                    {"Server Name", "db1"}, {"Trusted Connection", "yes"}},
             true, 1, false, "1", "0", "", kEarlierMain, kUsers},
        Case{"TrustedMissing", {{"Datasource Type", "SQL Server"}, {"KS Data Path", kPath}, {"Server Name", "db1"}},
             true, 1, false, "1", "0", "", kEarlierMain, kUsers},
        Case{"ServerNameMissing", {{"Datasource Type", "SQL Server"}, {"KS Data Path", kPath},
                                   {"Trusted Connection", "Yes"}},
             true, 1, false, "1", "0", "", kEarlierMain, kUsers},
        Case{"TypeMissingServerComplete", {{"KS Data Path", kPath}, {"Server Name", "db1,1433"},
                                           {"Trusted Connection", "Yes"}},
             true, 1, false, "", "", "", kIntegrated, kUsers},
        Case{"TypeAndServerMissing", {{"KS Data Path", kPath}},
             true, 2, false, "", "", "", kEarlierMain, kUsers},
        Case{"AccessWithoutPath", {{"Datasource Type", "Access"}},
             true, 1, true, "TRUE", "FALSE", "", kEarlierMain, ""},
        Case{"NothingSetUp", {},
             true, 2, false, "", "", "", kEarlierMain, ""}),
    [](const ::testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });
// clang-format on

}  // namespace
