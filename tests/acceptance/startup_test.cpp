// Whole runs of the program on databases made with kestrane-admin: the outcome of start-up for each state of
// the schedule and of this workstation's registration, as status lines on standard output and the exit
// status.
#include "ado/connection.h"
#include "ado/provider.h"
#include "data/connection_settings.h"
#include "data/run_guard.h"
#include "support/child_process.h"
#include "support/free_display.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <optional>
#include <ostream>

using namespace Qt::StringLiterals;

namespace {

using testsupport::ChildResult;

const QString kProgram = u"KSProcessDisqualificationsQueue"_s;
const QString kAdmin = u"kestrane-admin"_s;
const QString kWorkstation = u"WS-ACCEPT-01"_s;

const QString kIncomplete = u"Information to rebuild is missing. Rebuild not performed."_s;
const QString kNotScheduled = u"No rebuild has been scheduled."_s;
const QString kNotSetUp = u"This workstation is not set up for Kestrane."_s;
const QString kNoAccess = u"This workstation does not have access to Kestrane."_s;
const QString kAnotherRun = u"Another run holds this data. Rebuild not performed."_s;

enum class Setup { Incomplete, Complete };
enum class ParametersRow { Missing, NothingScheduled, RequestedByZero, Scheduled };
enum class Workstation { NoName, NotRegistered, Inactive, Admitted };
// What else the data holds: a request for an agency that does not exist, or a run that holds the data.
enum class Extra { None, AgencyMissing, AnotherRun };

struct StartupCase {
    const char* name;
    Setup setup;
    ParametersRow parameters;
    Workstation workstation;
    Extra extra;
    int status;         // the exit status of the run, and of --check before it
    QStringList lines;  // the status lines before the summary, in order; the queue run's are not compared
    QString summary;    // the last line
};
// Test names show the case by its name.
void PrintTo(const StartupCase& c, std::ostream* os) {
    *os << c.name;
}

class StartupTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(temp_.isValid());
        // A virtual clock that starts on a whole second, for kestrane-admin's schedule and the program alike:
        // the times that runs take and show are the same in every run.
        environment_ = testsupport::ChildEnvironment(temp_.filePath(u"config"_s), u"2030-01-07T08:00:00"_s);
        dataPath_ = temp_.filePath(u"data"_s) + QLatin1Char('/');
    }

    // Runs kestrane-admin and expects it to succeed.
    void Admin(const QStringList& arguments) {
        const ChildResult result = testsupport::RunBinary(kAdmin, arguments, environment_);
        ASSERT_EQ(result.exitCode, 0) << arguments.join(QLatin1Char(' ')).toStdString() << "\n"
                                      << result.err.toStdString();
    }
    ChildResult RunProgram(const QStringList& arguments = {}) {
        return testsupport::RunBinary(kProgram, arguments, environment_);
    }
    // A data folder with this workstation admitted and a rebuild due now.
    void PrepareScheduledRun() {
        Admin({u"init"_s, u"--data-path"_s, dataPath_});
        Admin({u"configure"_s, u"--data-path"_s, dataPath_, u"--workstation"_s, kWorkstation});
        Admin({u"add-user"_s, u"planner"_s});
        Admin({u"add-workstation"_s, kWorkstation});
        Admin({u"schedule"_s, u"--user"_s, u"1"_s, u"--in"_s, u"0"_s});
    }

    // Runs a statement on the main database, with the object model the program uses.
    void ExecuteOnMain(const QString& sql) {
        ado::provider::RegisterBuiltInProviders();
        ado::Connection connection;
        connection.Open(u"Provider=Microsoft.Jet.OLEDB.4.0;Data Source="_s + dataPath_ +
                        u"KS.mdb;Persist Security Info=False;"_s);
        connection.Execute(sql);
        connection.Close();
        ado::ClearConnectionPool();
    }

    QTemporaryDir temp_;
    QProcessEnvironment environment_;
    QString dataPath_;
};

