#pragma once
// How the server's failures become the errors that ADO raises: the HRESULT, and the native number that the
// server product would give for the same condition.

#include "ado/error.h"

#include <libpq-fe.h>

#include <QByteArray>
#include <QString>

namespace ado::postgresql {

// Native numbers of the conditions that have no entry of their own in ado/error.h.
inline constexpr int32_t SQL_CONVERSION_FAILED = 245;
inline constexpr int32_t SQL_OPERAND_TYPE_CLASH = 206;

struct ErrorNumbers {
    int32_t hresult;
    int32_t nativeError;
};

// The numbers raised for a SQLSTATE reported by the server while running a statement.
ErrorNumbers NumbersForSqlState(const QByteArray& sqlState);

// The numbers raised for a SQLSTATE reported by the server while a session was being opened.
ErrorNumbers NumbersForConnectState(const QByteArray& sqlState);

// The error of a statement that failed: result may be null (out of memory, lost connection). Never fails.
Error StatementError(PGconn* connection, const PGresult* result, const QString& statement);

// The error of a connection that could not be opened, classified from the server's SQLSTATE, which the
// connection's verbose error message carries. timedOut: the connect time-out ran out. Never fails.
Error ConnectError(PGconn* connection, bool timedOut);

}  // namespace ado::postgresql
