// The server data source over a real PostgreSQL server: opening and its errors, locks and time-outs,
// streaming, prepared statements, values and keys.
#include "ado/connection.h"
#include "ado/postgresql/connection.h"
#include "ado/postgresql/error.h"
#include "ado/postgresql/literal_parameters.h"
#include "ado/recordset.h"

#include "support/databases.h"
#include "support/product_schema.h"
#include "support/server_connection.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <pwd.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <functional>
#include <map>

namespace {

using SteadyClock = std::chrono::steady_clock;

// The error that action raises; a test failure when it raises none.
ado::Error ErrorOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const ado::Error& err) {
        return err;
    }
    ADD_FAILURE() << "no error was raised";
    return ado::Error(0, 0, QString());
}

double MillisecondsSince(SteadyClock::time_point start) {
    return std::chrono::duration<double, std::milli>(SteadyClock::now() - start).count();
}

// Resident memory of this process, in bytes.
int64_t ResidentBytes() {
    std::ifstream statm("/proc/self/statm");
    int64_t pages = 0;
    int64_t resident = 0;
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

    QString Scalar(const QString& sql) {
        ado::Recordset rs;
        rs.Open(sql, connection_);
        const QString value = rs.Eof() ? QString() : rs.FieldAt(0).ToString();
        rs.Close();
        return value;
    }

    QTemporaryDir dir_;
    QString database_;
    ado::Connection connection_;
};

// ---- Opening ------------------------------------------------------------------------------------------

struct OpenFailure {
    const char* name;
    std::function<QString(const QString& database)> connectionString;
    int32_t nativeError;
};

class ServerOpenFailure : public ::testing::TestWithParam<OpenFailure> {};

TEST_P(ServerOpenFailure, RaisesEFailWithTheServerProductsNumber) {
    KESTRANE_REQUIRE_SERVER();
    const QString database = testsupport::NewServerDatabase();
    ado::Connection connection;
    connection.ConnectionTimeout = 3;
    const ado::Error err = ErrorOf([&] { connection.Open(GetParam().connectionString(database)); });
    EXPECT_EQ(err.Number(), ado::E_FAIL_HR) << err.Description().toStdString();
    EXPECT_EQ(err.NativeError(), GetParam().nativeError) << err.Description().toStdString();
    ASSERT_EQ(connection.GetErrors().Count(), 1);
    EXPECT_EQ(connection.GetErrors().Item(0).nativeError, GetParam().nativeError);
    EXPECT_EQ(connection.State(), ado::adStateClosed);
}

QString WithCatalog(const QString& database, const QString& catalog) {
    QString text = database;
    return text.replace(testsupport::CatalogOf(database), catalog);
}

QString NoServerFolder() {
    static QTemporaryDir empty;
    return empty.path();
}

INSTANTIATE_TEST_SUITE_P(
    Postgres, ServerOpenFailure,
    ::testing::Values(
        OpenFailure{"NoServerOnTheSocketFolder",
                    [](const QString& database) {
                        return QStringLiteral(
                                   "Provider=SQLOLEDB.1;Integrated Security=SSPI;Data Source=%1,54329;"
                                   "Initial Catalog=%2;")
                            .arg(NoServerFolder(), testsupport::CatalogOf(database));
                    },
                    ado::SQL_SERVER_UNREACHABLE},
        OpenFailure{"WrongPassword",
                    [](const QString& database) {
                        return QStringLiteral(
                                   "Provider=SQLOLEDB.1;Data Source=%1;Persist Security Info=False;"
                                   "Initial Catalog=%2;UID=kestrane_login;Pwd=not-the-secret;")
                            .arg(testsupport::ServerDataSource(), testsupport::CatalogOf(database));
                    },
                    ado::SQL_LOGIN_FAILED},
        OpenFailure{
            "NoPasswordForALoginThatNeedsOne",
            [](const QString& database) {
                return QStringLiteral(
                           "Provider=SQLOLEDB.1;Data Source=%1;Initial Catalog=%2;UID=kestrane_login;")
                    .arg(testsupport::ServerDataSource(), testsupport::CatalogOf(database));
            },
            ado::SQL_LOGIN_FAILED},
        OpenFailure{"CatalogTakingNoMoreConnections",
                    [](const QString& database) {
                        testsupport::ServerConnection(QStringLiteral("postgres"))
                            .Exec(QStringLiteral("ALTER DATABASE %1 CONNECTION LIMIT 0")
                                      .arg(testsupport::CatalogOf(database)));
                        return QStringLiteral(
                                   "Provider=SQLOLEDB.1;Data Source=%1;Initial Catalog=%2;"
                                   "UID=kestrane_login;Pwd=kestrane-secret;")
                            .arg(testsupport::ServerDataSource(), testsupport::CatalogOf(database));
                    },
                    ado::SQL_SERVER_UNREACHABLE},
        OpenFailure{"MissingCatalog",
                    [](const QString& database) {
                        return WithCatalog(database, QStringLiteral("kt_no_such_catalog"));
                    },
                    ado::SQL_NO_DATABASE}),
    [](const ::testing::TestParamInfo<OpenFailure>& info) { return std::string(info.param.name); });

