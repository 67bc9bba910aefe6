#pragma once
// The generic record operations: closing, the Jet cache refresh, commands, and writes that wait out locks
// held by other workstations and retry time-outs, with fixed failure messages. A condition that no wait can
// clear (read-only, a full disk, a damaged file) takes the failure path at once; a server that is away is
// waited out for up to five minutes; every write given up on is counted (data/failed_writes.h).

#include "ado/connection.h"
#include "ado/recordset.h"

#include <QString>

#include <cstdint>
#include <memory>

namespace data {

// Closes the connection and empties the caller's reference. Raises what the close raises (3704 when it is
// not open; 91 when the reference is empty), leaving the reference as it was.
void AdoCloseConnection(std::unique_ptr<ado::Connection>& connection);
// Closes the recordset and empties the caller's reference. Raises as AdoCloseConnection does.
void AdoCloseRecordset(std::unique_ptr<ado::Recordset>& recordset);
// With accessFlag (the embedded engine), makes other connections' writes visible to this one; on the server
// nothing. Raises ado::Error when the connection is closed or its session cannot be had.
void AdoRefreshCache(ado::Connection& connection, bool accessFlag);
// Runs sql; 0 on success, else the error number. One time-out is retried at once. Never shows a message and
// never raises.
int32_t AdoExecute(ado::Connection& connection, const QString& sql);
// Deletes the current record, waiting out locks once a second (a message every 11 attempts) and a server
// that is away, for up to five minutes (data/retry_bound.h), then refreshes the cache when refresh is set.
// True when deleted; false after the "** Delete Failed **" message, the write counted as failed.
[[nodiscard]] bool AdoDeleteRecord(ado::Recordset& recordset, bool refresh, bool accessFlag);
// Saves the current record with retries of locks and time-outs (five, or five minutes for the endless kind)
// and of a server that is away (five minutes, without a prompt), then refreshes the cache when refresh is
// set. True when saved; false after a message, or at once when the user answers Cancel to the lock prompt,
// the write counted as failed.
[[nodiscard]] bool AdoUpdateRecord(ado::Recordset& recordset, bool refresh, bool accessFlag,
                                   bool quiet = false);
// Begins a new record. True when begun; false after the "Add failed" message, the write counted as failed.
[[nodiscard]] bool AdoAutoAddRS(ado::Recordset& recordset);
// Begins a new record; with an ID of 1 or more, inserts it with that ID and reopens the recordset on it.
// True when the new row is current; false when the inserted row cannot be read back. Raises what opening
// the recordset raises.
[[nodiscard]] bool AdoAddWithIdentity(const QString& dataSourceType, ado::Connection& connection,
                                      std::unique_ptr<ado::Recordset>& recordset, const QString& tableName,
                                      int32_t id);

}  // namespace data
