#pragma once
// Small real databases for tests: an empty SQLite file in a temporary folder, or a new database on the
// private PostgreSQL server that ./build.sh test starts.

#include <QString>

namespace testsupport {

enum class Engine { Jet, Server };

// Creates an empty SQLite database file at dir/name and returns its Jet connection string
// ("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=<file>;"). The object model itself never creates files.
QString NewJetDatabase(const QString& dir, const QString& name = QStringLiteral("test.mdb"));

// True when the test server is running (KESTRANE_TEST_PG_HOST is set).
bool ServerAvailable();

// Creates a new, empty database on the test server and returns its SQLOLEDB.1 connection string
// (integrated security). Call only when ServerAvailable().
QString NewServerDatabase();

// Skips the current test when the server is not available, unless KESTRANE_REQUIRE_PG is set, in which case
// the test fails: under ./build.sh test and in CI the server tests always run.
#define KESTRANE_REQUIRE_SERVER()                                              \
    do {                                                                       \
        if (!::testsupport::ServerAvailable()) {                               \
            if (qEnvironmentVariableIsSet("KESTRANE_REQUIRE_PG"))              \
                FAIL() << "no PostgreSQL test server";                         \
            GTEST_SKIP() << "no PostgreSQL test server (run ./build.sh test)"; \
        }                                                                      \
    } while (0)

// The connection string of a new database of the given engine (dir is used for Jet only).
QString NewDatabase(Engine engine, const QString& dir);

}  // namespace testsupport