TEST_F(ServerTest, TheLoginRoleOpensWithItsPassword) {
    ado::Connection login;
    login.Open(
        QStringLiteral("Provider=SQLOLEDB.1;Data Source=%1;Persist Security Info=False;Initial Catalog=%2;"
                       "UID=kestrane_login;Pwd=kestrane-secret;")
            .arg(testsupport::ServerDataSource(), testsupport::CatalogOf(database_)));
    ado::Recordset rs;
    rs.Open(QStringLiteral("SELECT current_user"), login);
    EXPECT_EQ(rs.FieldAt(0).ToString(), QStringLiteral("kestrane_login"));
}

TEST_F(ServerTest, IntegratedSecurityIsTheOperatingSystemUser) {
    EXPECT_EQ(Scalar(QStringLiteral("SELECT current_user")),
              QString::fromLocal8Bit(getpwuid(geteuid())->pw_name));
}

struct Parameters {
    const char* name;
    QString connectionString;
    std::map<QByteArray, QByteArray> expected;  // keys that must be there with these values
    std::vector<QByteArray> absent;
};

class ConnectionParameters : public ::testing::TestWithParam<Parameters> {};

TEST_P(ConnectionParameters, FollowTheConnectionString) {
    ado::provider::OpenOptions options;
    options.commandTimeoutSeconds = 18;
    std::map<QByteArray, QByteArray> actual;
    for (const auto& [key, value] :
         ado::postgresql::ConnectionParameters(ado::ConnectionString(GetParam().connectionString), options)) {
        actual[key] = value;
    }
    for (const auto& [key, value] : GetParam().expected)
        EXPECT_EQ(actual[key], value) << key.constData();
    for (const QByteArray& key : GetParam().absent)
        EXPECT_EQ(actual.count(key), 0u) << key.constData();
    EXPECT_TRUE(actual["options"].contains("-c lock_timeout=100"));
    EXPECT_TRUE(actual["options"].contains("-c statement_timeout=18000"));
}

const QByteArray kMe = getpwuid(geteuid())->pw_name;

INSTANTIATE_TEST_SUITE_P(
    Postgres, ConnectionParameters,
    ::testing::Values(
        Parameters{
            "IntegratedOnAHost",
            QStringLiteral("Provider=SQLOLEDB.1;Integrated Security=SSPI;Data Source=dbhost;Persist Security "
                           "Info=False;Initial Catalog=Kestrane;"),
            {{"host", "dbhost"}, {"dbname", "Kestrane"}, {"user", kMe}},
            {"port", "password"}},
        Parameters{
            "LoginOnHostAndPort",
            QStringLiteral("Provider=SQLOLEDB.1;Data Source=db.example.org,6543;Persist Security Info=False;"
                           "Initial Catalog=Kestrane;UID=clerk;Pwd=se;cret;"),
            {{"host", "db.example.org"}, {"port", "6543"}, {"user", "clerk"}, {"password", "se"}},
            {}},
        Parameters{"SocketFolderWithPort",
                   QStringLiteral("Data Source=/run/kestrane sockets,5433;Initial Catalog=k"),
                   {{"host", "/run/kestrane sockets"}, {"port", "5433"}},
                   {}},
        Parameters{"InstanceNameDropped",
                   QStringLiteral("Data Source=SERVER01\\SQLEXPRESS;UID=a;Pwd=b"),
                   {{"host", "SERVER01"}},
                   {}},
        Parameters{"LocalMeansTheDefaultSocket",
                   QStringLiteral("Data Source=(local);Integrated Security=SSPI"),
                   {},
                   {"host", "port", "password"}}),
    [](const ::testing::TestParamInfo<Parameters>& info) { return std::string(info.param.name); });