class StartupOutcomeTest : public StartupTest, public ::testing::WithParamInterface<StartupCase> {
protected:
    // Makes the data and the settings of the case with kestrane-admin.
    void Prepare(const StartupCase& c) {
        Admin({u"init"_s, u"--data-path"_s, dataPath_});
        QStringList configure{u"configure"_s, u"--data-path"_s, dataPath_};
        if (c.workstation != Workstation::NoName)
            configure << u"--workstation"_s << kWorkstation;
        Admin(configure);
        Admin({u"add-user"_s, u"planner"_s});  // ID 1
        if (c.workstation == Workstation::Admitted)
            Admin({u"add-workstation"_s, kWorkstation});
        if (c.workstation == Workstation::Inactive) {
            Admin({u"add-workstation"_s, kWorkstation, u"--inactive"_s});
        }
        Admin({u"add-workstation"_s, u"WS-OTHER"_s});
        switch (c.parameters) {
            case ParametersRow::Missing:
                ExecuteOnMain(u"DELETE FROM [Parameters]"_s);
                break;
            case ParametersRow::NothingScheduled:
                break;
            case ParametersRow::RequestedByZero:
                // kestrane-admin refuses user 0: another program of the product may write it.
                ExecuteOnMain(
                    u"UPDATE [Parameters] SET Next_Rebuild_Requested_By = 0, "
                    "Next_Disqualifications_Rebuild = '2030-01-01 08:00:00' WHERE ID = 1"_s);
                break;
            case ParametersRow::Scheduled:
                Admin({u"schedule"_s, u"--user"_s, u"1"_s, u"--in"_s, u"0"_s});
                break;
        }
        if (c.extra == Extra::AgencyMissing)
            Admin({u"enqueue"_s, u"agency"_s, u"999"_s, u"--force"_s});
    }
};

TEST_P(StartupOutcomeTest, EndsWithItsOwnStatusAndSummary) {
    const StartupCase& c = GetParam();
    if (c.setup == Setup::Complete)
        ASSERT_NO_FATAL_FAILURE(Prepare(c));
    // The run that holds the data: this test process, through the lock a run takes.
    std::optional<data::RunGuard> holder;
    if (c.extra == Extra::AnotherRun) {
        data::ConnectionSettings settings;
        settings.accessFlag = true;
        settings.dataPath = dataPath_;
        settings.usersDatabaseFile = dataPath_ + u"KS_users.mdb"_s;
        holder.emplace(settings);
        ASSERT_TRUE(holder->Held());
    }

    // The check first: it writes nothing and waits for nothing, so the run after it meets the same data.
    const ChildResult check = RunProgram({u"--check"_s});
    EXPECT_EQ(check.exitCode, c.status) << check.out.toStdString() << check.err.toStdString();
    ASSERT_FALSE(check.OutLines().isEmpty());
    EXPECT_TRUE(check.OutLines().last().startsWith(u"A run would end with status %1: "_s.arg(c.status)))
        << check.out.toStdString();

    const ChildResult result = RunProgram();

    EXPECT_EQ(result.exitCode, c.status) << result.err.toStdString();
    QStringList lines = result.OutLines();
    ASSERT_FALSE(lines.isEmpty());
    EXPECT_EQ(lines.takeLast(), c.summary) << result.out.toStdString();
    // The queue run's lines hold the time; so does the line that names the run holding the data.
    const bool exact = c.extra == Extra::None &&
                       (c.parameters != ParametersRow::Scheduled || c.workstation != Workstation::Admitted);
    EXPECT_EQ(exact ? lines : lines.mid(0, c.lines.size()), c.lines) << result.out.toStdString();
    EXPECT_FALSE(result.err.contains(u"Run-time error"_s)) << result.err.toStdString();
}

// The summary of a run that processed nothing because of why, after seconds.
QString Nothing(const char* why, int seconds) {
    return u"Summary: 0 request(s) processed: %1; took %2 s."_s.arg(QLatin1String(why)).arg(seconds);
}

