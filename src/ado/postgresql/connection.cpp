#include "ado/postgresql/connection.h"

#include "ado/postgresql/error.h"
#include "ado/postgresql/provider.h"
#include "ado/postgresql/statement.h"
#include "ado/postgresql/values.h"
#include "ado/sql/dialect.h"
#include "ado/trace.h"

#include <QCoreApplication>

#include <poll.h>
#include <pwd.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

namespace ado::postgresql {

namespace {

using Clock = std::chrono::steady_clock;

QString FirstOf(const ConnectionString& connection, std::initializer_list<const char*> keys) {
    for (const char* key : keys) {
        if (connection.Has(QString::fromLatin1(key)))
            return connection.Get(QString::fromLatin1(key));
    }
    return {};
}

bool IsYes(const QString& value) {
    return value.compare(QLatin1StringView("SSPI"), Qt::CaseInsensitive) == 0 ||
           value.compare(QLatin1StringView("true"), Qt::CaseInsensitive) == 0 ||
           value.compare(QLatin1StringView("yes"), Qt::CaseInsensitive) == 0;
}

QByteArray OperatingSystemUser() {
    const passwd* entry = getpwuid(geteuid());
    return entry ? QByteArray(entry->pw_name) : qgetenv("USER");
}

// Waits until libpq's connection attempt ends; the deadline, when set, bounds the wait. Returns the open
// connection or raises the classified error.
PGconn* Connect(const std::vector<std::pair<QByteArray, QByteArray>>& parameters, int timeoutSeconds) {
    std::vector<const char*> keys;
    std::vector<const char*> values;
    for (const auto& [key, value] : parameters) {
        keys.push_back(key.constData());
        values.push_back(value.constData());
    }
    keys.push_back(nullptr);
    values.push_back(nullptr);

    PGconn* connection = PQconnectStartParams(keys.data(), values.data(), 0);
    if (connection == nullptr)
        throw ConnectError(nullptr, false);
    // The verbose form puts the server's SQLSTATE into the error message, whatever its language.
    PQsetErrorVerbosity(connection, PQERRORS_VERBOSE);
    // The server's notices (an object that already exists, a warning that it is going down while the session
    // is being made) are not errors and concern nobody here.
    PQsetNoticeProcessor(
        connection, [](void*, const char*) {}, nullptr);

    const auto deadline = Clock::now() + std::chrono::seconds(timeoutSeconds);
    PostgresPollingStatusType state =
        PQstatus(connection) == CONNECTION_BAD ? PGRES_POLLING_FAILED : PGRES_POLLING_WRITING;
    bool timedOut = false;
    while (state == PGRES_POLLING_READING || state == PGRES_POLLING_WRITING) {
        pollfd socket{PQsocket(connection),
                      static_cast<short>(state == PGRES_POLLING_READING ? POLLIN : POLLOUT), 0};
        int waitMs = -1;
        if (timeoutSeconds > 0) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            waitMs = static_cast<int>(std::max<int64_t>(0, left.count()));
        }
        const int ready = ::poll(&socket, 1, waitMs);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready == 0) {
            timedOut = true;
            break;
        }
        state = PQconnectPoll(connection);
    }
    if (timedOut || state == PGRES_POLLING_FAILED) {
        Error error = ConnectError(connection, timedOut);
        PQfinish(connection);
        throw error;
    }
    PQsetErrorVerbosity(connection, PQERRORS_DEFAULT);
    return connection;
}

}  // namespace

