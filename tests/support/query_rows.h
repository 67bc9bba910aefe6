#pragma once
// Reading rows back for a test's checks, through the object model the program uses.

#include "ado/connection.h"
#include "ado/recordset.h"

#include <QString>
#include <QStringList>

#include <vector>

namespace testsupport {

// The rows of sql on a new connection with connectionString, each field as text ("Null" for Null), fields in
// the order given. Raises ado::Error.
inline std::vector<QStringList> QueryRows(const QString& connectionString, const QString& sql,
                                          const QStringList& fields) {
    ado::Connection connection;
    connection.Open(connectionString);
    ado::Recordset recordset;
    recordset.Open(sql, connection);
    std::vector<QStringList> rows;
    for (; !recordset.Eof(); recordset.MoveNext()) {
        QStringList& row = rows.emplace_back();
        for (const QString& field : fields) {
            const ado::Field& value = recordset.Fields(field);
            row << (value.IsNull() ? QStringLiteral("Null") : value.ToString());
        }
    }
    return rows;
}

}  // namespace testsupport
