// A run of the program killed at random points, and started again each time, ends with the same Blacklist,
// queue and schedule as an uninterrupted run on the same data, on the embedded files and on the server. The
// kills follow the program's statement trace, so they land anywhere: between two statements, inside a write,
// inside the engine's commit. KESTRANE_KILL_SEED chooses other kill points; the ones used are printed.
#include "acceptance/queue_run_fixture.h"
#include "ado/connection.h"
#include "ado/recordset.h"
#include "support/child_process.h"

#include <QDateTime>
#include <QProcess>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <iostream>
#include <iterator>
#include <random>
#include <set>
#include <string>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

using acceptance::kProgram;
using testsupport::Engine;

constexpr int kClients = 40;
constexpr int kAgencies = 8;
constexpr int kSampleSeed = 20261206;
constexpr uint32_t kDefaultKillSeed = 6121;
constexpr int kKills = 6;
constexpr int kWaitMs = 60000;

// One queued request.
struct Request {
    QString tableName;
    int32_t id = 0;
};

// Client requests with a request for the next agency after every fifth client, the missing agency 999 in the
// middle (it stays queued), every tenth client under a Table_Name that is not "Agencies", and two agencies
// and a client asked for again at the end. The last request that touches a pair decides its entry, so the
// order of the queue counts.
std::vector<Request> Requests() {
    std::vector<Request> requests;
    for (int32_t client = 1; client <= kClients; ++client) {
        requests.push_back({client % 10 == 0 ? u"agencies"_s : u"People"_s, client});
        if (client % 5 == 0)
            requests.push_back({u"Agencies"_s, client / 5});
        if (client == kClients / 2)
            requests.push_back({u"Agencies"_s, 999});
    }
    requests.push_back({u"Agencies"_s, 3});
    requests.push_back({u"Agencies"_s, 6});
    requests.push_back({u"People"_s, 7});
    return requests;
}

// Queues the requests one second apart, so that their order does not depend on the engine.
void Enqueue(const QString& connectionString, const std::vector<Request>& requests) {
    ado::Connection connection;
    connection.Open(connectionString);
    ado::Recordset queue;
    queue.Open(u"SELECT * FROM Disqualifications_Queue WHERE ID = -1"_s, connection, ado::adOpenKeyset,
               ado::adLockPessimistic);
    QDateTime created(QDate(2026, 3, 1), QTime(9, 0));
    for (const Request& request : requests) {
        queue.AddNew();
        queue(u"Table_Name"_s) = ado::Variant(request.tableName);
        queue(u"Table_ID"_s) = ado::Variant(request.id);
        queue(u"Creation_Date"_s) = ado::Variant(created);
        queue.Update();
        created = created.addSecs(1);
    }
    queue.Close();
    connection.Close();
}

// How one traced run of the program ended.
struct TracedRun {
    int statements = 0;    // statements read from its trace
    bool killed = false;   // ended by the kill
    int exitCode = -1;     // when it ended by itself; -1 when it crashed or hung
    QStringList messages;  // the last lines it wrote on standard error besides the trace
};

// Runs the program with its statement trace on standard error. With killAfter above 0, kills it (SIGKILL)
// as soon as that many statements have been read; the kill lands a little later, wherever the program is.
TracedRun RunTraced(QProcessEnvironment environment, int killAfter) {
    constexpr qsizetype kMessagesKept = 20;
    environment.insert(u"KESTRANE_SQL_TRACE"_s, u"/dev/stderr"_s);
    QProcess program;
    program.setProcessEnvironment(environment);
    program.setStandardInputFile(QProcess::nullDevice());
    program.setStandardOutputFile(QProcess::nullDevice());
    program.setReadChannel(QProcess::StandardError);
    program.start(QStringLiteral(KESTRANE_BIN_DIR "/") + kProgram);

    TracedRun run;
    bool killSent = false;
    const auto readLines = [&] {
        while (!killSent && program.canReadLine()) {
            const QByteArray line = program.readLine();
            if (line.count('\t') >= 3) {
                ++run.statements;
            } else {
                run.messages << QString::fromLocal8Bit(line).trimmed();
                if (run.messages.size() > kMessagesKept)
                    run.messages.removeFirst();
            }
            if (killAfter > 0 && run.statements >= killAfter) {
                program.kill();
                killSent = true;
            }
        }
    };
    do {
        readLines();
    } while (!killSent && program.waitForReadyRead(kWaitMs));
    if (program.state() != QProcess::NotRunning && !program.waitForFinished(kWaitMs)) {
        program.kill();
        program.waitForFinished();
        run.messages << u"(no end after %1 ms)"_s.arg(kWaitMs);
        return run;
    }
    readLines();
    if (program.exitStatus() == QProcess::NormalExit)
        run.exitCode = program.exitCode();
    else
        run.killed = killSent;
    return run;
}

// The seed of the kill points: KESTRANE_KILL_SEED when set, to replay a failure, else a fixed one.
uint32_t KillSeed() {
    bool given = false;
    const uint32_t seed = qEnvironmentVariable("KESTRANE_KILL_SEED").toUInt(&given);
    return given ? seed : kDefaultKillSeed;
}

// Statement counts after which each run is killed: kills random instants of a run of `statements`
// statements, each run killed after the statements between its instant and the previous one. A run started
// again first repeats its start and the request that was cut short, so the instants spread over the whole
// work and the last run still has some left.
std::vector<int> KillPoints(uint32_t seed, int statements) {
    std::mt19937 dice(seed);
    std::uniform_int_distribution<int> instant(1, std::max(1, statements));
    std::vector<int> instants;
    for (int i = 0; i < kKills; ++i)
        instants.push_back(instant(dice));
    std::sort(instants.begin(), instants.end());
    std::vector<int> points;
    int previous = 0;
    for (int at : instants) {
        points.push_back(std::max(1, at - previous));
        previous = at;
    }
    return points;
}

