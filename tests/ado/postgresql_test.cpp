// The server provider over a real PostgreSQL server; what it shares with SQLite is in both_engines_test.cpp.
#include "ado/postgresql/connection.h"
#include "ado/postgresql/error.h"
#include "ado/postgresql/literal_parameters.h"
#include "helpers.h"
#include "support/databases.h"
#include "support/product_schema.h"
#include "support/server_connection.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <pwd.h>
#include <unistd.h>

#include <fstream>
#include <map>

using namespace Qt::StringLiterals;

namespace {

// Resident memory of this process, in bytes.
int64_t ResidentBytes() {
    std::ifstream statm("/proc/self/statm");
    int64_t pages = 0, resident = 0;
    statm >> pages >> resident;
    return resident * sysconf(_SC_PAGESIZE);
}

class ServerTest : public ::testing::Test {
protected:
    void SetUp() override {
        KESTRANE_REQUIRE_SERVER();
        ado::ClearConnectionPool();
        database_ = testsupport::NewProductDatabase(testsupport::Engine::Server, dir_.path());
        connection_.Open(database_);
    }
    void TearDown() override { ado::ClearConnectionPool(); }

    QTemporaryDir dir_;
    QString database_;
    ado::Connection connection_;
};

// Catches a connection string misread, or sessions without the 100 ms lock wait or the time-out.
TEST(ServerConnectionParameters, FollowTheConnectionString) {
    const QByteArray me = getpwuid(geteuid())->pw_name;
    const struct {
        QString connectionString;
        std::map<QByteArray, QByteArray> expected;  // keys that must be there with these values
        std::vector<QByteArray> absent;
    } cases[] = {
        {u"Provider=SQLOLEDB.1;Integrated Security=SSPI;Data Source=dbhost;Persist Security "
         "Info=False;Initial Catalog=Kestrane;"_s,
         {{"host", "dbhost"}, {"dbname", "Kestrane"}, {"user", me}},
         {"port", "password"}},
        {u"Provider=SQLOLEDB.1;Data Source=db.example.org,6543;Persist Security Info=False;"
         "Initial Catalog=Kestrane;UID=clerk;Pwd=se;cret;"_s,
         {{"host", "db.example.org"}, {"port", "6543"}, {"user", "clerk"}, {"password", "se"}},
         {}},
        {u"Data Source=/run/kestrane sockets,5433;Initial Catalog=k"_s,
         {{"host", "/run/kestrane sockets"}, {"port", "5433"}},
         {}},
        {u"Data Source=SERVER01\\SQLEXPRESS;UID=a;Pwd=b"_s, {{"host", "SERVER01"}}, {}},  // no instance
        {u"Data Source=(local);Integrated Security=SSPI"_s, {}, {"host", "port", "password"}},
    };
    ado::provider::OpenOptions options;
    options.commandTimeoutSeconds = 18;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.connectionString.toStdString());
        std::map<QByteArray, QByteArray> actual;
        for (const auto& [key, value] :
             ado::postgresql::ConnectionParameters(ado::ConnectionString(c.connectionString), options))
            actual[key] = value;
        for (const auto& [key, value] : c.expected)
            EXPECT_EQ(actual[key], value) << key.constData();
        for (const QByteArray& key : c.absent)
            EXPECT_EQ(actual.count(key), 0u) << key.constData();
        EXPECT_TRUE(actual["options"].contains("-c lock_timeout=100"));
        EXPECT_TRUE(actual["options"].contains("-c statement_timeout=18000"));
    }
}

// Catches server states the tests cannot provoke mapped to numbers the callers retry or give up by wrongly.
TEST(ServerSqlStates, FollowTheTable) {
    const struct {
        const char* sqlState;
        bool atConnect;
        int32_t number;
        int32_t nativeError;
    } cases[] = {{"40P01", false, ado::E_FAIL_HR, 1222},
                 {"08006", false, ado::E_FAIL_HR, 10054},
                 {"53200", false, ado::E_FAIL_HR, 0},
                 {"57P03", true, ado::E_FAIL_HR, 17},
                 {"57P01", true, ado::E_FAIL_HR, 17}};
    for (const auto& c : cases) {
        using namespace ado::postgresql;
        const ErrorNumbers numbers =
            c.atConnect ? NumbersForConnectState(c.sqlState) : NumbersForSqlState(c.sqlState);
        EXPECT_EQ(numbers.hresult, c.number) << c.sqlState;
        EXPECT_EQ(numbers.nativeError, c.nativeError) << c.sqlState;
    }
}

