// ConnectDatabase against settings files written into a temporary settings folder.

#include "data/connect_database.h"
#include "data/connection_settings.h"
#include "platform/settings.h"
#include "support/program_environment.h"

#include <gtest/gtest.h>

#include <map>

using namespace Qt::StringLiterals;

namespace {

// What the main connection string holds before the call; it stays when the server settings are incomplete.
const QString kEarlierMain = u"earlier main string"_s;
const QString kUsers =
    u"Provider=Microsoft.Jet.OLEDB.4.0;Data Source=/srv/ks/KS_users.mdb;Persist Security Info=False;User ID=;"
    "Password=;"_s;
const QString kIntegrated =
    u"Provider=SQLOLEDB.1;Integrated Security=SSPI;Data Source=db1,1433;Persist Security Info=False;"
    "Initial Catalog=Kestrane;"_s;

struct Case {
    const char* name;
    std::map<QString, QString> data;  // application "KS", section "Data"
    int messages;                     // the setup is incomplete when there is one
    QString
        flags;  // "Access" or "Server" by the access flag, then the true and false literals and the main file
    QString main, users;
};

class ConnectDatabaseTest : public ::testing::TestWithParam<Case> {};

TEST_P(ConnectDatabaseTest, BuildsTheSettingsAndReportsWhatIsMissing) {
    const Case& c = GetParam();
    testsupport::ProgramEnvironment env;
    for (const auto& [key, value] : c.data)
        platform::SaveSetting(u"KS"_s, u"Data"_s, key, value);
    data::Settings().mainConnectionString = kEarlierMain;

    bool incompleteSetup = false;
    data::ConnectDatabase(incompleteSetup);

    const data::ConnectionSettings& s = data::Settings();
    EXPECT_EQ(incompleteSetup, c.messages > 0);
    EXPECT_EQ(QStringList({s.accessFlag ? u"Access"_s : u"Server"_s, s.trueLiteral, s.falseLiteral,
                           s.mainDatabaseFile})
                  .join(u' '),
              c.flags);
    EXPECT_EQ(s.mainConnectionString, c.main);
    EXPECT_EQ(s.usersConnectionString, c.users);
    ASSERT_EQ(static_cast<int>(env.Answers().Shown().size()), c.messages);
    for (const platform::MessageBoxRequest& shown : env.Answers().Shown()) {
        EXPECT_EQ(shown.text,
                  u"This workstation has an incomplete setup for Kestrane. Receipts will not be verified."_s);
        EXPECT_EQ(shown.buttons, platform::vbOKOnly + platform::vbCritical);
        EXPECT_EQ(shown.title, u"KSProcessDisqualificationsQueue"_s);
    }
}

const QString kPath = u"/srv/ks/"_s;

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Settings, ConnectDatabaseTest,
    ::testing::Values(
        Case{"Access", {{"Datasource Type", "Access"}, {"KS Data Path", kPath}}, 0, u"Access TRUE FALSE /srv/ks/KS.mdb"_s,
             u"Provider=Microsoft.Jet.OLEDB.4.0;Data Source=/srv/ks/KS.mdb;Persist Security Info=False;User ID=;Password=;"_s, kUsers},
        Case{"AccessPathWithoutSeparator", {{"Datasource Type", "Access"}, {"KS Data Path", "/srv/ks"}}, 0,
             u"Access TRUE FALSE /srv/ksKS.mdb"_s,
             u"Provider=Microsoft.Jet.OLEDB.4.0;Data Source=/srv/ksKS.mdb;Persist Security Info=False;User ID=;Password=;"_s,
             u"Provider=Microsoft.Jet.OLEDB.4.0;Data Source=/srv/ksKS_users.mdb;Persist Security Info=False;User ID=;Password=;"_s},
        Case{"LowerCaseAccessMeansServer", {{"Datasource Type", "access"}, {"KS Data Path", kPath},
             {"Server Name", "db1,1433"}, {"Trusted Connection", "Yes"}}, 0, u"Server 1 0 "_s, kIntegrated, kUsers},
        Case{"ServerLogin", {{"Datasource Type", "SQL Server"}, {"KS Data Path", kPath}, {"Server Name", "db1"},
             {"Trusted Connection", "No"}, {"Server User ID", "ks user"}, {"Server Password", "p;w='x'"}}, 0, u"Server 1 0 "_s,
             u"Provider=SQLOLEDB.1;Data Source=db1;Persist Security Info=False;Initial Catalog=Kestrane;UID=ks user;Pwd=p;w='x';"_s,
             kUsers},
        Case{"TrustedInLowerCase", {{"Datasource Type", "SQL Server"}, {"KS Data Path", kPath}, {"Server Name", "db1"},
             {"Trusted Connection", "yes"}}, 1, u"Server 1 0 "_s, kEarlierMain, kUsers},
        Case{"TrustedMissing", {{"Datasource Type", "SQL Server"}, {"KS Data Path", kPath}, {"Server Name", "db1"}}, 1,
             u"Server 1 0 "_s, kEarlierMain, kUsers},
        Case{"ServerNameMissing", {{"Datasource Type", "SQL Server"}, {"KS Data Path", kPath}, {"Trusted Connection", "Yes"}},
             1, u"Server 1 0 "_s, kEarlierMain, kUsers},
        Case{"TypeMissingServerComplete", {{"KS Data Path", kPath}, {"Server Name", "db1,1433"}, {"Trusted Connection", "Yes"}},
             1, u"Server   "_s, kIntegrated, kUsers},
        Case{"TypeAndServerMissing", {{"KS Data Path", kPath}}, 2, u"Server   "_s, kEarlierMain, kUsers},
        Case{"AccessWithoutPath", {{"Datasource Type", "Access"}}, 1, u"Access TRUE FALSE "_s, kEarlierMain, ""},
        Case{"NothingSetUp", {}, 2, u"Server   "_s, kEarlierMain, ""}),
    [](const ::testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });
// clang-format on

}  // namespace