std::string Joined(const std::vector<int>& numbers) {
    QStringList texts;
    for (int number : numbers)
        texts << QString::number(number);
    return texts.join(u", "_s).toStdString();
}

// What a run leaves that the runs are compared on: every Blacklist row as client, agency and whether it was
// entered by hand (IDs and dates differ from run to run), the queue and the schedule.
struct Outcome {
    std::multiset<std::string> blacklist;
    std::multiset<std::string> queue;
    std::multiset<std::string> schedule;
};

std::string Difference(const std::multiset<std::string>& from, const std::multiset<std::string>& without) {
    std::vector<std::string> rest;
    std::set_difference(from.begin(), from.end(), without.begin(), without.end(), std::back_inserter(rest));
    std::string text;
    for (const std::string& row : rest)
        text += " (" + row + ")";
    return text.empty() ? " none" : text;
}

class KillAnywhereTest : public acceptance::QueueRunFixture {
protected:
    // A fresh data set in folder name, with the requests queued and a rebuild due now.
    void PrepareRun(const QString& name) {
        MakeDataSet(name, {kClients, kAgencies, kSampleSeed});
        Enqueue(MainString(), Requests());
        Admin({u"schedule"_s, u"--user"_s, user_, u"--in"_s, u"0"_s});
    }

    std::multiset<std::string> RowsAsText(const QString& sql, const QStringList& fields) const {
        std::multiset<std::string> rows;
        for (const QStringList& row : Rows(MainString(), sql, fields))
            rows.insert(row.join(u", "_s).toStdString());
        return rows;
    }

    Outcome OutcomeNow() const {
        return {
            RowsAsText(u"SELECT * FROM Blacklist"_s, {u"Client_ID"_s, u"Agency_ID"_s, u"Manually_Entered"_s}),
            RowsAsText(u"SELECT * FROM Disqualifications_Queue"_s, {u"Table_Name"_s, u"Table_ID"_s}),
            RowsAsText(u"SELECT * FROM [Parameters] WHERE ID = 1"_s,
                       {u"Next_Disqualifications_Rebuild"_s, u"Next_Rebuild_Requested_By"_s})};
    }
};

TEST_P(KillAnywhereTest, ARunKilledAtRandomPointsEndsWithTheBlacklistOfAnUninterruptedOne) {
    PrepareRun(u"reference"_s);
    ASSERT_FALSE(HasFailure());
    const TracedRun reference = RunTraced(testsupport::ChildEnvironment(config_), 0);
    // The request for the missing agency stays queued.
    ASSERT_EQ(reference.exitCode, 65) << reference.messages.join(u'\n').toStdString();
    const Outcome expected = OutcomeNow();
    ASSERT_TRUE(DuplicatePairs().empty());
    ASSERT_EQ(expected.queue, (std::multiset<std::string>{"Agencies, 999"}));
    ASSERT_GT(reference.statements, kKills);

    const uint32_t seed = KillSeed();
    const std::vector<int> killAfter = KillPoints(seed, reference.statements);
    const std::string replay = "KESTRANE_KILL_SEED=" + std::to_string(seed) + ": runs killed after " +
                               Joined(killAfter) + " statements (an uninterrupted run has " +
                               std::to_string(reference.statements) + ")";
    std::cout << replay << std::endl;
    RecordProperty("kill_seed", std::to_string(seed));
    RecordProperty("kill_points", Joined(killAfter));
    SCOPED_TRACE(replay);

    PrepareRun(u"killed"_s);
    ASSERT_FALSE(HasFailure());
    const QProcessEnvironment environment = testsupport::ChildEnvironment(config_);
    int killed = 0;
    for (size_t i = 0; i < killAfter.size(); ++i) {
        const TracedRun run = RunTraced(environment, killAfter[i]);
        if (run.killed) {
            ++killed;
            continue;
        }
        // The work ran out before this kill point: the run must have ended well, with the queue worked off
        // (and the missing agency's request left in it) or with nothing scheduled any more.
        ASSERT_TRUE(run.exitCode == 65 || run.exitCode == 0)
            << "run " << i + 1 << " ended with " << run.exitCode << ":\n"
            << run.messages.join(u'\n').toStdString();
    }
    std::cout << killed << " of " << kKills << " runs killed before their work ran out" << std::endl;
    EXPECT_GT(killed, 0);
    const TracedRun last = RunTraced(environment, 0);
    ASSERT_TRUE(last.exitCode == 65 || last.exitCode == 0) << last.exitCode << ":\n"
                                                           << last.messages.join(u'\n').toStdString();

    const Outcome actual = OutcomeNow();
    EXPECT_EQ(actual.blacklist, expected.blacklist)
        << "missing:" << Difference(expected.blacklist, actual.blacklist)
        << "\nextra:" << Difference(actual.blacklist, expected.blacklist);
    EXPECT_TRUE(DuplicatePairs().empty());
    EXPECT_EQ(actual.queue, expected.queue);
    EXPECT_EQ(actual.schedule, expected.schedule);
}

INSTANTIATE_TEST_SUITE_P(Engines, KillAnywhereTest, ::testing::Values(Engine::Jet, Engine::Server),
                         acceptance::EngineName);

}  // namespace
