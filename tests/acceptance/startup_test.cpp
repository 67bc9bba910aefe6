// Whole runs of the program on databases made with kestrane-admin, on a virtual clock that starts at
// 2030-01-07 08:00:00: for each state of the schedule and of this workstation's registration, the status
// lines, the seconds the run holds and waits, the exit status, and what the run leaves in the schedule and
// the log.
#include "acceptance/queue_run_fixture.h"
#include "data/connection_settings.h"
#include "data/run_guard.h"
#include "support/free_display.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <optional>

using namespace Qt::StringLiterals;

namespace {

using acceptance::ChildResult;
using acceptance::kWorkstation;

const QString kIncomplete = u"Information to rebuild is missing. Rebuild not performed."_s;
const QString kNotScheduled = u"No rebuild has been scheduled."_s;
const QString kNotSetUp = u"This workstation is not set up for Kestrane."_s;
const QString kNoAccess = u"This workstation does not have access to Kestrane."_s;
const QString kEmptyQueue = u"There are no disqualifications in the rebuild queue."_s;

// The data a run meets: none at all (no settings), or the product's databases with [Parameters] row 1 as
// given, a request for an agency that does not exist queued, or the data held by another run.
enum class Data {
    None,
    NoParametersRow,
    NothingScheduled,
    ByUserZero,
    Now,
    In25s,
    PastByUnknownUser,
    AgencyMissing,
    AnotherRun
};
enum class Workstation { NoName, NotRegistered, Inactive, Admitted };

struct StartupCase {
    const char* name;
    Data data;
    Workstation workstation;
    int status;         // the exit status of the run, and of --check before it
    QStringList lines;  // every status line before the summary
    QString summary;    // the last line, with the seconds the run held and waited on the virtual clock
    // What the run leaves: [Parameters] row 1 as "requester, time", then each activity-log row as
    // "user, workstation, notes" (this workstation is 2, the scheduling user 1).
    QStringList left;
};
void PrintTo(const StartupCase& c, std::ostream* os) {
    *os << c.name;
}

// On a virtual clock that starts at 2030-01-07 08:00:00 (kestrane-admin's schedule and the program share it).
class StartupTest : public acceptance::RunFixture {
protected:
    void SetUp() override {
        RunFixture::SetUp();
        UseFolder({}, u"2030-01-07T08:00:00"_s);
    }
    // The product's databases, a user (ID 1), another workstation (ID 1: this one is 2), and data as given.
    void Prepare(Data data, Workstation workstation) {
        Init(workstation == Workstation::NoName ? QString() : kWorkstation);
        Admin({u"add-user"_s, u"planner"_s});
        Admin({u"add-workstation"_s, u"WS-OTHER"_s});
        if (workstation == Workstation::Admitted || workstation == Workstation::Inactive) {
            Admin(QStringList{u"add-workstation"_s, kWorkstation} +
                  (workstation == Workstation::Inactive ? QStringList{u"--inactive"_s} : QStringList{}));
        }
        const auto set = [&](const QString& user, const QString& time) {
            Execute(
                u"UPDATE [Parameters] SET Next_Rebuild_Requested_By = %1, "
                u"Next_Disqualifications_Rebuild = '%2' WHERE ID = 1"_s.arg(user, time));
        };
        switch (data) {
            case Data::NoParametersRow:
                Execute(u"DELETE FROM [Parameters]"_s);
                break;
            // kestrane-admin refuses user 0 and unknown users: other programs of the product may write them.
            case Data::ByUserZero:
                set(u"0"_s, u"2030-01-01 08:00:00"_s);
                break;
            case Data::PastByUnknownUser:
                set(u"42"_s, u"2030-01-07 07:00:00"_s);
                break;
            case Data::Now:
            case Data::AgencyMissing:
                Admin({u"schedule"_s, u"--user"_s, u"1"_s, u"--in"_s, u"0"_s});
                break;
            case Data::In25s:
                Admin({u"schedule"_s, u"--user"_s, u"1"_s, u"--in"_s, u"25"_s});
                break;
            default:
                break;
        }
        if (data == Data::AgencyMissing)
            Admin({u"enqueue"_s, u"agency"_s, u"999"_s, u"--force"_s});
    }
};

class StartupOutcomeTest : public StartupTest, public ::testing::WithParamInterface<StartupCase> {};

TEST_P(StartupOutcomeTest, EndsWithItsOwnStatusLinesHoldsAndSummary) {
    const StartupCase& c = GetParam();
    if (c.data != Data::None)
        Prepare(c.data, c.workstation);
    ASSERT_FALSE(HasFailure());
    // The run that holds the data: this test process, through the lock a run takes.
    std::optional<data::RunGuard> holder;
    if (c.data == Data::AnotherRun) {
        data::ConnectionSettings settings;
        settings.accessFlag = true;
        settings.dataPath = dataPath_;
        settings.usersDatabaseFile = dataPath_ + u"KS_users.mdb"_s;
        holder.emplace(settings);
        ASSERT_TRUE(holder->Held());
        // The holder as a host with a domain writes itself.
        QFile lock(dataPath_ + u"KS_queue.lock"_s);
        ASSERT_TRUE(lock.open(QIODevice::WriteOnly | QIODevice::Truncate));
        lock.write("host=ws-7.corp.example\npid=" + QByteArray::number(QCoreApplication::applicationPid()) +
                   "\nsince=2030-01-07T07:59:00\n");
    }

    // The check first: it writes nothing and waits for nothing, so the run after it meets the same data.
    const ChildResult check = Run({u"--check"_s});
    EXPECT_EQ(check.exitCode, c.status) << check.out.toStdString() << check.err.toStdString();
    ASSERT_FALSE(check.OutLines().isEmpty());
    EXPECT_TRUE(check.OutLines().last().startsWith(u"A run would end with status %1: "_s.arg(c.status)))
        << check.out.toStdString();

    const ChildResult result = Run();

    EXPECT_EQ(result.exitCode, c.status) << result.err.toStdString();
    QStringList lines = result.OutLines();
    ASSERT_FALSE(lines.isEmpty());
    EXPECT_EQ(lines.takeLast(), c.summary) << result.out.toStdString();
    EXPECT_EQ(lines, c.lines);
    EXPECT_FALSE(result.err.contains(u"Run-time error"_s)) << result.err.toStdString();
    if (c.data != Data::None) {
        EXPECT_EQ(Rows(u"SELECT * FROM [Parameters]"_s,
                       {u"Next_Rebuild_Requested_By"_s, u"Next_Disqualifications_Rebuild"_s}) +
                      Rows(u"SELECT * FROM [Activity Log] ORDER BY ID"_s,
                           {u"User ID"_s, u"Workstation"_s, u"Notes"_s}, UsersString()),
                  c.left);
    }
}

// The summary of a run that processed nothing because of why, after seconds.
QString Nothing(const char* why, int seconds) {
    return u"Summary: 0 request(s) processed: %1; took %2 s."_s.arg(QLatin1String(why)).arg(seconds);
}
// The status lines of a run that waits for 07/01/2030 due, begins at began and then says last.
QStringList Ran(const char* due, const char* began, const QString& last = kEmptyQueue) {
    return {u"Waiting for 07/01/2030 "_s + QLatin1String(due),
            u"Rebuild began at 07/01/2030 "_s + QLatin1String(began), last};
}
const QString kBegan = u"1, 2, KSProcessDisqualificationsQueue began at 07/01/2030 08:00:00."_s;
const QString kFinished = u"1, 2, KSProcessDisqualificationsQueue finished at 07/01/2030 08:00:01."_s;
const QString kScheduled = u"1, 07/01/2030 08:00:00"_s;
const QString kCleared = u"Null, Null"_s;

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Outcomes, StartupOutcomeTest,
    ::testing::Values(
        // Each start-up message is held 5 s, and the last status 5 s more.
        StartupCase{"IncompleteSetup", Data::None, Workstation::NoName, 78, {kIncomplete},
                    Nothing("the settings are incomplete", 5), {}},
        StartupCase{"NoParametersRowAdmitted", Data::NoParametersRow, Workstation::Admitted, 0, {},
                    Nothing("no rebuild has been scheduled", 5), {}},
        StartupCase{"NothingScheduledAdmitted", Data::NothingScheduled, Workstation::Admitted, 0, {kNotScheduled},
                    Nothing("no rebuild has been scheduled", 10), {kCleared}},
        StartupCase{"RequestedByZeroIsNothingScheduled", Data::ByUserZero, Workstation::Admitted, 0, {kNotScheduled},
                    Nothing("no rebuild has been scheduled", 10), {u"0, 01/01/2030 08:00:00"_s}},
        StartupCase{"NothingScheduledNoWorkstationName", Data::NothingScheduled, Workstation::NoName, 77,
                    {kNotScheduled, kNotSetUp}, Nothing("this workstation is not admitted", 15), {kCleared}},
        StartupCase{"ScheduledNoWorkstationName", Data::Now, Workstation::NoName, 77, {kNotSetUp},
                    Nothing("this workstation is not admitted", 10), {kScheduled}},
        StartupCase{"ScheduledNotRegistered", Data::Now, Workstation::NotRegistered, 77, {kNoAccess},
                    Nothing("this workstation is not admitted", 10), {kScheduled}},
        StartupCase{"ScheduledInactive", Data::Now, Workstation::Inactive, 77, {kNoAccess},
                    Nothing("this workstation is not admitted", 10), {kScheduled}},
        // The empty queue: 1 s before each log row, then the 5 s hold; the schedule is cleared.
        StartupCase{"ScheduledAdmittedEmptyQueue", Data::Now, Workstation::Admitted, 0, Ran("08:00:00", "08:00:00"),
                    u"Summary: 0 request(s) processed; took 7 s."_s, {kCleared, kBegan, kFinished}},
        // The wait checks the time every 10 s: a rebuild due in 25 s begins after 30.
        StartupCase{"ScheduledAheadWaitsInStepsOfTenSeconds", Data::In25s, Workstation::Admitted, 0,
                    Ran("08:00:25", "08:00:30"), u"Summary: 0 request(s) processed; took 37 s."_s,
                    {kCleared, u"1, 2, KSProcessDisqualificationsQueue began at 07/01/2030 08:00:30."_s,
                     u"1, 2, KSProcessDisqualificationsQueue finished at 07/01/2030 08:00:31."_s}},
        // A time in the past begins at once; a requester missing from the user list is user 0.
        StartupCase{"PastScheduleByAnUnknownUserBeginsAtOnce", Data::PastByUnknownUser, Workstation::Admitted, 0,
                    Ran("07:00:00", "08:00:00"), u"Summary: 0 request(s) processed; took 7 s."_s,
                    {kCleared, u"0"_s + kBegan.mid(1), u"0"_s + kFinished.mid(1)}},
        StartupCase{"RequestForAMissingAgencyStaysQueued", Data::AgencyMissing, Workstation::Admitted, 65,
                    Ran("08:00:00", "08:00:00", u"There are 1 item(s) in the queue."_s) << u"Total of 0 processed."_s,
                    u"Summary: 0 request(s) processed; 1 left in the queue because their agency does not exist; "
                    u"took 7 s."_s,
                    {kCleared, kBegan, kFinished}},
        StartupCase{"AnotherRunHoldsTheData", Data::AnotherRun, Workstation::Admitted, 75,
                    {u"Another run holds this data. Rebuild not performed."_s,
                     u"Process %1 on ws-7 since 07/01/2030 07:59:00"_s.arg(QCoreApplication::applicationPid())},
                    Nothing("another run holds this data", 5), {kCleared}}),
    [](const ::testing::TestParamInfo<StartupCase>& info) { return info.param.name; });