// ---- Statements and their errors ----------------------------------------------------------------------

struct StatementFailure {
    const char* name;
    QString sql;
    int32_t number;
    int32_t nativeError;
};

class ServerStatementFailure : public ServerTest, public ::testing::WithParamInterface<StatementFailure> {};

TEST_P(ServerStatementFailure, RaisesTheNumbersOfTheServerProduct) {
    connection_.Execute(QStringLiteral("INSERT INTO Blacklist (ID, Client_ID, Agency_ID) VALUES (1, 1, 1)"));
    const ado::Error err = ErrorOf([&] { connection_.Execute(GetParam().sql); });
    EXPECT_EQ(err.Number(), GetParam().number) << err.Description().toStdString();
    EXPECT_EQ(err.NativeError(), GetParam().nativeError) << err.Description().toStdString();
    EXPECT_EQ(err.Statement(), GetParam().sql);
    ASSERT_EQ(connection_.GetErrors().Count(), 1);
    EXPECT_EQ(connection_.GetErrors().Item(0).nativeError, GetParam().nativeError);
    // The session goes on working after the failure.
    EXPECT_EQ(Scalar(QStringLiteral("SELECT COUNT(*) FROM Blacklist")), QStringLiteral("1"));
}

INSTANTIATE_TEST_SUITE_P(
    Postgres, ServerStatementFailure,
    ::testing::Values(
        StatementFailure{"Syntax", QStringLiteral("SELEC * FROM Blacklist"), ado::DB_E_ERRORSINCOMMAND,
                         ado::SQL_SYNTAX},
        StatementFailure{"MissingTable", QStringLiteral("SELECT * FROM [No Such Table]"), ado::DB_E_NOTABLE,
                         ado::SQL_NO_TABLE},
        StatementFailure{"UnknownField", QStringLiteral("SELECT No_Such_Field FROM Blacklist"),
                         ado::DB_E_PARAMNOTOPTIONAL, ado::SQL_NO_COLUMN},
        StatementFailure{"DuplicateKey", QStringLiteral("INSERT INTO Blacklist (ID) VALUES (1)"),
                         ado::DB_E_INTEGRITYVIOLATION, ado::SQL_DUPLICATE_KEY},
        StatementFailure{"BadValue", QStringLiteral("UPDATE Blacklist SET Client_ID = 'x' WHERE ID = 1"),
                         ado::DB_E_CANTCONVERTVALUE, 245},
        StatementFailure{"BooleanWordAgainstASmallint",
                         QStringLiteral("SELECT * FROM Blacklist WHERE Manually_Entered = TRUE"),
                         ado::DB_E_ERRORSINCOMMAND, 206},
        StatementFailure{"AnyOtherServerError", QStringLiteral("CREATE TABLE Blacklist (ID integer)"),
                         ado::DB_E_ERRORSINCOMMAND, 0}),
    [](const ::testing::TestParamInfo<StatementFailure>& info) { return std::string(info.param.name); });

TEST_F(ServerTest, ASessionLostDuringAStatementRaisesEFailAndTheNextCallRunsOnANewOne) {
    const QString pid = Scalar(QStringLiteral("SELECT pg_backend_pid()"));
    const ado::Error err = ErrorOf(
        [&] { connection_.Execute(QStringLiteral("SELECT pg_terminate_backend(pg_backend_pid())")); });
    EXPECT_EQ(err.Number(), ado::E_FAIL_HR);
    EXPECT_EQ(err.NativeError(), ado::SQL_CONNECTION_LOST);
    EXPECT_NE(Scalar(QStringLiteral("SELECT pg_backend_pid()")), pid);
}

enum class When { Statement, Connect };

struct StateNumbers {
    const char* sqlState;
    When when;
    int32_t number;
    int32_t nativeError;
};

class SqlStateNumbers : public ::testing::TestWithParam<StateNumbers> {};

TEST_P(SqlStateNumbers, FollowTheTable) {
    const ado::postgresql::ErrorNumbers numbers =
        GetParam().when == When::Connect ? ado::postgresql::NumbersForConnectState(GetParam().sqlState)
                                         : ado::postgresql::NumbersForSqlState(GetParam().sqlState);
    EXPECT_EQ(numbers.hresult, GetParam().number);
    EXPECT_EQ(numbers.nativeError, GetParam().nativeError);
}