// Catches the rows numbered after a batch that gave one its number not following it.
TEST_F(ServerTest, TheRowsNumberedNextFollowOneGivenItsNumber) {
    connection_.Execute(
        u"SET IDENTITY_INSERT Blacklist ON; INSERT INTO Blacklist (ID) VALUES (7); "
        "SET IDENTITY_INSERT Blacklist OFF"_s);
    connection_.Execute(u"INSERT INTO Blacklist (Client_ID) VALUES (1)"_s);
    EXPECT_EQ(Scalar(connection_, u"SELECT ID FROM Blacklist WHERE Client_ID = 1"_s), u"8"_s);
}

// Catches a scan read whole into memory or disturbed beside it, or statements prepared per value.
TEST_F(ServerTest, AForwardOnlyScanStreamsWhileOnePreparedStatementServesEachStatementBesideIt) {
    const int rows = 200000;
    connection_.Execute(
        u"INSERT INTO People (\"last name\") SELECT repeat('x', 300) || g FROM "
        "generate_series(1, %1) g"_s.arg(rows));
    const int64_t before = ResidentBytes();
    int64_t peak = before;
    int read = 0;
    ado::Recordset scan;
    scan.Open(u"SELECT * FROM People ORDER BY ID"_s, connection_);
    for (; !scan.Eof(); scan.MoveNext()) {
        if (++read % 20000 != 0)
            continue;
        // What the rebuilds do inside their scans: a duplicate test and an insert on the same connection.
        ado::Recordset test;
        test.Open(u"SELECT TOP 1 ID FROM Blacklist WHERE Agency_ID = 1 AND Client_ID = %1"_s.arg(read),
                  connection_);
        EXPECT_TRUE(test.Eof());
        test.Close();
        connection_.Execute(u"INSERT INTO Blacklist (Client_ID, Agency_ID) VALUES (%1, 1)"_s.arg(read));
        peak = std::max(peak, ResidentBytes());
    }
    EXPECT_EQ(read, rows);
    EXPECT_EQ(Scalar(connection_, u"SELECT COUNT(*) FROM Blacklist"_s), QString::number(rows / 20000));
    // The rows weigh about 60 MB as text; a streamed scan holds a chunk of them at a time.
    EXPECT_LT(peak - before, 16 * 1024 * 1024) << "grew by " << (peak - before) / 1024 << " KiB";
    for (const char* like : {"INSERT INTO Blacklist%",
                             "SELECT ID FROM Blacklist WHERE Agency_ID = $1 AND Client_ID = $2 LIMIT $3"}) {
        const QString prepared = u"SELECT COUNT(*) FROM pg_prepared_statements WHERE statement LIKE '%1'"_s;
        EXPECT_EQ(Scalar(connection_, prepared.arg(QString::fromUtf8(like))), u"1"_s) << like;
    }
}

// Catches a list's answers out of order, and a list of inserts written in part when one of them fails.
TEST_F(ServerTest, AListsTestsAnswerInOrderAndItsInsertsAreWrittenWholeOrNotAtAll) {
    connection_.Execute(u"INSERT INTO Blacklist (Client_ID, Agency_ID, Notes) VALUES (2, 12, 'n')"_s);
    const QString test = u"SELECT TOP 1 ID FROM Blacklist WHERE Agency_ID = 12 AND Client_ID = %1"_s;
    const QString source = u"SELECT * FROM Blacklist WHERE ID = -1"_s;
    const std::vector<QString> columns{u"Client_ID"_s, u"Agency_ID"_s, u"Notes"_s};
    ASSERT_TRUE(connection_.CarriesLists());
    EXPECT_EQ(connection_.HasRows({test.arg(1), test.arg(2), test.arg(3)}),
              (std::vector<bool>{false, true, false}));

    const ado::Error err = ErrorOf([&] {
        connection_.InsertAll(source, columns, {{4, 12, "a"}, {"five", 12, "b"}, {6, 12, "c"}});
    });
    EXPECT_EQ(err.Number(), ado::DB_E_CANTCONVERTVALUE);
    EXPECT_TRUE(err.Statement().startsWith(u"INSERT INTO blacklist"_s)) << err.Statement().toStdString();
    EXPECT_EQ(Scalar(connection_, u"SELECT COUNT(*) FROM Blacklist"_s), u"1"_s);

    connection_.InsertAll(source, columns, {{4, 12, "a"}, {5, 12, "b"}});
    EXPECT_EQ(connection_.HasRows({test.arg(4), test.arg(5), test.arg(6)}),
              (std::vector<bool>{true, true, false}));
}