INSTANTIATE_TEST_SUITE_P(
    Outcomes, StartupOutcomeTest,
    ::testing::Values(
        StartupCase{"IncompleteSetup",
                    Setup::Incomplete,
                    ParametersRow::Missing,
                    Workstation::NoName,
                    Extra::None,
                    78,
                    {kIncomplete},
                    Nothing("the settings are incomplete", 5)},
        StartupCase{"NoParametersRowAdmitted",
                    Setup::Complete,
                    ParametersRow::Missing,
                    Workstation::Admitted,
                    Extra::None,
                    0,
                    {},
                    Nothing("no rebuild has been scheduled", 5)},
        StartupCase{"NothingScheduledAdmitted",
                    Setup::Complete,
                    ParametersRow::NothingScheduled,
                    Workstation::Admitted,
                    Extra::None,
                    0,
                    {kNotScheduled},
                    Nothing("no rebuild has been scheduled", 10)},
        StartupCase{"RequestedByZeroIsNothingScheduled",
                    Setup::Complete,
                    ParametersRow::RequestedByZero,
                    Workstation::Admitted,
                    Extra::None,
                    0,
                    {kNotScheduled},
                    Nothing("no rebuild has been scheduled", 10)},
        StartupCase{"NothingScheduledNoWorkstationName",
                    Setup::Complete,
                    ParametersRow::NothingScheduled,
                    Workstation::NoName,
                    Extra::None,
                    77,
                    {kNotScheduled, kNotSetUp},
                    Nothing("this workstation is not admitted", 15)},
        StartupCase{"ScheduledNoWorkstationName",
                    Setup::Complete,
                    ParametersRow::Scheduled,
                    Workstation::NoName,
                    Extra::None,
                    77,
                    {kNotSetUp},
                    Nothing("this workstation is not admitted", 10)},
        StartupCase{"ScheduledNotRegistered",
                    Setup::Complete,
                    ParametersRow::Scheduled,
                    Workstation::NotRegistered,
                    Extra::None,
                    77,
                    {kNoAccess},
                    Nothing("this workstation is not admitted", 10)},
        StartupCase{"ScheduledInactive",
                    Setup::Complete,
                    ParametersRow::Scheduled,
                    Workstation::Inactive,
                    Extra::None,
                    77,
                    {kNoAccess},
                    Nothing("this workstation is not admitted", 10)},
        StartupCase{"ScheduledAdmitted",
                    Setup::Complete,
                    ParametersRow::Scheduled,
                    Workstation::Admitted,
                    Extra::None,
                    0,
                    {},
                    u"Summary: 0 request(s) processed; took 7 s."_s},
        StartupCase{
            "RequestForAMissingAgencyStaysQueued",
            Setup::Complete,
            ParametersRow::Scheduled,
            Workstation::Admitted,
            Extra::AgencyMissing,
            65,
            {},
            u"Summary: 0 request(s) processed; 1 left in the queue because their agency does not exist; "
            u"took 7 s."_s},
        StartupCase{"AnotherRunHoldsTheData",
                    Setup::Complete,
                    ParametersRow::NothingScheduled,
                    Workstation::Admitted,
                    Extra::AnotherRun,
                    75,
                    {kAnotherRun},
                    Nothing("another run holds this data", 5)}),
    [](const ::testing::TestParamInfo<StartupCase>& info) { return info.param.name; });

// The command line: help and version print and end; anything else is refused with the usage, and none of
// them runs the job (which, without settings, would end with 78).
TEST_F(StartupTest, CommandLineAsksOrIsRefusedWithoutRunningTheJob) {
    struct Case {
        QStringList arguments;
        int status;
        QString outStart;
        QString err;
    };
    const QString shortUsage =
        u"\nUsage: KSProcessDisqualificationsQueue [--check | --help | --version]\n"
        u"\"KSProcessDisqualificationsQueue --help\" explains the options and the exit statuses.\n"_s;
    const std::vector<Case> cases = {
        {{u"--help"_s}, 0, u"Usage: KSProcessDisqualificationsQueue [options]\n"_s, {}},
        {{u"-h"_s}, 0, u"Usage: KSProcessDisqualificationsQueue [options]\n"_s, {}},
        {{u"--version"_s}, 0, u"KSProcessDisqualificationsQueue 1.0.0\n"_s, {}},
        {{u"--hepl"_s}, 64, {}, u"KSProcessDisqualificationsQueue: Unknown option 'hepl'."_s + shortUsage},
        {{u"now"_s}, 64, {}, u"KSProcessDisqualificationsQueue: unexpected argument 'now'."_s + shortUsage},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments.join(u' ').toStdString());
        const ChildResult result = RunProgram(c.arguments);
        EXPECT_EQ(result.exitCode, c.status);
        EXPECT_TRUE(result.out.startsWith(c.outStart)) << result.out.toStdString();
        EXPECT_EQ(result.err, c.err);
        if (c.outStart.isEmpty()) {
            EXPECT_TRUE(result.out.isEmpty()) << result.out.toStdString();
        }
    }
}

