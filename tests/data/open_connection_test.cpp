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

using namespace Qt::StringLiterals;

namespace {

using ado::faulty::Operation;

struct OpenCase {
    const char* name;
    int32_t hresult, nativeError;
    int failures;
    bool opened;
    QString message;  // its start, "... trying to open connection." follows; empty: no message
    int64_t sleptMs;
    int opens;
};

class OpenFailureTest : public ::testing::TestWithParam<OpenCase> {};

TEST_P(OpenFailureTest, RetriesReportsOrStaysSilent) {
    const OpenCase& c = GetParam();
    testsupport::ProgramEnvironment env;
    data::Settings().mainConnectionString = testsupport::NewJetDatabase(env.Dir());
    datatest::FaultyEngine jet;
    jet.Fail(Operation::Open, c.hresult, c.failures, c.nativeError);

    ado::Connection connection;
    EXPECT_EQ(data::AdoOpenConnection(connection, data::Database::Main, false), c.opened);

    EXPECT_EQ(connection.State(), c.opened ? ado::adStateOpen : ado::adStateClosed);
    if (c.opened) {  // the system's time-outs: 3 s to connect, 18 s for a command
        EXPECT_EQ(connection.ConnectionTimeout, 3);
        EXPECT_EQ(connection.CommandTimeout, 18);
    }
    EXPECT_EQ(jet->Calls(Operation::Open), c.opens);
    EXPECT_EQ(env.Clock().TotalSleptMs(), c.sleptMs);
    EXPECT_EQ(platform::Screen::MousePointer(), platform::vbDefault);
    ASSERT_EQ(env.Answers().Shown().size(), c.message.isEmpty() ? 0u : 1u);
    if (!c.message.isEmpty()) {
        EXPECT_EQ(env.Answers().Shown()[0].text,
                  c.message +
                      u" trying to open connection.\r\rInjected failure\n\n"
                      "Contact your System Administrator if this continues."_s);
        EXPECT_EQ(env.Answers().Shown()[0].buttons, platform::vbOKOnly + platform::vbCritical);
    }
    EXPECT_EQ(connection.GetErrors().Count(), 0);
}

constexpr int32_t kFail = ado::E_FAIL_HR;

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Faults, OpenFailureTest,
    ::testing::Values(
        OpenCase{"FiveFailuresThenOpen", kFail, 0, 5, true, {}, 1250, 6},
        OpenCase{"SixFailures", kFail, 0, 6, false, u"Timeout error -2147467259"_s, 1250, 6},
        OpenCase{"SixTimeouts", ado::DB_E_ABORTLIMITREACHED, 0, 6, false, u"Timeout error -2147217871"_s, 1250, 6},
        OpenCase{"ServerUnreachable", kFail, ado::SQL_SERVER_UNREACHABLE, 1, false, {}, 0, 1},
        OpenCase{"NotADatabase", kFail, ado::JET_NOT_A_DATABASE, 1, false, {}, 0, 1},
        OpenCase{"SilentDFFEFC00", kFail, -536937472, 1, false, {}, 0, 1},
        OpenCase{"SilentFC02FC02", kFail, -66913278, 1, false, {}, 0, 1},
        OpenCase{"ErrorsOccurred", ado::DB_E_ERRORSOCCURRED, 0, 1, false, {}, 0, 1},
        OpenCase{"UnknownNumber", -2147217843, 0, 1, false, u"Unknown error #-2147217843"_s, 0, 1},
        // The native number wins over E_FAIL: no retry.
        OpenCase{"UnknownNativeNumber", kFail, 12345, 1, false, u"Unknown error #12345"_s, 0, 1}),
    [](const ::testing::TestParamInfo<OpenCase>& info) { return std::string(info.param.name); });
// clang-format on