// At connect, a server that is starting up, shutting down or recovering (57P03), ending its sessions (57P01)
// or out of connection slots (53300) cannot be reached for now.
INSTANTIATE_TEST_SUITE_P(
    Postgres, SqlStateNumbers,
    ::testing::Values(StateNumbers{"40P01", When::Statement, ado::E_FAIL_HR, ado::SQL_LOCK_TIMEOUT},
                      StateNumbers{"23503", When::Statement, ado::DB_E_INTEGRITYVIOLATION,
                                   ado::SQL_DUPLICATE_KEY},
                      StateNumbers{"22003", When::Statement, ado::DB_E_CANTCONVERTVALUE, 245},
                      StateNumbers{"42804", When::Statement, ado::DB_E_ERRORSINCOMMAND, 206},
                      StateNumbers{"08006", When::Statement, ado::E_FAIL_HR, 10054},
                      StateNumbers{"57P01", When::Statement, ado::E_FAIL_HR, 10054},
                      StateNumbers{"53200", When::Statement, ado::E_FAIL_HR, 0},
                      StateNumbers{"XX000", When::Statement, ado::DB_E_ERRORSINCOMMAND, 0},
                      StateNumbers{"57P03", When::Connect, ado::E_FAIL_HR, 17},
                      StateNumbers{"57P01", When::Connect, ado::E_FAIL_HR, 17},
                      StateNumbers{"53300", When::Connect, ado::E_FAIL_HR, 17},
                      StateNumbers{"28P01", When::Connect, ado::E_FAIL_HR, 18456}));

TEST_F(ServerTest, ARowLockedByAnotherSessionFailsTheDeleteWithinASecond) {
    connection_.Execute(QStringLiteral("INSERT INTO Blacklist (ID, Client_ID, Agency_ID) VALUES (5, 1, 1)"));
    testsupport::ServerConnection holder(testsupport::CatalogOf(database_));
    holder.Exec(QStringLiteral("BEGIN; SELECT * FROM blacklist WHERE id = 5 FOR UPDATE"));

    ado::Recordset rs;
    rs.Open(QStringLiteral("SELECT * FROM Blacklist WHERE ID = 5"), connection_, ado::adOpenKeyset,
            ado::adLockPessimistic);
    const auto start = SteadyClock::now();
    const ado::Error err = ErrorOf([&] { rs.Delete(); });
    EXPECT_LT(MillisecondsSince(start), 1000.0);
    EXPECT_EQ(err.Number(), ado::E_FAIL_HR);
    EXPECT_EQ(err.NativeError(), ado::SQL_LOCK_TIMEOUT);

    rs.Fields(QStringLiteral("Notes")) = ado::Variant(QStringLiteral("changed"));
    EXPECT_EQ(ErrorOf([&] { rs.Update(); }).NativeError(), ado::SQL_LOCK_TIMEOUT);

    // Once the lock is gone, the same calls go through: the waits and retries of the caller rely on it.
    holder.Exec(QStringLiteral("COMMIT"));
    rs.Update();
    EXPECT_EQ(Scalar(QStringLiteral("SELECT Notes FROM Blacklist WHERE ID = 5")), QStringLiteral("changed"));
    rs.Delete();
    EXPECT_EQ(Scalar(QStringLiteral("SELECT COUNT(*) FROM Blacklist")), QStringLiteral("0"));
}

TEST_F(ServerTest, ACommandPastItsTimeoutIsAbortedAndTheSessionGoesOn) {
    connection_.CommandTimeout = 1;
    const auto start = SteadyClock::now();
    const ado::Error executed = ErrorOf([&] { connection_.Execute(QStringLiteral("SELECT pg_sleep(5)")); });
    EXPECT_EQ(executed.Number(), ado::DB_E_ABORTLIMITREACHED);
    EXPECT_EQ(executed.NativeError(), 0);

    ado::Recordset rs;
    const ado::Error queried =
        ErrorOf([&] { rs.Open(QStringLiteral("SELECT pg_sleep(5), 1 AS a"), connection_); });
    EXPECT_EQ(queried.Number(), ado::DB_E_ABORTLIMITREACHED);
    // A scan whose first rows come at once and whose rest takes long.
    ado::Recordset slow;
    const ado::Error scanned = ErrorOf([&] {
        slow.Open(QStringLiteral("SELECT g, CASE WHEN g > 300 THEN pg_sleep(0.01) END AS s FROM "
                                 "generate_series(1, 1000) g"),
                  connection_);
    });
    EXPECT_EQ(scanned.Number(), ado::DB_E_ABORTLIMITREACHED);
    EXPECT_LT(MillisecondsSince(start), 8000.0);

    connection_.CommandTimeout = 7;
    EXPECT_EQ(Scalar(QStringLiteral("SHOW statement_timeout")), QStringLiteral("7s"));
    connection_.CommandTimeout = 0;
    EXPECT_EQ(Scalar(QStringLiteral("SHOW statement_timeout")), QStringLiteral("0"));
}