std::vector<std::pair<QByteArray, QByteArray>> ConnectionParameters(const ConnectionString& connection,
                                                                    const provider::OpenOptions& options) {
    std::vector<std::pair<QByteArray, QByteArray>> parameters;

    // Data Source: "host", "host,port", "/socket/folder" or "/socket/folder,port". A server instance name
    // ("host\instance") has no meaning here and is dropped; "(local)" and "." mean the local socket.
    QString host = FirstOf(connection, {"Data Source", "Server", "Address", "Addr"}).trimmed();
    QString port;
    if (const qsizetype comma = host.lastIndexOf(u','); comma >= 0) {
        port = host.mid(comma + 1).trimmed();
        host = host.left(comma).trimmed();
    }
    if (!host.startsWith(u'/') && host.contains(u'\\'))
        host = host.left(host.indexOf(u'\\'));
    if (host == QLatin1StringView("(local)") || host == QLatin1StringView("."))
        host.clear();
    if (!host.isEmpty())
        parameters.emplace_back("host", host.toUtf8());
    if (!port.isEmpty())
        parameters.emplace_back("port", port.toUtf8());

    const QString catalog = FirstOf(connection, {"Initial Catalog", "Database"});
    if (!catalog.isEmpty())
        parameters.emplace_back("dbname", catalog.toUtf8());

    const bool integrated = IsYes(FirstOf(connection, {"Integrated Security", "Trusted_Connection"}));
    if (integrated) {
        parameters.emplace_back("user", OperatingSystemUser());
    } else {
        const QString user =
            options.userId.isEmpty() ? FirstOf(connection, {"UID", "User ID"}) : options.userId;
        const QString password =
            options.password.isEmpty() ? FirstOf(connection, {"Pwd", "Password"}) : options.password;
        if (!user.isEmpty())
            parameters.emplace_back("user", user.toUtf8());
        if (!password.isEmpty())
            parameters.emplace_back("password", password.toUtf8());
    }

    const QString application = connection.Has(QStringLiteral("Application Name"))
                                    ? connection.Get(QStringLiteral("Application Name"))
                                    : QCoreApplication::applicationName();
    if (!application.isEmpty())
        parameters.emplace_back("application_name", application.left(63).toUtf8());
    parameters.emplace_back("client_encoding", "UTF8");
    parameters.emplace_back(
        "options", "-c lock_timeout=" + QByteArray::number(kLockTimeoutMs) + " -c statement_timeout=" +
                       QByteArray::number(options.commandTimeoutSeconds * 1000) + " -c DateStyle=ISO,MDY");
    return parameters;
}

std::vector<QString> Session::Translate(const QString& sql) {
    const QString sent = sql::ToPostgres(sql);
    if (TraceEnabled())
        TraceStatement(kProviderName, sql, sent);
    return sql::SplitBatch(sent);
}

std::unique_ptr<provider::Cursor> Session::Query(const QString& sql, provider::Reading /*reading*/) {
    const std::vector<QString> statements = Translate(sql);
    if (statements.empty())
        return CursorOver(ResultPtr(PQmakeEmptyPGresult(nullptr, PGRES_TUPLES_OK)));
    for (size_t i = 0; i + 1 < statements.size(); ++i)
        RunStatement(*link_, statements[i], sql);
    return RunQuery(link_, statements.back(), sql);
}

int64_t Session::Execute(const QString& sql) {
    int64_t affected = 0;
    for (const QString& statement : Translate(sql)) {
        affected = RunStatement(*link_, statement, sql);
        tables_.FollowIdentityAfterInsert(*link_, statement, sql);
    }
    return affected;
}

provider::TableKey Session::UpdatableTable(const QString& sql) {
    return tables_.UpdatableTable(*link_, sql::ToPostgres(sql), sql);
}

ResultPtr Session::RunBuilt(const QString& sql, const ParameterValues& values) {
    if (TraceEnabled())
        TraceStatement(kProviderName, sql, sql);
    return RunWithValues(*link_, sql, values);
}

std::unique_ptr<provider::Cursor> Session::SelectByKey(const provider::TableKey& table, const Variant& key) {
    const QString sql =
        QStringLiteral("SELECT * FROM %1 WHERE %2 = $1").arg(table.table, QuoteIdentifier(table.keyColumn));
    return CursorOver(RunBuilt(sql, {ParameterText(key)}));
}

QString Session::InsertText(const provider::TableKey& table, const std::vector<QString>& columns) {
    QStringList names;
    QStringList placeholders;
    for (size_t i = 0; i < columns.size(); ++i) {
        names << tables_.QuotedColumn(*link_, table, columns[i]);
        placeholders << u'$' + QString::number(i + 1);
    }
    // The key comes back with the insert: one round trip, not a second one to learn it.
    const QString returning = QStringLiteral(" RETURNING ") + QuoteIdentifier(table.keyColumn);
    const QString sql = columns.empty()
                            ? QStringLiteral("INSERT INTO %1 DEFAULT VALUES").arg(table.table) + returning
                            : QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                                      .arg(table.table, names.join(QStringLiteral(", ")),
                                           placeholders.join(QStringLiteral(", "))) +
                                  returning;
    return sql;
}