// clang-format on

// Help and version print and end; anything else is refused with the usage; none of them runs the job.
TEST_F(StartupTest, CommandLineAsksOrIsRefusedWithoutRunningTheJob) {
    const QString usage = u"Usage: KSProcessDisqualificationsQueue [options]\n"_s;
    const QString shortUsage =
        u"\nUsage: KSProcessDisqualificationsQueue [--check | --help | --version]\n"
        u"\"KSProcessDisqualificationsQueue --help\" explains the options and the exit statuses.\n"_s;
    const struct {
        QString argument;
        int status;
        QString outStart, err;
    } cases[] = {
        {u"--help"_s, 0, usage, {}},
        {u"-h"_s, 0, usage, {}},
        {u"--version"_s, 0, u"KSProcessDisqualificationsQueue 1.0.0\n"_s, {}},
        {u"--hepl"_s, 64, {}, u"KSProcessDisqualificationsQueue: Unknown option 'hepl'."_s + shortUsage},
        {u"now"_s, 64, {}, u"KSProcessDisqualificationsQueue: unexpected argument 'now'."_s + shortUsage},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.argument.toStdString());
        const ChildResult result = Run({c.argument});
        EXPECT_EQ(result.exitCode, c.status);
        EXPECT_TRUE(c.outStart.isEmpty() ? result.out.isEmpty() : result.out.startsWith(c.outStart))
            << result.out.toStdString();
        EXPECT_EQ(result.err, c.err);
    }
}

