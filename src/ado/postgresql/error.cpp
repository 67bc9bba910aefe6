#include "ado/postgresql/error.h"

#include <QRegularExpression>

namespace ado::postgresql {

namespace {

struct StateMapping {
    const char* prefix;  // a whole SQLSTATE, or its two-character class
    ErrorNumbers numbers;
};

// Exact states first, then classes; the first match wins.
constexpr StateMapping kStatementStates[] = {
    {"55P03", {E_FAIL_HR, SQL_LOCK_TIMEOUT}},                   // lock not available (lock_timeout)
    {"40P01", {E_FAIL_HR, SQL_LOCK_TIMEOUT}},                   // deadlock detected
    {"57014", {DB_E_ABORTLIMITREACHED, 0}},                     // statement timeout or cancel
    {"42601", {DB_E_ERRORSINCOMMAND, SQL_SYNTAX}},              // syntax error
    {"42P01", {DB_E_NOTABLE, SQL_NO_TABLE}},                    // undefined table
    {"42703", {DB_E_PARAMNOTOPTIONAL, SQL_NO_COLUMN}},          // undefined column
    {"42883", {DB_E_ERRORSINCOMMAND, SQL_OPERAND_TYPE_CLASH}},  // no operator for these types
    {"42804", {DB_E_ERRORSINCOMMAND, SQL_OPERAND_TYPE_CLASH}},  // datatype mismatch
    {"23", {DB_E_INTEGRITYVIOLATION, SQL_DUPLICATE_KEY}},       // unique, foreign key, not null, check
    {"22", {DB_E_CANTCONVERTVALUE, SQL_CONVERSION_FAILED}},     // data exception
    {"08", {E_FAIL_HR, SQL_CONNECTION_LOST}},                   // connection exception
    {"57P", {E_FAIL_HR, SQL_CONNECTION_LOST}},                  // server shutting down
    {"53", {E_FAIL_HR, 0}},                                     // out of resources
};

// A server that answers but cannot take a session now is unreachable for the time being, as one that does not
// listen: it is starting up, shutting down or recovering (57P03), ending its sessions (57P01, 57P02), or has
// no connection slot left (53300, also while its clients come back after a restart).
constexpr StateMapping kConnectStates[] = {
    {"28", {E_FAIL_HR, SQL_LOGIN_FAILED}},  // invalid authorization (password, role, pg_hba)
    {"3D000", {E_FAIL_HR, SQL_NO_DATABASE}},     {"57P", {E_FAIL_HR, SQL_SERVER_UNREACHABLE}},
    {"53", {E_FAIL_HR, SQL_SERVER_UNREACHABLE}}, {"08", {E_FAIL_HR, SQL_SERVER_UNREACHABLE}},
};

const StateMapping* Find(const auto& table, const QByteArray& sqlState) {
    for (const StateMapping& mapping : table) {
        if (sqlState.startsWith(mapping.prefix))
            return &mapping;
    }
    return nullptr;
}

QString ConnectionMessage(PGconn* connection) {
    return connection ? QString::fromUtf8(PQerrorMessage(connection)).trimmed()
                      : QStringLiteral("out of memory");
}

// The server's SQLSTATE in a verbose error message: "...FATAL:  3D000: database "x" does not exist". The
// state is never translated, whatever language the messages are in.
QByteArray SqlStateInMessage(const QString& message) {
    static const QRegularExpression kState(QStringLiteral(":  ([0-9A-Z]{5}): "));
    const QRegularExpressionMatch match = kState.match(message);
    return match.hasMatch() ? match.captured(1).toLatin1() : QByteArray();
}

// The message without the SQLSTATE that the verbose form puts in front of it.
QString WithoutSqlState(QString message, const QByteArray& sqlState) {
    if (!sqlState.isEmpty())
        message.replace(QString::fromLatin1(sqlState + ": "), QString());
    return message;
}

}  // namespace

ErrorNumbers NumbersForSqlState(const QByteArray& sqlState) {
    const StateMapping* mapping = Find(kStatementStates, sqlState);
    return mapping ? mapping->numbers : ErrorNumbers{DB_E_ERRORSINCOMMAND, 0};
}

ErrorNumbers NumbersForConnectState(const QByteArray& sqlState) {
    const StateMapping* mapping = Find(kConnectStates, sqlState);
    return mapping ? mapping->numbers : NumbersForSqlState(sqlState);
}

Error StatementError(PGconn* connection, const PGresult* result, const QString& statement) {
    const char* state = result ? PQresultErrorField(result, PG_DIAG_SQLSTATE) : nullptr;
    if (state == nullptr) {
        // libpq's own failure: the connection broke, or the client ran out of memory.
        QString message = result ? QString::fromUtf8(PQresultErrorMessage(result)).trimmed() : QString();
        if (message.isEmpty())
            message = ConnectionMessage(connection);
        return Error(E_FAIL_HR, SQL_CONNECTION_LOST, message, statement);
    }
    const ErrorNumbers numbers = NumbersForSqlState(QByteArray(state));
    const char* primary = PQresultErrorField(result, PG_DIAG_MESSAGE_PRIMARY);
    return Error(numbers.hresult, numbers.nativeError, QString::fromUtf8(primary ? primary : state),
                 statement);
}

Error ConnectError(PGconn* connection, bool timedOut) {
    const QString message = ConnectionMessage(connection);
    if (timedOut) {
        return Error(E_FAIL_HR, SQL_SERVER_UNREACHABLE, QStringLiteral("Login timeout expired. ") + message);
    }
    if (connection && PQconnectionNeedsPassword(connection)) {
        return Error(E_FAIL_HR, SQL_LOGIN_FAILED, message);
    }
    const QByteArray state = SqlStateInMessage(message);
    if (!state.isEmpty()) {
        const ErrorNumbers numbers = NumbersForConnectState(state);
        return Error(numbers.hresult, numbers.nativeError, WithoutSqlState(message, state));
    }
    // No answer from a server at all: no socket, connection refused, unknown host, or the server closed the
    // connection before it answered (it is going down).
    return Error(E_FAIL_HR, SQL_SERVER_UNREACHABLE, message);
}

}  // namespace ado::postgresql