// The file the main connection string names does not exist.
struct MissingFile {
    explicit MissingFile(const testsupport::ProgramEnvironment& env) : path(env.Dir() + u"/data/KS.mdb"_s) {
        QDir().mkpath(env.Dir() + u"/data"_s);
        data::Settings().mainConnectionString = data::AccessMainConnectionString(path);
    }
    // What a dialog does when the person chooses a folder holding KS.mdb.
    static void Choose(const testsupport::ProgramEnvironment& env) {
        QDir().mkpath(env.Dir() + u"/chosen"_s);
        data::Settings().mainConnectionString =
            testsupport::NewJetDatabase(env.Dir() + u"/chosen"_s, u"KS.mdb"_s);
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
    EXPECT_EQ(shown.text, u"This must be set up before you may use the application."_s);
    EXPECT_EQ(shown.buttons, platform::vbOKOnly + platform::vbCritical);
    EXPECT_EQ(shown.title, u"Halvermoor Software Solutions Setup"_s);
    EXPECT_TRUE(platform::Screen::Forms().empty());
    EXPECT_FALSE(QFileInfo::exists(missing.path));
    EXPECT_EQ(platform::Screen::MousePointer(), platform::vbDefault);
}

// The dialog is asked for the bare file name under the hourglass, and what it chose is opened; the transient
// failures are counted over the whole call, before and after the dialog.
TEST(AdoOpenConnection, MissingFileAsksTheDialogAndOpensWhatItChose) {
    for (const int failures : {0, 3}) {
        SCOPED_TRACE(failures);
        testsupport::ProgramEnvironment env;
        MissingFile missing(env);
        datatest::FaultyEngine jet;
        jet.Fail(Operation::Open, kFail, failures);
        QStringList asked;
        int pointerDuringDialog = -1;
        data::SetDataLocationDialog([&](const QString& dbFile) {
            asked << dbFile;
            pointerDuringDialog = platform::Screen::MousePointer();
            MissingFile::Choose(env);
            jet.Fail(Operation::Open, kFail, failures);
        });

        ado::Connection connection;
        EXPECT_EQ(data::AdoOpenConnection(connection, data::Database::Main, false), failures == 0);

        EXPECT_EQ(asked, QStringList{u"KS.mdb"_s});
        EXPECT_EQ(pointerDuringDialog, platform::vbHourglass);
        EXPECT_EQ(connection.State(), failures == 0 ? ado::adStateOpen : ado::adStateClosed);
        EXPECT_EQ(env.Answers().Shown().size(), failures == 0 ? 0u : 1u);
        EXPECT_TRUE(failures == 0 ||
                    env.Answers().Shown()[0].text.startsWith(u"Timeout error -2147467259 "_s));
        EXPECT_EQ(env.Clock().TotalSleptMs(), failures == 0 ? 0 : 5 * 250);
        EXPECT_FALSE(QFileInfo::exists(missing.path));
    }
}

// The connection string is opened with a ";" at its end, and the setting keeps what it held; a missing file
// brings the dialog only when its Data Source is written so and after a ";".
TEST(AdoOpenConnection, OpensTheStringAsWritten) {
    testsupport::ProgramEnvironment env;
    const QString good = testsupport::NewJetDatabase(env.Dir()), missing = env.Dir() + u"/KS.mdb"_s;
    ASSERT_TRUE(good.endsWith(';'));
    datatest::FaultyEngine jet;
    QStringList opened;
    jet.Record(Operation::Open, opened);
    int dialogs = 0;
    data::SetDataLocationDialog([&](const QString&) { ++dialogs; });

    for (const QString& original :
         {good.chopped(1), good, u"Provider=Microsoft.Jet.OLEDB.4.0;data source=%1;"_s.arg(missing),
          u"Data Source=%1;Provider=Microsoft.Jet.OLEDB.4.0;"_s.arg(missing)}) {
        SCOPED_TRACE(original.toStdString());
        data::Settings().mainConnectionString = original;
        ado::Connection connection;
        EXPECT_EQ(data::AdoOpenConnection(connection, data::Database::Main, false),
                  !original.contains(missing));
        EXPECT_EQ(data::Settings().mainConnectionString, original);
        if (connection.State() == ado::adStateOpen)
            connection.Close();
        ado::ClearConnectionPool();
    }
    EXPECT_EQ(opened.mid(0, 2), QStringList({good, good}));
    EXPECT_EQ(dialogs, 0);
    EXPECT_TRUE(env.Answers().Shown().empty());
    EXPECT_FALSE(QFileInfo::exists(missing));
}

}  // namespace