// A display that nobody answers on is said once, and the run goes on headless to its end.
TEST_F(StartupTest, DisplayThatCannotBeOpenedRunsHeadless) {
    Prepare(Data::Now, Workstation::Admitted);
    const QString display = QString::fromLatin1(testsupport::FreeDisplay());
    environment_.remove(u"QT_QPA_PLATFORM"_s);
    environment_.insert(u"DISPLAY"_s, display);

    const ChildResult result = Run();

    EXPECT_EQ(result.exitCode, 0) << result.err.toStdString();
    EXPECT_EQ(result.err, u"Cannot open the display "_s + display + u"; running without a display.\n"_s);
    EXPECT_EQ(result.OutLines(), Ran("08:00:00", "08:00:00")
                                     << u"Summary: 0 request(s) processed; took 7 s."_s);
}

// Under the journal each line carries its priority, and a message box (the incomplete settings, told once for
// each thing missing) is one line.
TEST_F(StartupTest, JournalLinesCarryTheirPriority) {
    environment_.insert(u"JOURNAL_STREAM"_s, u"8:12345"_s);

    const ChildResult result = Run();

    EXPECT_EQ(result.exitCode, 78);
    const QString box =
        u"<3>KSProcessDisqualificationsQueue (critical): This workstation has an incomplete setup "
        u"for Kestrane. Receipts will not be verified. -> OK (no terminal)\n"_s;
    EXPECT_EQ(result.err, box + box);
    EXPECT_EQ(result.OutLines(),
              (QStringList{u"<6>"_s + kIncomplete, u"<6>"_s + Nothing("the settings are incomplete", 5)}));
}

