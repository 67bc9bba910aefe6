#pragma once
// What the ado tests share: the connection and recordset, the error a call raises, a query's first value.

#include "ado/connection.h"
#include "ado/recordset.h"

#include <gtest/gtest.h>

#include <functional>

// The error that action raises; a test failure when it raises none.
inline ado::Error ErrorOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const ado::Error& err) {
        return err;
    }
    ADD_FAILURE() << "no error was raised";
    return ado::Error(0, 0, QString());
}

// The first value of sql's first row on connection, "(none)" when it gives no row.
inline QString Scalar(ado::Connection& connection, const QString& sql) {
    ado::Recordset rows;
    rows.Open(sql, connection);
    return rows.Eof() ? QStringLiteral("(none)") : rows.FieldAt(0).ToString();
}
