#include "ado/sqlite/error.h"

#include <sqlite3.h>

namespace ado::sqlite {

namespace {

// The name after "<prefix>: " in an engine message, e.g. the table of "no such table: Blacklist".
QString NameAfterColon(const QString& message) {
    return message.section(QStringLiteral(": "), 1).trimmed();
}

Error FromEngineError(int extended, const QString& message, const QString& statement) {
    if (message.startsWith(QLatin1String("no such table:"))) {
        return Error(
            DB_E_NOTABLE, extended,
            QStringLiteral("The Microsoft Jet database engine cannot find the input table or query '%1'. "
                           "Make sure it exists and that its name is spelled correctly.")
                .arg(NameAfterColon(message)),
            statement);
    }
    if (message.startsWith(QLatin1String("no such column:"))) {
        return Error(DB_E_PARAMNOTOPTIONAL, extended,
                     QStringLiteral("No value given for one or more required parameters."), statement);
    }
    if (message.contains(QLatin1String("syntax error")) ||
        message.startsWith(QLatin1String("incomplete input")) ||
        message.startsWith(QLatin1String("unrecognized token"))) {
        return Error(DB_E_ERRORSINCOMMAND, extended,
                     QStringLiteral("Syntax error in SQL statement (%1).").arg(message), statement);
    }
    // Other faults of the statement itself: an unknown function, a table that already exists, ...
    return Error(DB_E_ERRORSINCOMMAND, extended, message, statement);
}

Error FromConstraint(int extended, const QString& message, const QString& statement) {
    if (extended == SQLITE_CONSTRAINT_PRIMARYKEY || extended == SQLITE_CONSTRAINT_UNIQUE) {
        return Error(
            DB_E_INTEGRITYVIOLATION, extended,
            QStringLiteral("The changes you requested to the table were not successful because they would "
                           "create duplicate values in the index, primary key, or relationship. (%1)")
                .arg(message),
            statement);
    }
    return Error(
        DB_E_INTEGRITYVIOLATION, extended,
        QStringLiteral("The changes you requested to the table were not successful (%1).").arg(message),
        statement);
}

}  // namespace

Error EngineError(sqlite3* db, int rc, const QString& statement) {
    const int extended = db ? sqlite3_extended_errcode(db) : rc;
    const QString message =
        db ? QString::fromUtf8(sqlite3_errmsg(db)) : QString::fromUtf8(sqlite3_errstr(rc));
    switch (rc & 0xff) {
        case SQLITE_BUSY:
            // A write on a connection whose read began before another connection's commit: no wait clears
            // it while that read lasts, so it is not the lock that the program waits out.
            if (extended == SQLITE_BUSY_SNAPSHOT) {
                return Error(E_FAIL_HR, extended,
                             QStringLiteral("Could not update; the data changed since this connection began "
                                            "reading it."),
                             statement);
            }
            [[fallthrough]];
        case SQLITE_LOCKED:
            return Error(E_FAIL_HR, JET_LOCKED, QStringLiteral("Could not update; currently locked."),
                         statement);
        case SQLITE_INTERRUPT:
            return Error(DB_E_ABORTLIMITREACHED, 0, QStringLiteral("Query timeout expired"), statement);
        case SQLITE_CONSTRAINT:
            return FromConstraint(extended, message, statement);
        case SQLITE_MISMATCH:
            return Error(DB_E_CANTCONVERTVALUE, extended,
                         QStringLiteral("Data type mismatch in criteria expression."), statement);
        case SQLITE_NOTADB:
            return NotADatabase(db ? QString::fromUtf8(sqlite3_db_filename(db, "main")) : QString());
        case SQLITE_READONLY:
            return Error(E_FAIL_HR, JET_READ_ONLY,
                         QStringLiteral("Cannot update. Database or object is read-only."), statement);
        case SQLITE_ERROR:
            return FromEngineError(extended, message, statement);
        default:
            return Error(E_FAIL_HR, extended, message, statement);
    }
}

Error FileNotFound(const QString& file) {
    return Error(E_FAIL_HR, JET_FILE_NOT_FOUND, QStringLiteral("Could not find file '%1'.").arg(file));
}

Error ReadOnly(const QString& path) {
    return Error(E_FAIL_HR, JET_READ_ONLY,
                 QStringLiteral("Cannot update. Database or object is read-only. ('%1' cannot be written.)")
                     .arg(path));
}

Error NotADatabase(const QString& file) {
    return Error(E_FAIL_HR, JET_NOT_A_DATABASE,
                 QStringLiteral("Unrecognized database format '%1'.").arg(file));
}

}  // namespace ado::sqlite