TEST_F(ServerTest, TheServerFormsOfTheProgramsBatchesRun) {
    connection_.Execute(
        QStringLiteral("SET IDENTITY_INSERT Blacklist ON; INSERT INTO Blacklist (ID) VALUES (7); SET "
                       "IDENTITY_INSERT Blacklist OFF"));
    EXPECT_EQ(Scalar(QStringLiteral("SELECT ID FROM Blacklist")), QStringLiteral("7"));

    connection_.Execute(
        QStringLiteral("INSERT INTO Blacklist (Client_ID, Agency_ID, Manually_Entered) SELECT g, CASE WHEN g "
                       "% 2 = 0 THEN 12 ELSE 13 "
                       "END, CASE WHEN g % 10 = 0 THEN 1 ELSE 0 END FROM generate_series(1, 2000) g"));
    // The rows numbered next follow the one given its number.
    EXPECT_EQ(Scalar(QStringLiteral("SELECT MIN(ID) FROM Blacklist WHERE Client_ID IS NOT NULL")),
              QStringLiteral("8"));
    int64_t affected = 0;
    connection_.Execute(
        QStringLiteral("DELETE Blacklist FROM (SELECT TOP 500 * FROM Blacklist WHERE Agency_ID = 12 "
                       "AND Manually_Entered = 0 ORDER BY ID) AS t1 Where t1.ID = Blacklist.ID"),
        &affected);
    EXPECT_EQ(affected, 500);
    // The 500 lowest of agency 12's 800 automatic entries went; its 200 manual ones and agency 13's stay.
    EXPECT_EQ(Scalar(QStringLiteral(
                  "SELECT COUNT(*) FROM Blacklist WHERE Agency_ID = 12 AND Manually_Entered = 0")),
              QStringLiteral("300"));
    EXPECT_EQ(Scalar(QStringLiteral(
                  "SELECT COUNT(*) FROM Blacklist WHERE Agency_ID = 12 AND Manually_Entered = 1")),
              QStringLiteral("200"));
    EXPECT_EQ(Scalar(QStringLiteral(
                  "SELECT MIN(Client_ID) FROM Blacklist WHERE Agency_ID = 12 AND Manually_Entered = "
                  "0")),
              QStringLiteral("1252"));
}

// ---- Streaming and prepared statements ----------------------------------------------------------------

TEST_F(ServerTest, AForwardOnlyScanStreamsWhileOtherStatementsRunOnTheSameConnection) {
    const int rows = 200000;
    connection_.Execute(QStringLiteral("INSERT INTO People (\"last name\") SELECT repeat('x', 300) || g FROM "
                                       "generate_series(1, %1) g")
                            .arg(rows));
    const int64_t before = ResidentBytes();
    int64_t peak = before;
    int read = 0;
    ado::Recordset scan;
    scan.Open(QStringLiteral("SELECT * FROM People ORDER BY ID"), connection_);
    while (!scan.Eof()) {
        ++read;
        if (read % 20000 == 0) {
            // What the rebuilds do inside their scans: a duplicate test and an insert on the same connection.
            ado::Recordset test;
            test.Open(QStringLiteral("SELECT TOP 1 ID FROM Blacklist WHERE Agency_ID = 1 AND Client_ID = %1")
                          .arg(read),
                      connection_);
            EXPECT_TRUE(test.Eof());
            test.Close();
            connection_.Execute(
                QStringLiteral("INSERT INTO Blacklist (Client_ID, Agency_ID) VALUES (%1, 1)").arg(read));
            peak = std::max(peak, ResidentBytes());
        }
        scan.MoveNext();
    }
    EXPECT_EQ(read, rows);
    EXPECT_EQ(Scalar(QStringLiteral("SELECT COUNT(*) FROM Blacklist")), QString::number(rows / 20000));
    // The rows weigh about 60 MB as text; a streamed scan holds a chunk of them at a time.
    EXPECT_LT(peak - before, 16 * 1024 * 1024) << "grew by " << (peak - before) / 1024 << " KiB";
}