Variant Session::Insert(const provider::TableKey& table, const std::vector<QString>& columns,
                        const std::vector<Variant>& values) {
    ParameterValues parameters;
    for (const Variant& value : values)
        parameters.push_back(ParameterText(value));
    ResultPtr result = RunBuilt(InsertText(table, columns), parameters);
    tables_.FollowIdentityAfterInsert(*link_, table, columns);
    std::vector<Variant> row;
    return CursorOver(std::move(result))->Next(row) ? row.at(0) : Variant::Null();
}

std::vector<bool> Session::HasRows(const std::vector<QString>& queries) {
    std::vector<PreparedCall> calls;
    calls.reserve(queries.size());
    std::vector<QString> sent;
    sent.reserve(queries.size());
    for (const QString& query : queries) {
        sent.push_back(sql::ToPostgres(query));
        const std::vector<QString> statements = sql::SplitBatch(sent.back());
        std::optional<PreparedCall> call =
            statements.size() == 1 ? PreparedCallFor(statements.front(), query) : std::nullopt;
        if (!call)
            return provider::Session::HasRows(queries);  // one by one, as Query runs it
        calls.push_back(std::move(*call));
    }
    if (TraceEnabled()) {
        for (size_t i = 0; i < queries.size(); ++i)
            TraceStatement(kProviderName, queries[i], sent[i]);
    }
    std::vector<bool> answers;
    answers.reserve(calls.size());
    for (const ResultPtr& result : link_->RunFlight(calls))
        answers.push_back(PQntuples(result.get()) > 0);
    return answers;
}

void Session::InsertAll(const provider::TableKey& table, const std::vector<QString>& columns,
                        const std::vector<std::vector<Variant>>& rows) {
    if (rows.empty())
        return;
    const QString sql = InsertText(table, columns);
    const QByteArray text = sql.toUtf8();
    std::vector<PreparedCall> calls;
    calls.reserve(rows.size());
    for (const std::vector<Variant>& values : rows) {
        ParameterValues parameters;
        for (const Variant& value : values)
            parameters.push_back(ParameterText(value));
        calls.push_back({text, text, std::vector<Oid>(columns.size(), 0), std::move(parameters), sql});
        if (TraceEnabled())
            TraceStatement(kProviderName, sql, sql);
    }
    link_->RunFlight(calls);
    tables_.FollowIdentityAfterInsert(*link_, table, columns);
}

int64_t Session::Update(const provider::TableKey& table, const Variant& key,
                        const std::vector<QString>& columns, const std::vector<Variant>& values) {
    if (columns.empty())
        return 1;
    QStringList assignments;
    ParameterValues parameters;
    for (size_t i = 0; i < columns.size(); ++i) {
        assignments << tables_.QuotedColumn(*link_, table, columns[i]) + QStringLiteral(" = $") +
                           QString::number(i + 1);
        parameters.push_back(ParameterText(values[i]));
    }
    parameters.push_back(ParameterText(key));
    const QString sql = QStringLiteral("UPDATE %1 SET %2 WHERE %3 = $%4")
                            .arg(table.table, assignments.join(QStringLiteral(", ")),
                                 QuoteIdentifier(table.keyColumn), QString::number(parameters.size()));
    return QByteArray(PQcmdTuples(RunBuilt(sql, parameters).get())).toLongLong();
}

int64_t Session::Delete(const provider::TableKey& table, const Variant& key) {
    const QString sql =
        QStringLiteral("DELETE FROM %1 WHERE %2 = $1").arg(table.table, QuoteIdentifier(table.keyColumn));
    return QByteArray(PQcmdTuples(RunBuilt(sql, {ParameterText(key)}).get())).toLongLong();
}

std::unique_ptr<provider::Session> Provider::Open(const ConnectionString& connection,
                                                  const provider::OpenOptions& options) {
    PGconn* raw = Connect(ConnectionParameters(connection, options), options.connectionTimeoutSeconds);
    return std::make_unique<Session>(std::make_shared<Link>(raw, options.commandTimeoutSeconds * 1000));
}

std::shared_ptr<ado::provider::Provider> MakeProvider() {
    return std::make_shared<Provider>();
}

}  // namespace ado::postgresql
