// The product's data is shared: while the processor rebuilds agencies, another program commits a queue request
// and an unrelated row every few milliseconds. The run must end as an undisturbed run on the same data does,
// on the embedded files and on the server.
#include "acceptance/queue_run_fixture.h"
#include "support/child_process.h"

#include <QProcess>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

using acceptance::kProgram;
using testsupport::Engine;

constexpr int kClients = 3000;
constexpr int kAgencies = 12;
constexpr int kSeed = 20261206;

// A shell loop that commits, one statement at a time, a request for a client that does not exist and a new
// person, and prints a line after each commit, until it is killed.
QString WriterScript(Engine engine) {
    const QString statements =
        u"INSERT INTO Disqualifications_Queue (Table_Name, Table_ID, Creation_Date) VALUES ('People', "
        u"900000 + $i, '2030-01-01 00:00:00'); INSERT INTO People ([Last Name]) VALUES ('Writer');"_s;
    if (engine == Engine::Jet) {
        return u"i=0; while :; do i=$((i+1)); sqlite3 -cmd '.timeout 2000' \"$DB\" \"%1\" && echo ok; done"_s
            .arg(statements);
    }
    // The server's names are lower case and quoted where they hold a blank.
    const QString server = QString(statements).replace(u"[Last Name]"_s, u"\\\"last name\\\""_s);
    return u"i=0; while :; do i=$((i+1)); psql -qAt -h \"$PGHOST\" -p \"$PGPORT\" -d Kestrane -c \"BEGIN; "
           u"%1 COMMIT;\" >/dev/null && echo ok; done"_s.arg(server);
}

class SharedDataTest : public acceptance::QueueRunFixture {
protected:
    // A fresh data set in folder name with six agencies and three clients queued and a rebuild due now.
    void PrepareRun(const QString& name) {
        MakeDataSet(name, {kClients, kAgencies, kSeed});
        for (int agency = 1; agency <= 6; ++agency)
            Admin({u"enqueue"_s, u"agency"_s, QString::number(agency)});
        for (int client : {5, 50, 500})
            Admin({u"enqueue"_s, u"client"_s, QString::number(client)});
        Admin({u"schedule"_s, u"--user"_s, user_, u"--in"_s, u"0"_s});
    }

    testsupport::ChildResult Run() {
        return testsupport::RunBinary(kProgram, {}, testsupport::ChildEnvironment(config_));
    }

    // The rows the other program has committed so far.
    int WriterRows() const {
        return Rows(MainString(), u"SELECT COUNT(*) AS N FROM People WHERE [Last Name] = 'Writer'"_s, {u"N"_s})
            .at(0)
            .at(0)
            .toInt();
    }
};

TEST_P(SharedDataTest, AnotherProgramCommittingDuringTheRebuildsLosesNoEntry) {
    PrepareRun(u"undisturbed"_s);
    ASSERT_FALSE(HasFailure());
    const testsupport::ChildResult undisturbed = Run();
    ASSERT_EQ(undisturbed.exitCode, 0) << undisturbed.err.toStdString();
    const acceptance::Pairs expected = PairsOf(u"SELECT * FROM Blacklist"_s);

    PrepareRun(u"disturbed"_s);
    ASSERT_FALSE(HasFailure());
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"DB"_s, dataPath_ + u"KS.mdb"_s);
    environment.insert(u"PGHOST"_s, qEnvironmentVariable("KESTRANE_TEST_PG_HOST"));
    environment.insert(u"PGPORT"_s, qEnvironmentVariable("KESTRANE_TEST_PG_PORT"));
    QProcess writer;
    writer.setProcessEnvironment(environment);
    writer.start(u"bash"_s, {u"-c"_s, WriterScript(GetParam())});
    ASSERT_TRUE(writer.waitForReadyRead(30000)) << writer.readAllStandardError().toStdString();
    const int before = WriterRows();
    const testsupport::ChildResult disturbed = Run();
    const int during = WriterRows() - before;
    writer.kill();
    writer.waitForFinished();

    EXPECT_EQ(disturbed.exitCode, 0) << disturbed.err.toStdString();
    EXPECT_FALSE(disturbed.err.contains(u"Failed"_s)) << disturbed.err.toStdString();
    EXPECT_GE(during, 3) << "the other program committed " << during << " times during the run, "
                          << before << " before it";
    EXPECT_EQ(PairsOf(u"SELECT * FROM Blacklist"_s), expected);
    EXPECT_TRUE(DuplicatePairs().empty());
}

INSTANTIATE_TEST_SUITE_P(Engines, SharedDataTest, ::testing::Values(Engine::Jet, Engine::Server),
                         acceptance::EngineName);

}  // namespace
