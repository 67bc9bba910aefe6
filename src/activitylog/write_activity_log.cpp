#include "activitylog/write_activity_log.h"

#include "data/connection_settings.h"
#include "data/current_ids.h"
#include "data/generic_ado.h"
#include "data/open_connection.h"
#include "platform/clock.h"

#include <memory>

namespace activitylog {

namespace {

// Each row waits this long first, so that two rows of one run are at least a second apart.
constexpr int kWaitBeforeRowMs = 1000;

}  // namespace

void WriteActivityLog(const QString& notes) {
    platform::Sleep(kWaitBeforeRowMs);

    auto connection = std::make_unique<ado::Connection>();
    // The result is not examined: a connection that did not open fails the recordset's open below.
    static_cast<void>(data::AdoOpenConnection(*connection, data::Database::Users, false));

    auto recordset = std::make_unique<ado::Recordset>();
    recordset->Open(QStringLiteral("SELECT * FROM [Activity Log] WHERE [ID] = -1"), *connection,
                    ado::adOpenDynamic, ado::adLockPessimistic, -1);
    // With the ID 0 this only begins a new row, which cannot fail to be read back: the result says nothing.
    static_cast<void>(data::AdoAddWithIdentity(QStringLiteral("Access"), *connection, recordset,
                                               QStringLiteral("Activity Log"), 0));

    ado::Recordset& row = *recordset;
    row.Fields(QStringLiteral("User ID")) = ado::Variant(data::gCurrentUserId);
    row.Fields(QStringLiteral("Workstation")) = ado::Variant(data::gCurrentWorkstationId);
    row.Fields(QStringLiteral("Time")) = ado::Variant(platform::Now());
    row.Fields(QStringLiteral("Notes")) = ado::Variant(notes);
    row.Fields(QStringLiteral("Last Updated")) = row.Fields(QStringLiteral("Time")).Value();
    row.Fields(QStringLiteral("Updated By")) = ado::Variant(QStringLiteral("* SYSTEM *"));

    // The users database is always an embedded file, whatever the main data source is. A save that failed has
    // been told to the user by the save itself; the log goes on without its row.
    constexpr bool kUsersDatabaseIsAccess = true;
    static_cast<void>(data::AdoUpdateRecord(row, false, kUsersDatabaseIsAccess, false));

    data::AdoCloseRecordset(recordset);
    data::AdoCloseConnection(connection);
}

}  // namespace activitylog
