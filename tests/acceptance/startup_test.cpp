// Whole runs of the program on databases made with kestrane-admin: the outcome of start-up for each state of
// the schedule and of this workstation's registration, as status lines on standard output and the exit
// status.
#include "ado/connection.h"
#include "ado/provider.h"
#include "support/child_process.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

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

enum class Setup { Incomplete, Complete };
enum class ParametersRow { Missing, NothingScheduled, RequestedByZero, Scheduled };
enum class Workstation { NoName, NotRegistered, Inactive, Admitted };

struct StartupCase {
    const char* name;
    Setup setup;
    ParametersRow parameters;
    Workstation workstation;
    QStringList lines;   // the status lines, in order
    bool linesAreExact;  // false: only that no refusal message shows (the queue run writes its own lines)
};
// Test names show the case by its name.
void PrintTo(const StartupCase& c, std::ostream* os) {
    *os << c.name;
}

class StartupTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(temp_.isValid());
        environment_ = testsupport::ChildEnvironment(temp_.filePath(u"config"_s));
        dataPath_ = temp_.filePath(u"data"_s) + QLatin1Char('/');
    }

    // Runs kestrane-admin and expects it to succeed.
    void Admin(const QStringList& arguments) {
        const ChildResult result = testsupport::RunBinary(kAdmin, arguments, environment_);
        ASSERT_EQ(result.exitCode, 0) << arguments.join(QLatin1Char(' ')).toStdString() << "\n"
                                      << result.err.toStdString();
    }
    ChildResult RunProgram() { return testsupport::RunBinary(kProgram, {}, environment_); }

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
    }
};

TEST_P(StartupOutcomeTest, ShowsTheOutcomeAndClosesItself) {
    const StartupCase& c = GetParam();
    if (c.setup == Setup::Complete)
        ASSERT_NO_FATAL_FAILURE(Prepare(c));

    const ChildResult result = RunProgram();

    EXPECT_EQ(result.exitCode, 0) << result.err.toStdString();
    if (c.linesAreExact) {
        EXPECT_EQ(result.OutLines(), c.lines) << result.out.toStdString();
    } else {
        for (const QString& refusal : {kIncomplete, kNotScheduled, kNotSetUp, kNoAccess}) {
            EXPECT_FALSE(result.out.contains(refusal)) << result.out.toStdString();
        }
    }
    EXPECT_FALSE(result.err.contains(u"Run-time error"_s)) << result.err.toStdString();
}

INSTANTIATE_TEST_SUITE_P(Outcomes, StartupOutcomeTest,
                         ::testing::Values(StartupCase{"IncompleteSetup",
                                                       Setup::Incomplete,
                                                       ParametersRow::Missing,
                                                       Workstation::NoName,
                                                       {kIncomplete},
                                                       true},
                                           StartupCase{"NoParametersRowAdmitted",
                                                       Setup::Complete,
                                                       ParametersRow::Missing,
                                                       Workstation::Admitted,
                                                       {},
                                                       true},
                                           StartupCase{"NothingScheduledAdmitted",
                                                       Setup::Complete,
                                                       ParametersRow::NothingScheduled,
                                                       Workstation::Admitted,
                                                       {kNotScheduled},
                                                       true},
                                           StartupCase{"RequestedByZeroIsNothingScheduled",
                                                       Setup::Complete,
                                                       ParametersRow::RequestedByZero,
                                                       Workstation::Admitted,
                                                       {kNotScheduled},
                                                       true},
                                           StartupCase{"NothingScheduledNoWorkstationName",
                                                       Setup::Complete,
                                                       ParametersRow::NothingScheduled,
                                                       Workstation::NoName,
                                                       {kNotScheduled, kNotSetUp},
                                                       true},
                                           StartupCase{"ScheduledNoWorkstationName",
                                                       Setup::Complete,
                                                       ParametersRow::Scheduled,
                                                       Workstation::NoName,
                                                       {kNotSetUp},
                                                       true},
                                           StartupCase{"ScheduledNotRegistered",
                                                       Setup::Complete,
                                                       ParametersRow::Scheduled,
                                                       Workstation::NotRegistered,
                                                       {kNoAccess},
                                                       true},
                                           StartupCase{"ScheduledInactive",
                                                       Setup::Complete,
                                                       ParametersRow::Scheduled,
                                                       Workstation::Inactive,
                                                       {kNoAccess},
                                                       true},
                                           StartupCase{"ScheduledAdmitted",
                                                       Setup::Complete,
                                                       ParametersRow::Scheduled,
                                                       Workstation::Admitted,
                                                       {},
                                                       false}),
                         [](const ::testing::TestParamInfo<StartupCase>& info) { return info.param.name; });

TEST_F(StartupTest, IncompleteSetupIsToldToTheUser) {
    const ChildResult result = RunProgram();
    EXPECT_EQ(result.exitCode, 0);
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
    EXPECT_EQ(result.OutLines(), QStringList{kNotScheduled});
}

TEST_F(StartupTest, MissingMainDatabaseEndsTheRunWithTheErrorReport) {
    Admin({u"init"_s, u"--data-path"_s, dataPath_});
    Admin({u"configure"_s, u"--data-path"_s, dataPath_, u"--workstation"_s, kWorkstation});
    ASSERT_TRUE(QFile::remove(dataPath_ + u"KS.mdb"_s));

    const ChildResult result = RunProgram();

    EXPECT_EQ(result.exitCode, 1);
    EXPECT_TRUE(result.err.contains(u"Run-time error '-2147467259':"_s)) << result.err.toStdString();
    EXPECT_TRUE(result.OutLines().isEmpty()) << result.out.toStdString();
    EXPECT_FALSE(QFile::exists(dataPath_ + u"KS.mdb"_s));
}

}  // namespace
