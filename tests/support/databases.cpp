// Test databases: SQLite files, and databases on the private PostgreSQL server that ./build.sh test starts.
#include "support/databases.h"
#include "support/server_connection.h"

#include "ado/connection_string.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <sqlite3.h>

#include <atomic>
#include <stdexcept>

namespace testsupport {

namespace {

QByteArray ServerHost() {
    return qgetenv("KESTRANE_TEST_PG_HOST");
}

QByteArray ServerPort() {
    const QByteArray port = qgetenv("KESTRANE_TEST_PG_PORT");
    return port.isEmpty() ? QByteArray("5432") : port;
}

}  // namespace

QString NewJetDatabase(const QString& dir, const QString& name) {
    const QString file = QDir(dir).filePath(name);
    sqlite3* db = nullptr;
    int rc = sqlite3_open_v2(QFile::encodeName(file).constData(), &db,
                             SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    // Writing the schema cookie gives the file its header, so that it is a database and not an empty file.
    if (rc == SQLITE_OK)
        rc = sqlite3_exec(db, "PRAGMA user_version = 0", nullptr, nullptr, nullptr);
    const QString message = QString::fromUtf8(sqlite3_errmsg(db));
    sqlite3_close(db);
    if (rc != SQLITE_OK)
        throw std::runtime_error(("cannot create " + file + ": " + message).toStdString());
    return QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=%1;").arg(file);
}

QString NewDatabase(Engine engine, const QString& dir) {
    return engine == Engine::Jet ? NewJetDatabase(dir) : NewServerDatabase();
}

ServerConnection::ServerConnection(const QString& database) {
    const QByteArray name = database.toUtf8();
    const QByteArray host = ServerHost();
    const QByteArray port = ServerPort();
    const char* keys[] = {"host", "port", "dbname", nullptr};
    const char* values[] = {host.constData(), port.constData(), name.constData(), nullptr};
    connection_ = PQconnectdbParams(keys, values, 0);
    if (PQstatus(connection_) != CONNECTION_OK) {
        const std::string message = PQerrorMessage(connection_);
        PQfinish(connection_);
        throw std::runtime_error("cannot connect to the test server: " + message);
    }
    PQsetNoticeProcessor(
        connection_, [](void*, const char*) {}, nullptr);
}

ServerConnection::~ServerConnection() {
    PQfinish(connection_);
}

QString ServerConnection::Exec(const QString& sql) {
    // With several statements, the result is the last one's, or the first failure's.
    PGresult* result = PQexec(connection_, sql.toUtf8().constData());
    const ExecStatusType status = PQresultStatus(result);
    const std::string failure = PQresultErrorMessage(result);
    const QString value = status == PGRES_TUPLES_OK && PQntuples(result) > 0
                              ? QString::fromUtf8(PQgetvalue(result, 0, 0))
                              : QString();
    PQclear(result);
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK)
        throw std::runtime_error(failure + " in " + sql.toStdString());
    return value;
}

QString CatalogOf(const QString& connectionString) {
    return ado::ConnectionString(connectionString).Get(QStringLiteral("Initial Catalog"));
}

QString ServerDataSource() {
    return QString::fromUtf8(ServerHost()) + u',' + QString::fromUtf8(ServerPort());
}

bool ServerAvailable() {
    return !ServerHost().isEmpty();
}

QString NewServerDatabase() {
    static std::atomic<int> counter{0};
    const QString name = QStringLiteral("kt_%1_%2").arg(QCoreApplication::applicationPid()).arg(++counter);
    ServerConnection server(QStringLiteral("postgres"));
    server.Exec(QStringLiteral("DROP DATABASE IF EXISTS %1").arg(name));
    server.Exec(QStringLiteral("CREATE DATABASE %1").arg(name));
    return QStringLiteral(
               "Provider=SQLOLEDB.1;Integrated Security=SSPI;Data Source=%1;Persist Security Info=False;"
               "Initial Catalog=%2;")
        .arg(ServerDataSource(), name);
}

}  // namespace testsupport