TEST_F(ServerTest, OnePreparedStatementServesEveryValueOfAStatement) {
    for (int client = 1; client <= 5; ++client) {
        connection_.Execute(
            QStringLiteral("INSERT INTO Blacklist (Client_ID, Agency_ID, Notes) VALUES (%1, 12, 'n')")
                .arg(client));
        ado::Recordset test;
        test.Open(QStringLiteral("SELECT TOP 1 ID FROM Blacklist WHERE Agency_ID = 12 AND Client_ID = %1")
                      .arg(client),
                  connection_);
        EXPECT_FALSE(test.Eof());
    }
    const auto prepared = [&](const QString& like) {
        return Scalar(QStringLiteral("SELECT COUNT(*) FROM pg_prepared_statements WHERE statement LIKE '%1'")
                          .arg(like));
    };
    EXPECT_EQ(prepared(QStringLiteral("INSERT INTO Blacklist%")), QStringLiteral("1"));
    EXPECT_EQ(
        prepared(QStringLiteral("SELECT ID FROM Blacklist WHERE Agency_ID = $1 AND Client_ID = $2 LIMIT $3")),
        QStringLiteral("1"));
}

TEST_F(ServerTest, AListsTestsAnswerInOrderAndItsInsertsAreWrittenWholeOrNotAtAll) {
    connection_.Execute(
        QStringLiteral("INSERT INTO Blacklist (Client_ID, Agency_ID, Notes) VALUES (2, 12, 'n')"));
    const QString test =
        QStringLiteral("SELECT TOP 1 ID FROM Blacklist WHERE Agency_ID = 12 AND Client_ID = %1");
    const QString source = QStringLiteral("SELECT * FROM Blacklist WHERE ID = -1");
    const std::vector<QString> columns{QStringLiteral("Client_ID"), QStringLiteral("Agency_ID"),
                                       QStringLiteral("Notes")};
    ASSERT_TRUE(connection_.CarriesLists());
    EXPECT_EQ(connection_.HasRows({test.arg(1), test.arg(2), test.arg(3)}),
              (std::vector<bool>{false, true, false}));

    const ado::Error err = ErrorOf([&] {
        connection_.InsertAll(source, columns, {{4, 12, "a"}, {"five", 12, "b"}, {6, 12, "c"}});
    });
    EXPECT_EQ(err.Number(), ado::DB_E_CANTCONVERTVALUE);
    EXPECT_TRUE(err.Statement().startsWith(QStringLiteral("INSERT INTO blacklist")))
        << err.Statement().toStdString();
    EXPECT_EQ(Scalar(QStringLiteral("SELECT COUNT(*) FROM Blacklist")), QStringLiteral("1"));

    connection_.InsertAll(source, columns, {{4, 12, "a"}, {5, 12, "b"}});
    EXPECT_EQ(connection_.HasRows({test.arg(4), test.arg(5), test.arg(6)}),
              (std::vector<bool>{true, true, false}));
}

TEST_F(ServerTest, AClosedConnectionIsReusedUnlessItWasLeftInATransaction) {
    const QString pid = Scalar(QStringLiteral("SELECT pg_backend_pid()"));
    connection_.Close();
    connection_.Open(database_);
    EXPECT_EQ(Scalar(QStringLiteral("SELECT pg_backend_pid()")), pid);

    connection_.Execute(QStringLiteral("BEGIN"));
    connection_.Close();
    connection_.Open(database_);
    EXPECT_NE(Scalar(QStringLiteral("SELECT pg_backend_pid()")), pid);
}

TEST_F(ServerTest, ASessionEndedByTheServerIsNotReused) {
    const QString pid = Scalar(QStringLiteral("SELECT pg_backend_pid()"));
    connection_.Close();
    testsupport::ServerConnection admin(QStringLiteral("postgres"));
    admin.Exec(QStringLiteral("SELECT pg_terminate_backend(%1)").arg(pid));
    for (int i = 0;
         i < 100 &&
         admin.Exec(QStringLiteral("SELECT COUNT(*) FROM pg_stat_activity WHERE pid = %1").arg(pid)) !=
             QStringLiteral("0");
         ++i) {
        admin.Exec(QStringLiteral("SELECT pg_sleep(0.01)"));
    }
    connection_.Open(database_);
    EXPECT_NE(Scalar(QStringLiteral("SELECT pg_backend_pid()")), pid);
}

