#include "data/queue_census.h"

#include "ado/connection.h"
#include "ado/recordset.h"

namespace data {

namespace {

// The count that sql (one row, field N) gives.
int32_t Count(ado::Connection& connection, const QString& sql) {
    ado::Recordset count;
    count.Open(sql, connection, ado::adOpenForwardOnly, ado::adLockReadOnly, -1);
    const int32_t n = count.Fields(QStringLiteral("N")).ToLong();
    count.Close();
    return n;
}

}  // namespace

QueueCensus CountQueue(ado::Connection& connection) {
    QueueCensus census;
    census.queued = Count(connection, QStringLiteral("SELECT COUNT(*) AS N FROM Disqualifications_Queue"));
    census.agencyMissing = Count(
        connection, QStringLiteral("SELECT COUNT(*) AS N FROM Disqualifications_Queue q LEFT JOIN Agencies a "
                                   "ON a.ID = q.Table_ID WHERE q.Table_Name = 'Agencies' AND a.ID IS NULL"));
    return census;
}

}  // namespace data
