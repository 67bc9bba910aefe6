// One of the product's databases as a command uses it.
#include "tools/database.h"

#include "ado/connection_string.h"
#include "ado/recordset.h"
#include "platform/clock.h"

#include <QRegularExpression>

namespace tools {

namespace {

constexpr int kLockRetryMs = 250;

bool IsServerString(const ado::ConnectionString& parsed) {
    return parsed.Get(QStringLiteral("Provider")).startsWith(QStringLiteral("SQLOLEDB"), Qt::CaseInsensitive);
}

// The first name that text quotes ('name' or "name"), or fallback.
QString QuotedName(const QString& text, const QString& fallback) {
    static const QRegularExpression quoted(QStringLiteral("['\"]([^'\"]+)['\"]"));
    const QRegularExpressionMatch match = quoted.match(text);
    return match.hasMatch() ? match.captured(1) : fallback;
}

// The cause in words when the numbers tell it; empty otherwise.
QString KnownCause(const ado::Error& error) {
    switch (error.NativeError()) {
        case ado::JET_FILE_NOT_FOUND:
            return QStringLiteral("the file does not exist");
        case ado::JET_NOT_A_DATABASE:
            return QStringLiteral("the file is not a database");
        case ado::JET_READ_ONLY:
            return QStringLiteral("the file or its folder cannot be written");
        case ado::SQL_SERVER_UNREACHABLE:
            return QStringLiteral("the server does not answer");
        case ado::SQL_LOGIN_FAILED:
            return QStringLiteral("the server refused the login");
        case ado::SQL_NO_DATABASE:
            return QStringLiteral("the catalog does not exist on the server");
        case ado::SQL_CONNECTION_LOST:
            return QStringLiteral("the connection to the server broke");
        default:
            break;
    }
    switch (error.Number()) {
        case ado::DB_E_NOTABLE:
            return QStringLiteral("the table ") +
                   QuotedName(error.Description(), QStringLiteral("it names")) +
                   QStringLiteral(" does not exist");
        case ado::DB_E_PARAMNOTOPTIONAL:
            return QStringLiteral("the field ") +
                   QuotedName(error.Description(), QStringLiteral("it names")) +
                   QStringLiteral(" does not exist");
        case ado::DB_E_INTEGRITYVIOLATION:
            return QStringLiteral("a key or a rule of the table refused the row");
        case ado::DB_E_CANTCONVERTVALUE:
            return QStringLiteral("a value does not fit the type of its field");
        default:
            break;
    }
    switch (ado::CauseOf(error.Number(), error.NativeError())) {
        case ado::ErrorCause::Lock:
            return QStringLiteral("another program holds a lock on it, or the server is busy");
        case ado::ErrorCause::Timeout:
            return QStringLiteral("the command ran past its time limit");
        default:
            return {};
    }
}

}  // namespace

QString CauseInWords(const ado::Error& error, bool onServer) {
    const QString description = error.Description().simplified();
    QString words = KnownCause(error);
    if (words.isEmpty())
        words = description;
    else if (onServer && !description.isEmpty())
        words += QStringLiteral(": ") + description;
    return words + QStringLiteral(" (error %1, native %2)").arg(error.Number()).arg(error.NativeError());
}

QString SqlText(QString text) {
    return QLatin1Char('\'') + text.replace(QLatin1Char('\''), QStringLiteral("''")) + QLatin1Char('\'');
}

Database::Database(const QString& role, const QString& connectionString)
    : connectionString_(connectionString) {
    const ado::ConnectionString parsed(connectionString);
    onServer_ = IsServerString(parsed);
    place_ = onServer_ ? role + QLatin1Char(' ') + parsed.Get(QStringLiteral("Initial Catalog")) +
                             QStringLiteral(" on the server ") + parsed.Get(QStringLiteral("Data Source")) +
                             QStringLiteral(" (PostgreSQL)")
                       : role + QLatin1Char(' ') + parsed.Get(QStringLiteral("Data Source")) +
                             QStringLiteral(" (SQLite)");
}

void Database::Open() {
    try {
        connection_.Open(connectionString_);
    } catch (const ado::Error& error) {
        throw Failure(QStringLiteral("open"), error);
    }
}

void Database::Write(const QString& action, const LockWait& wait, const std::function<void()>& write) {
    int waitedMs = 0;
    for (;;) {
        try {
            write();
            return;
        } catch (const ado::Error& error) {
            if (ado::CauseOf(error.Number(), error.NativeError()) != ado::ErrorCause::Lock)
                throw Failure(action, error);
            if (waitedMs >= wait.seconds * 1000) {
                throw CommandFailed(
                    kExitLocked,
                    QStringLiteral(
                        "Cannot %1 %2: it stayed locked for %3 s, probably by a running "
                        "KSProcessDisqualificationsQueue; nothing was written. Try again later, or "
                        "wait longer with --lock-wait SECONDS.")
                        .arg(action, place_)
                        .arg(wait.seconds));
            }
            if (waitedMs == 0) {
                Warn(place_ +
                     QStringLiteral(" is locked, probably by a running "
                                    "KSProcessDisqualificationsQueue; waiting up to ") +
                     QString::number(wait.seconds) + QStringLiteral(" s."));
            }
            platform::Sleep(kLockRetryMs);
            waitedMs += kLockRetryMs;
        }
    }
}

bool Database::HasRow(const QString& action, const QString& sql) {
    return Read(action, [&](ado::Connection& connection) {
        ado::Recordset rows;
        rows.Open(sql, connection);
        return !rows.Eof();
    });
}

void Database::Close() {
    try {
        connection_.Close();
    } catch (const ado::Error& error) {
        throw Failure(QStringLiteral("save the changes to"), error);
    }
}

CommandFailed Database::Failure(const QString& action, const ado::Error& error) const {
    const int status = ado::CauseOf(error.Number(), error.NativeError()) == ado::ErrorCause::Lock
                           ? kExitLocked
                           : kExitUnavailable;
    return CommandFailed(status, QStringLiteral("Cannot ") + action + QLatin1Char(' ') + place_ +
                                     QStringLiteral(": ") + CauseInWords(error, onServer_) +
                                     QLatin1Char('.'));
}

}  // namespace tools