// ---- Values and keys ----------------------------------------------------------------------------------

TEST_F(ServerTest, ValuesWrittenThroughARecordsetReadBackWithTheirKinds) {
    const QDateTime created(QDate(2024, 3, 1), QTime(9, 30, 15));
    ado::Recordset add;
    add.Open(QStringLiteral("SELECT * FROM Blacklist WHERE ID = -1"), connection_, ado::adOpenKeyset,
             ado::adLockPessimistic);
    add.AddNew();
    add(QStringLiteral("Client_ID")) = ado::Variant(int32_t{345});
    add(QStringLiteral("Agency_ID")) = ado::Variant(int32_t{12});
    add(QStringLiteral("Manually_Entered")) = ado::Variant(false);
    add(QStringLiteral("Date_Created")) = ado::Variant(created);
    add(QStringLiteral("Notes")) = ado::Variant(QStringLiteral("Drug Related - it's \"quoted\", Zoë"));
    add.Update();
    const int32_t id = add(QStringLiteral("ID")).ToLong();
    EXPECT_GT(id, 0);
    add.Close();

    ado::Recordset read;
    read.Open(QStringLiteral("SELECT * FROM Blacklist WHERE ID = %1").arg(id), connection_);
    ASSERT_FALSE(read.Eof());
    EXPECT_EQ(read(QStringLiteral("Client_ID")).Value().GetKind(), ado::Variant::Kind::Long);
    EXPECT_EQ(read(QStringLiteral("Client_ID")).ToLong(), 345);
    EXPECT_EQ(read(QStringLiteral("Manually_Entered")).Value().GetKind(), ado::Variant::Kind::Boolean);
    EXPECT_FALSE(read(QStringLiteral("Manually_Entered")).ToBool());
    EXPECT_EQ(read(QStringLiteral("Date_Created")).ToDate(), created);
    EXPECT_EQ(read(QStringLiteral("Notes")).ToString(),
              QStringLiteral("Drug Related - it's \"quoted\", Zoë"));
    EXPECT_TRUE(read(QStringLiteral("Created_By")).IsNull());
    EXPECT_EQ(Scalar(QStringLiteral("SELECT manually_entered FROM blacklist")), QStringLiteral("False"));
}

TEST_F(ServerTest, BooleansAreStoredAsOneAndZero) {
    connection_.Execute(QStringLiteral("INSERT INTO Agencies (ID, Name) VALUES (1, 'A')"));
    ado::Recordset agency;
    agency.Open(QStringLiteral("SELECT * FROM Agencies WHERE ID = 1"), connection_, ado::adOpenKeyset,
                ado::adLockPessimistic);
    agency(QStringLiteral("No_Drug_Offenders")) = ado::Variant(true);
    agency.Update();
    agency.Close();
    testsupport::ServerConnection raw(testsupport::CatalogOf(database_));
    EXPECT_EQ(raw.Exec(QStringLiteral("SELECT no_drug_offenders FROM agencies")), QStringLiteral("1"));
}

TEST_F(ServerTest, OnlyASingleTableWithAKeyIsUpdatable) {
    ado::Recordset join;
    const ado::Error notSingle = ErrorOf([&] {
        join.Open(
            QStringLiteral("SELECT * FROM Cases LEFT JOIN [Court Charges] ON Cases.[Court Charge] = [Court "
                           "Charges].[ID]"),
            connection_, ado::adOpenKeyset, ado::adLockPessimistic);
    });
    EXPECT_EQ(notSingle.Number(), ado::ADODB_E_NOTSUPPORTED);

    ado::Recordset missing;
    const ado::Error noTable = ErrorOf([&] {
        missing.Open(QStringLiteral("SELECT * FROM [No Such Table] WHERE ID = 1"), connection_,
                     ado::adOpenKeyset, ado::adLockPessimistic);
    });
    EXPECT_EQ(noTable.Number(), ado::DB_E_NOTABLE);
    EXPECT_EQ(noTable.NativeError(), ado::SQL_NO_TABLE);

    connection_.Execute(QStringLiteral("INSERT INTO [Court Charges] (ID, Description) VALUES (3, 'Theft')"));
    ado::Recordset charge;
    charge.Open(QStringLiteral("SELECT * FROM [Court Charges] c WHERE c.ID = 3"), connection_,
                ado::adOpenKeyset, ado::adLockPessimistic);
    charge(QStringLiteral("Theft_Related")) = ado::Variant(true);
    charge.Update();
    EXPECT_EQ(Scalar(QStringLiteral("SELECT Theft_Related FROM [Court Charges] WHERE ID = 3")),
              QStringLiteral("True"));
}

