// Test databases on the private PostgreSQL server that ./build.sh test starts.
#include "support/databases.h"
#include "support/server_connection.h"

#include "ado/connection_string.h"

#include <QCoreApplication>

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
    if (!PQsendQuery(connection_, sql.toUtf8().constData()))
        throw std::runtime_error(PQerrorMessage(connection_));
    QString value;
    std::string failure;
    while (PGresult* result = PQgetResult(connection_)) {
        const ExecStatusType status = PQresultStatus(result);
        if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK && failure.empty()) {
            failure = PQresultErrorMessage(result);
        }
        if (status == PGRES_TUPLES_OK) {
            value = PQntuples(result) > 0 ? QString::fromUtf8(PQgetvalue(result, 0, 0)) : QString();
        }
        PQclear(result);
    }
    if (!failure.empty())
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