// A display that nobody answers on is said once, and the run goes on headless to its end.
TEST_F(StartupTest, DisplayThatCannotBeOpenedRunsHeadless) {
    PrepareScheduledRun();
    const QByteArray display = testsupport::FreeDisplay();
    environment_.remove(u"QT_QPA_PLATFORM"_s);
    environment_.insert(u"DISPLAY"_s, QString::fromLatin1(display));

    const ChildResult result = RunProgram();

    EXPECT_EQ(result.exitCode, 0) << result.err.toStdString();
    EXPECT_EQ(result.err, u"Cannot open the display "_s + QString::fromLatin1(display) +
                              u"; running without a display.\n"_s);
    ASSERT_FALSE(result.OutLines().isEmpty());
    EXPECT_TRUE(result.OutLines().first().startsWith(u"Waiting for "_s)) << result.out.toStdString();
    EXPECT_EQ(result.OutLines().last(), u"Summary: 0 request(s) processed; took 7 s."_s);
}

// Under the journal each line carries its priority, and a message box is one line.
TEST_F(StartupTest, JournalLinesCarryTheirPriority) {
    environment_.insert(u"JOURNAL_STREAM"_s, u"8:12345"_s);

    const ChildResult result = RunProgram();

    EXPECT_EQ(result.exitCode, 78);
    // The settings lack two things, and each is told.
    const QString box =
        u"<3>KSProcessDisqualificationsQueue (critical): This workstation has an incomplete setup "
        u"for Kestrane. Receipts will not be verified. -> OK (no terminal)\n"_s;
    EXPECT_EQ(result.err, box + box);
    EXPECT_EQ(result.OutLines(),
              (QStringList{u"<6>"_s + kIncomplete, u"<6>"_s + Nothing("the settings are incomplete", 5)}));
}

TEST_F(StartupTest, IncompleteSetupIsToldToTheUser) {
    const ChildResult result = RunProgram();
    EXPECT_EQ(result.exitCode, 78);
    EXPECT_TRUE(result.err.contains(QStringLiteral(
        "This workstation has an incomplete setup for Kestrane. Receipts will not be verified.")))
        << result.err.toStdString();
}

TEST_F(StartupTest, WorkstationNameWithAnApostropheEndsTheRunWithTheErrorReport) {
    Admin({u"init"_s, u"--data-path"_s, dataPath_});
    Admin({u"configure"_s, u"--data-path"_s, dataPath_, u"--workstation"_s, u"O'Brien's PC"_s});
    Admin({u"add-workstation"_s, u"O'Brien's PC"_s});

    const ChildResult result = RunProgram();

    EXPECT_EQ(result.exitCode, 1);
    EXPECT_TRUE(result.err.contains(u"Run-time error '"_s)) << result.err.toStdString();
    ASSERT_EQ(result.OutLines().size(), 2);
    EXPECT_EQ(result.OutLines().first(), kNotScheduled);
}

TEST_F(StartupTest, MissingMainDatabaseEndsTheRunWithTheErrorReport) {
    Admin({u"init"_s, u"--data-path"_s, dataPath_});
    Admin({u"configure"_s, u"--data-path"_s, dataPath_, u"--workstation"_s, kWorkstation});
    ASSERT_TRUE(QFile::remove(dataPath_ + u"KS.mdb"_s));

    const ChildResult result = RunProgram();

    EXPECT_EQ(result.exitCode, 1);
    EXPECT_TRUE(result.err.contains(u"Run-time error '-2147467259':"_s)) << result.err.toStdString();
    EXPECT_EQ(result.OutLines(),
              QStringList{u"Summary: 0 request(s) processed, then the run ended with an error; took 0 s."_s})
        << result.out.toStdString();
    EXPECT_FALSE(QFile::exists(dataPath_ + u"KS.mdb"_s));
}

}  // namespace
