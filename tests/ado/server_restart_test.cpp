// A restart, clean or a crash, of a server of the test's own under open connections.
#include "ado/connection.h"
#include "ado/recordset.h"
#include "support/private_server.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <optional>

namespace {

using ado::Variant;

constexpr int kRows = 1000;   // about four chunks of a streamed scan
constexpr int kValues = 300;  // rows g and g + 300 hold the same value, so a scan meets equal rows

// A connection brought to the moment of the restart, and what a scan on it has given so far.
struct Moment {
    ado::Connection connection;
    ado::Recordset rs;
    std::map<int, int> scanned;  // value -> rows given with it
    void TakeScanned() { ++scanned[rs(QStringLiteral("v")).ToLong()]; }
};

struct RestartCase {
    const char* name;
    std::function<void(Moment&)> before;  // up to the moment of the restart
    std::function<void(Moment&)> call;    // fails while the server is down, goes through once it is back
    std::function<void(Moment&)> check;
};

std::optional<ado::Error> Attempt(const std::function<void()>& call) {
    try {
        call();
    } catch (const ado::Error& err) {
        return err;
    }
    return std::nullopt;
}

QString Scalar(ado::Connection& connection, const QString& sql) {
    ado::Recordset rs;
    rs.Open(sql, connection);
    return rs.FieldAt(0).ToString();
}

void OpenRow(Moment& m, int id) {
    m.rs.Open(QStringLiteral("SELECT * FROM t WHERE id = %1").arg(id), m.connection, ado::adOpenKeyset,
              ado::adLockPessimistic);
}

const std::vector<RestartCase> kCases = {
    {"BetweenTwoStatements", [](Moment&) {},
     [](Moment& m) { m.connection.Execute(QStringLiteral("INSERT INTO t (v) VALUES (-1)")); },
     [](Moment& m) {
         EXPECT_EQ(Scalar(m.connection, QStringLiteral("SELECT COUNT(*) FROM t WHERE v = -1")), "1");
     }},
    {"InTheMiddleOfAStreamedScan",
     [](Moment& m) {
         m.rs.Open(QStringLiteral("SELECT v FROM t"), m.connection);
         m.TakeScanned();
         for (int i = 1; i < 400; ++i) {
             m.rs.MoveNext();
             m.TakeScanned();
         }
         // Rows already given move to the end of the table, so the scan run again meets them last.
         m.connection.Execute(QStringLiteral("UPDATE t SET v = v WHERE id <= 10"));
     },
     [](Moment& m) {
         // A row counts when it becomes current: a move that failed is made again by the next call.
         for (m.rs.MoveNext(); !m.rs.Eof(); m.rs.MoveNext())
             m.TakeScanned();
     },
     [](Moment& m) {
         std::map<int, int> each;
         for (int g = 1; g <= kRows; ++g)
             ++each[g % kValues];
         EXPECT_EQ(m.scanned, each);
     }},
    {"BeforeAKeysetUpdate", [](Moment& m) { OpenRow(m, 2); },
     [](Moment& m) {
         m.rs.Move(0);
         m.rs(QStringLiteral("v")) = Variant(int32_t{-2});
         m.rs.Update();
     },
     [](Moment& m) {
         EXPECT_EQ(Scalar(m.connection, QStringLiteral("SELECT v FROM t WHERE id = 2")), "-2");
     }},
    {"BeforeAKeysetDelete", [](Moment& m) { OpenRow(m, 2); },
     [](Moment& m) {
         m.rs.Move(0);
         m.rs.Delete();
     },
     [](Moment& m) {
         EXPECT_EQ(Scalar(m.connection, QStringLiteral("SELECT COUNT(*) FROM t WHERE id = 2")), "0");
         EXPECT_EQ(Scalar(m.connection, QStringLiteral("SELECT COUNT(*) FROM t")), "999");
     }},
    {"BeforeAnAddNewAndUpdate", [](Moment& m) { OpenRow(m, -1); },
     [](Moment& m) {
         m.rs.AddNew();
         m.rs(QStringLiteral("id")) = Variant(int32_t{5000});
         m.rs(QStringLiteral("v")) = Variant(int32_t{-3});
         m.rs.Update();
     },
     [](Moment& m) {
         EXPECT_EQ(Scalar(m.connection, QStringLiteral("SELECT id FROM t WHERE v = -3")), "5000");
         // The new session knows the table too: the identity follows the key given.
         m.connection.Execute(QStringLiteral("INSERT INTO t (v) VALUES (-4)"));
         EXPECT_EQ(Scalar(m.connection, QStringLiteral("SELECT id FROM t WHERE v = -4")), "5001");
     }},
};

// Catches a call made while the server is away that does not say so (the session lost, then the server not
// reached), that does not go through on a new session once it is back, or that repeats or skips scanned rows;
// and a session lost inside a transaction replaced before the transaction ends.
TEST(ServerRestart, EveryCallSaysTheServerIsAwayAndGoesOnOnANewSessionOnceItIsBack) {
    ado::ClearConnectionPool();
    testsupport::PrivateServer server;
    const QString database = server.NewDatabase(QStringLiteral("restart"));
    const std::vector<std::pair<std::string, std::function<void()>>> stops = {
        {"fast", [&] { server.Stop(); }}, {"immediate", [&] { server.StopImmediately(); }}};

    for (const auto& [mode, stop] : stops) {
        for (const RestartCase& restart : kCases) {
            SCOPED_TRACE(restart.name + (", stopped " + mode));
            Moment m;
            m.connection.Open(database);
            m.connection.Execute(
                QStringLiteral("DROP TABLE IF EXISTS t; CREATE TABLE t (id integer generated by "
                               "default as identity primary key, v integer); INSERT INTO t (v) "
                               "SELECT g % %1 FROM generate_series(1, %2) g")
                    .arg(kValues)
                    .arg(kRows));
            restart.before(m);
            stop();

            // The session is found lost, then no new one can be made; nor can another connection open.
            std::vector<int32_t> natives;
            for (const std::function<void()>& call :
                 std::vector<std::function<void()>>{[&] { restart.call(m); }, [&] { restart.call(m); },
                                                    [&] { ado::Connection().Open(database); }}) {
                const std::optional<ado::Error> err = Attempt(call);
                ASSERT_TRUE(err) << "a call went through while the server was down";
                EXPECT_EQ(ado::CauseOf(err->Number(), err->NativeError()), ado::ErrorCause::ServerAway)
                    << err->Description().toStdString();
                natives.push_back(err->NativeError());
            }
            EXPECT_EQ(natives, (std::vector<int32_t>{ado::SQL_CONNECTION_LOST, ado::SQL_SERVER_UNREACHABLE,
                                                     ado::SQL_SERVER_UNREACHABLE}));

            server.Start();
            const std::optional<ado::Error> after = Attempt([&] { restart.call(m); });
            ASSERT_FALSE(after) << after->Description().toStdString();
            restart.check(m);
        }
    }

    // Nothing that follows a loss inside a transaction runs outside it.
    ado::Connection connection;
    connection.Open(database);
    connection.Execute(QStringLiteral("DELETE FROM t"));
    connection.BeginTrans();
    connection.Execute(QStringLiteral("INSERT INTO t (v) VALUES (1)"));
    server.StopImmediately();
    server.Start();
    for (const QString& sql : {QStringLiteral("INSERT INTO t (v) VALUES (2)"), QStringLiteral("COMMIT")}) {
        const std::optional<ado::Error> lost = Attempt([&] { connection.Execute(sql); });
        ASSERT_TRUE(lost);
        EXPECT_EQ(lost->NativeError(), ado::SQL_CONNECTION_LOST);
    }
    const std::optional<ado::Error> commit = Attempt([&] { connection.CommitTrans(); });
    ASSERT_TRUE(commit);
    EXPECT_EQ(commit->NativeError(), ado::SQL_CONNECTION_LOST);
    connection.Execute(QStringLiteral("INSERT INTO t (v) VALUES (4)"));
    EXPECT_EQ(Scalar(connection, QStringLiteral("SELECT string_agg(v::text, ',') FROM t")), "4");
}

}  // namespace