// Catches a session not reused by the next opens, reused mid-transaction or once the server ended it.
TEST_F(ServerTest, AClosedConnectionsSessionIsReusedUnlessInATransactionOrEnded) {
    const auto backend = [&] { return Scalar(connection_, u"SELECT pg_backend_pid()"_s); };
    const QString pid = backend();
    connection_.Close();
    connection_.Open(database_);
    EXPECT_EQ(backend(), pid);
    connection_.Execute(u"BEGIN"_s);
    connection_.Close();
    connection_.Open(database_);
    const QString afterTransaction = backend();
    EXPECT_NE(afterTransaction, pid);

    connection_.Close();
    testsupport::ServerConnection admin(u"postgres"_s);
    admin.Exec(u"SELECT pg_terminate_backend(%1)"_s.arg(afterTransaction));
    const QString alive = u"SELECT COUNT(*) FROM pg_stat_activity WHERE pid = %1"_s.arg(afterTransaction);
    for (int i = 0; i < 100 && admin.Exec(alive) != u"0"_s; ++i)
        admin.Exec(u"SELECT pg_sleep(0.01)"_s);
    connection_.Open(database_);
    EXPECT_NE(backend(), afterTransaction);
}

// Catches a literal bound that is not a value (position, type size, text, definition), or of a wrong type.
TEST(ServerLiteralParameters, KeepTheStatementsMeaning) {
    const struct {
        const char* sql;
        const char* text;
        std::vector<Oid> types;
    } cases[] = {
        {"SELECT ID FROM t WHERE a = 12 AND b = -1 LIMIT 1",
         "SELECT ID FROM t WHERE a = $1 AND b = -$2 LIMIT $3",
         {23, 23, 23}},
        {"SELECT * FROM t WHERE a = 3000000000 OR b = 1.5 OR c = 2e3",
         "SELECT * FROM t WHERE a = $1 OR b = $2 OR c = $3",
         {20, 1700, 1700}},
        {"SELECT a, b FROM t WHERE c = 5 GROUP BY 1, 2 ORDER BY 2 LIMIT 3",
         "SELECT a, b FROM t WHERE c = $1 GROUP BY 1, 2 ORDER BY 2 LIMIT $2",
         {23, 23}},
        {"SELECT CAST(a AS numeric(10, 2)), b::varchar(5) FROM t WHERE c = 4",
         "SELECT CAST(a AS numeric(10, 2)), b::varchar(5) FROM t WHERE c = $1",
         {23}},
        {"UPDATE t SET a = 'x 1' WHERE b IN (1, 2)", "UPDATE t SET a = 'x 1' WHERE b IN ($1, $2)", {23, 23}},
        {"SELECT 1 AS one, (SELECT 2 FROM u WHERE v = 3) FROM t WHERE a = 4",
         "SELECT 1 AS one, (SELECT 2 FROM u WHERE v = $1) FROM t WHERE a = $2",
         {23, 23}},
        {"CREATE TABLE t (a smallint DEFAULT 0)", "CREATE TABLE t (a smallint DEFAULT 0)", {}},
    };
    for (const auto& c : cases) {
        const ado::postgresql::ParameterizedStatement statement =
            ado::postgresql::ParameterizeLiterals(ado::sql::Tokenize(QString::fromUtf8(c.sql)));
        EXPECT_EQ(statement.text.toStdString(), c.text);
        EXPECT_EQ(statement.types, c.types) << c.sql;
    }
}

}  // namespace
