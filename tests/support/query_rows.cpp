#include "support/query_rows.h"

#include "ado/connection.h"
#include "ado/recordset.h"

namespace testsupport {

std::vector<QStringList> QueryRows(const QString& connectionString, const QString& sql,
                                   const QStringList& fields) {
    ado::Connection connection;
    connection.Open(connectionString);
    ado::Recordset recordset;
    recordset.Open(sql, connection);
    std::vector<QStringList> rows;
    for (; !recordset.Eof(); recordset.MoveNext()) {
        QStringList row;
        for (const QString& field : fields) {
            const ado::Field& value = recordset.Fields(field);
            row << (value.IsNull() ? QStringLiteral("Null") : value.ToString());
        }
        rows.push_back(row);
    }
    return rows;
}

}  // namespace testsupport