// A statement that fails at start-up (a workstation name with an apostrophe; the main file gone) ends the run
// with the error report and a summary that says so, and creates no file.
TEST_F(StartupTest, AFailingStatementAtStartUpEndsTheRunWithTheErrorReport) {
    for (const bool apostrophe : {true, false}) {
        SCOPED_TRACE(apostrophe ? "apostrophe" : "no main file");
        Init(apostrophe ? u"O'Brien's PC"_s : kWorkstation);
        if (apostrophe)
            Admin({u"add-workstation"_s, u"O'Brien's PC"_s});
        else
            ASSERT_TRUE(QFile::remove(dataPath_ + u"KS.mdb"_s));

        const ChildResult result = Run();

        EXPECT_EQ(result.exitCode, 1);
        EXPECT_TRUE(
            result.err.contains(apostrophe ? u"Run-time error '"_s : u"Run-time error '-2147467259':"_s))
            << result.err.toStdString();
        const QString summary =
            u"Summary: 0 request(s) processed, then the run ended with an error; took %1 s."_s;
        const QStringList lines =
            apostrophe ? QStringList{kNotScheduled, summary.arg(5)} : QStringList{summary.arg(0)};
        EXPECT_EQ(result.OutLines(), lines);
        EXPECT_EQ(QFile::exists(dataPath_ + u"KS.mdb"_s), apostrophe);
        QDir(dataPath_).removeRecursively();
    }
}

}  // namespace
