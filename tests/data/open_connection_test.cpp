// AdoOpenConnection: retries, messages, silent failures and the data-location fall-back.

#include "data/open_connection.h"
#include "data/connection_settings.h"
#include "platform/runtime_error.h"
#include "platform/screen.h"
#include "support/databases.h"
#include "support/faulty_engine.h"
#include "support/program_environment.h"

#include <QDir>
#include <QFileInfo>

#include <gtest/gtest.h>

namespace {

using ado::faulty::Operation;

const QString kAdvice =
    QStringLiteral("\r\rInjected failure\n\nContact your System Administrator if this continues.");

struct OpenCase {
    const char* name;
    int32_t hresult;
    int32_t nativeError;
    int failures;
    bool opened;
    QString message;  // empty: no message
    int64_t sleptMs;
    int opens;
};

std::ostream& operator<<(std::ostream& out, const OpenCase& c) {
    return out << c.name;
}

class OpenFailureTest : public ::testing::TestWithParam<OpenCase> {};

TEST_P(OpenFailureTest, RetriesReportsOrStaysSilent) {
    const OpenCase& c = GetParam();
    testsupport::ProgramEnvironment env;
    data::Settings().mainConnectionString = testsupport::NewJetDatabase(env.Dir());
    datatest::FaultyEngine jet;
    jet.Fail(Operation::Open, c.hresult, c.failures, c.nativeError);

    ado::Connection connection;
    const bool opened = data::AdoOpenConnection(connection, data::Database::Main, false);

    EXPECT_EQ(opened, c.opened);
    EXPECT_EQ(connection.State(), c.opened ? ado::adStateOpen : ado::adStateClosed);
    if (c.opened) {  // the system's time-outs: 3 s to connect, 18 s for a command
        EXPECT_EQ(connection.ConnectionTimeout, 3);
        EXPECT_EQ(connection.CommandTimeout, 18);
    }
    EXPECT_EQ(jet->Calls(Operation::Open), c.opens);
    EXPECT_EQ(env.Clock().TotalSleptMs(), c.sleptMs);
    EXPECT_EQ(platform::Screen::MousePointer(), platform::vbDefault);
    if (c.message.isEmpty()) {
        EXPECT_TRUE(env.Answers().Shown().empty());
    } else {
        ASSERT_EQ(env.Answers().Shown().size(), 1u);
        EXPECT_EQ(env.Answers().Shown()[0].text, c.message);
        EXPECT_EQ(env.Answers().Shown()[0].buttons, platform::vbOKOnly + platform::vbCritical);
    }
    EXPECT_EQ(connection.GetErrors().Count(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Faults, OpenFailureTest,
    ::testing::Values(
        OpenCase{"FiveFailuresThenOpen", ado::E_FAIL_HR, 0, 5, true, {}, 1250, 6},
        OpenCase{"SixFailures", ado::E_FAIL_HR, 0, 6, false,
                 QStringLiteral("Timeout error -2147467259 trying to open connection.") + kAdvice, 1250, 6},
        OpenCase{"FiveTimeoutsThenOpen", ado::DB_E_ABORTLIMITREACHED, 0, 5, true, {}, 1250, 6},
        OpenCase{"SixTimeouts", ado::DB_E_ABORTLIMITREACHED, 0, 6, false,
                 QStringLiteral("Timeout error -2147217871 trying to open connection.") + kAdvice, 1250, 6},
        OpenCase{"ServerUnreachable", ado::E_FAIL_HR, ado::SQL_SERVER_UNREACHABLE, 1, false, {}, 0, 1},
        OpenCase{"NotADatabase", ado::E_FAIL_HR, ado::JET_NOT_A_DATABASE, 1, false, {}, 0, 1},
        OpenCase{"SilentDFFEFC00", ado::E_FAIL_HR, -536937472, 1, false, {}, 0, 1},
        OpenCase{"SilentFC02FC02", ado::E_FAIL_HR, -66913278, 1, false, {}, 0, 1},
        OpenCase{"ErrorsOccurred", ado::DB_E_ERRORSOCCURRED, 0, 1, false, {}, 0, 1},
        OpenCase{"UnknownNumber", -2147217843, 0, 1, false,
                 QStringLiteral("Unknown error #-2147217843 trying to open connection.") + kAdvice, 0, 1},
        // The native number wins over E_FAIL: no retry.
        OpenCase{"UnknownNativeNumber", ado::E_FAIL_HR, 12345, 1, false,
                 QStringLiteral("Unknown error #12345 trying to open connection.") + kAdvice, 0, 1}),
    [](const ::testing::TestParamInfo<OpenCase>& info) { return std::string(info.param.name); });

TEST(AdoOpenConnection, AppendsTheSemicolonToItsWorkingCopyOnly) {
    testsupport::ProgramEnvironment env;
    const QString withSemicolon = testsupport::NewJetDatabase(env.Dir());
    ASSERT_TRUE(withSemicolon.endsWith(';'));
    const QString withoutSemicolon = withSemicolon.chopped(1);
    datatest::FaultyEngine jet;
    QStringList opened;
    ado::faulty::Fault spy;
    spy.operation = Operation::Open;
    spy.matches = [&opened](const QString& subject) {
        opened << subject;
        return false;
    };
    jet->Add(spy);

    for (const QString& original : {withoutSemicolon, withSemicolon}) {
        data::Settings().mainConnectionString = original;
        ado::Connection connection;
        ASSERT_TRUE(data::AdoOpenConnection(connection, data::Database::Main, false));
        EXPECT_EQ(data::Settings().mainConnectionString, original);
        connection.Close();
        ado::ClearConnectionPool();
    }
    EXPECT_EQ(opened, QStringList({withSemicolon, withSemicolon}));
}

// The file the main connection string names does not exist.
struct MissingFile {
    explicit MissingFile(const testsupport::ProgramEnvironment& env)
        : path(env.Dir() + QStringLiteral("/data/KS.mdb")) {
        QDir().mkpath(env.Dir() + QStringLiteral("/data"));
        data::Settings().mainConnectionString = data::AccessMainConnectionString(path);
    }
    QString path;
};

TEST(AdoOpenConnection, MissingFileWithoutDialogTakesTheCancelPathAndEnds) {
    testsupport::ProgramEnvironment env;
    MissingFile missing(env);

    ado::Connection connection;
    EXPECT_THROW(static_cast<void>(data::AdoOpenConnection(connection, data::Database::Main, false)),
                 platform::EndProgram);

    ASSERT_EQ(env.Answers().Shown().size(), 1u);
    const platform::MessageBoxRequest& shown = env.Answers().Shown()[0];
    EXPECT_EQ(shown.text, QStringLiteral("This must be set up before you may use the application."));
    EXPECT_EQ(shown.buttons, platform::vbOKOnly + platform::vbCritical);
    EXPECT_EQ(shown.title, QStringLiteral("Halvermoor Software Solutions Setup"));
    EXPECT_TRUE(platform::Screen::Forms().empty());
    EXPECT_FALSE(QFileInfo::exists(missing.path));
    EXPECT_EQ(platform::Screen::MousePointer(), platform::vbDefault);
}

TEST(AdoOpenConnection, MissingFileAsksTheDialogAndOpensWhatItChose) {
    testsupport::ProgramEnvironment env;
    MissingFile missing(env);
    QStringList asked;
    int pointerDuringDialog = -1;
    data::SetDataLocationDialog([&](const QString& dbFile) {
        asked << dbFile;
        pointerDuringDialog = platform::Screen::MousePointer();
        QDir().mkpath(env.Dir() + QStringLiteral("/chosen"));
        data::Settings().mainConnectionString =
            testsupport::NewJetDatabase(env.Dir() + QStringLiteral("/chosen"), QStringLiteral("KS.mdb"));
    });

    ado::Connection connection;
    EXPECT_TRUE(data::AdoOpenConnection(connection, data::Database::Main, false));

    EXPECT_EQ(asked, QStringList{QStringLiteral("KS.mdb")});
    EXPECT_EQ(pointerDuringDialog, platform::vbHourglass);
    EXPECT_EQ(connection.State(), ado::adStateOpen);
    EXPECT_TRUE(env.Answers().Shown().empty());
    EXPECT_FALSE(QFileInfo::exists(missing.path));
}

TEST(AdoOpenConnection, CountsTransientFailuresOverTheWholeCall) {
    testsupport::ProgramEnvironment env;
    MissingFile missing(env);
    datatest::FaultyEngine jet;
    jet.Fail(Operation::Open, ado::E_FAIL_HR, 3);
    data::SetDataLocationDialog([&](const QString&) {
        QDir().mkpath(env.Dir() + QStringLiteral("/chosen"));
        data::Settings().mainConnectionString =
            testsupport::NewJetDatabase(env.Dir() + QStringLiteral("/chosen"), QStringLiteral("KS.mdb"));
        jet.Fail(Operation::Open, ado::E_FAIL_HR, 3);
    });

    ado::Connection connection;
    EXPECT_FALSE(data::AdoOpenConnection(connection, data::Database::Main, false));

    ASSERT_EQ(env.Answers().Shown().size(), 1u);
    EXPECT_TRUE(env.Answers().Shown()[0].text.startsWith(QStringLiteral("Timeout error -2147467259 ")));
    EXPECT_EQ(env.Clock().TotalSleptMs(), 5 * 250);
}

TEST(AdoOpenConnection, DataSourceFoundOnlyAsWrittenAfterASemicolon) {
    testsupport::ProgramEnvironment env;
    const QString missing = env.Dir() + QStringLiteral("/KS.mdb");
    int dialogs = 0;
    data::SetDataLocationDialog([&](const QString&) { ++dialogs; });

    for (const QString& connectionString :
         {QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;data source=") + missing + QStringLiteral(";"),
          QStringLiteral("Data Source=") + missing + QStringLiteral(";Provider=Microsoft.Jet.OLEDB.4.0;")}) {
        data::Settings().mainConnectionString = connectionString;
        ado::Connection connection;
        EXPECT_FALSE(data::AdoOpenConnection(connection, data::Database::Main, false))
            << connectionString.toStdString();
    }
    EXPECT_EQ(dialogs, 0);
    EXPECT_TRUE(env.Answers().Shown().empty());
    EXPECT_FALSE(QFileInfo::exists(missing));
}

}  // namespace