// ---- Literal parameters -------------------------------------------------------------------------------

struct Parameterized {
    const char* name;
    QString sql;
    QByteArray text;
    std::vector<Oid> types;
};

class LiteralParameters : public ::testing::TestWithParam<Parameterized> {};

TEST_P(LiteralParameters, KeepTheStatementsMeaning) {
    const ado::postgresql::ParameterizedStatement statement =
        ado::postgresql::ParameterizeLiterals(ado::sql::Tokenize(GetParam().sql));
    EXPECT_EQ(statement.text.toStdString(), GetParam().text.toStdString());
    EXPECT_EQ(statement.types, GetParam().types);
}

INSTANTIATE_TEST_SUITE_P(
    Postgres, LiteralParameters,
    ::testing::Values(
        Parameterized{"IntegersAndLimit",
                      QStringLiteral("SELECT ID FROM t WHERE a = 12 AND b = -1 LIMIT 1"),
                      "SELECT ID FROM t WHERE a = $1 AND b = -$2 LIMIT $3",
                      {23, 23, 23}},
        Parameterized{"BigAndDecimal",
                      QStringLiteral("SELECT * FROM t WHERE a = 3000000000 OR b = 1.5 OR c = 2e3"),
                      "SELECT * FROM t WHERE a = $1 OR b = $2 OR c = $3",
                      {20, 1700, 1700}},
        Parameterized{"PositionsStay",
                      QStringLiteral("SELECT a, b FROM t WHERE c = 5 GROUP BY 1, 2 ORDER BY 2 LIMIT 3"),
                      "SELECT a, b FROM t WHERE c = $1 GROUP BY 1, 2 ORDER BY 2 LIMIT $2",
                      {23, 23}},
        Parameterized{"TypeSizesStay",
                      QStringLiteral("SELECT CAST(a AS numeric(10, 2)), b::varchar(5) FROM t WHERE c = 4"),
                      "SELECT CAST(a AS numeric(10, 2)), b::varchar(5) FROM t WHERE c = $1",
                      {23}},
        Parameterized{"TextStays",
                      QStringLiteral("UPDATE t SET a = 'x 1' WHERE b IN (1, 2)"),
                      "UPDATE t SET a = 'x 1' WHERE b IN ($1, $2)",
                      {23, 23}},
        Parameterized{"SelectListStays",
                      QStringLiteral("SELECT 1 AS one, (SELECT 2 FROM u WHERE v = 3) FROM t WHERE a = 4"),
                      "SELECT 1 AS one, (SELECT 2 FROM u WHERE v = $1) FROM t WHERE a = $2",
                      {23, 23}},
        Parameterized{"DefinitionsStay",
                      QStringLiteral("CREATE TABLE t (a smallint DEFAULT 0)"),
                      "CREATE TABLE t (a smallint DEFAULT 0)",
                      {}}),
    [](const ::testing::TestParamInfo<Parameterized>& info) { return std::string(info.param.name); });

// ---- What pooling saves -------------------------------------------------------------------------------

TEST_F(ServerTest, OpeningAPooledConnectionCostsLessThanANewOne) {
    connection_.Close();
    constexpr int kOpens = 50;
    const auto timeOpens = [&](bool pooled) {
        const auto start = SteadyClock::now();
        for (int i = 0; i < kOpens; ++i) {
            if (!pooled)
                ado::ClearConnectionPool();
            ado::Connection connection;
            connection.Open(database_);
            connection.Close();
        }
        return MillisecondsSince(start) / kOpens;
    };
    const double fresh = timeOpens(false);
    const double pooled = timeOpens(true);
    std::printf("Open of a new server connection: %.3f ms; of a pooled one: %.3f ms\n", fresh, pooled);
    RecordProperty("new_open_ms", std::to_string(fresh));
    RecordProperty("pooled_open_ms", std::to_string(pooled));
    EXPECT_LT(pooled, fresh);
}

}  // namespace
