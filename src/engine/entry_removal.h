#pragma once
// Removing the automatic Blacklist entries of one agency or one client: record by record on the embedded
// engine, in batches of set-based deletes on the server.

#include "ado/connection.h"
#include "engine/rebuild_progress.h"

#include <QString>

#include <cstdint>

namespace engine {

// Whose automatic entries go: the Blacklist field that names the owner ("Agency_ID" or "Client_ID") and its
// value.
struct AutomaticEntries {
    QString ownerField;
    int32_t ownerId = 0;
};

// Deletes the entries one record at a time with AdoDeleteRecord, letting pending window events run after
// each; when there are any, progress shows the phase "Removing disqualifications..." and the count of removed
// entries. A record that cannot be deleted is told with failureMessage (OK, information icon) and stays.
// Errors of opening the entries reach the caller.
void RemoveOneByOne(ado::Connection& connection, const AutomaticEntries& entries,
                    const QString& failureMessage, RebuildProgress& progress);

// Deletes the entries batchSize at a time, lowest IDs first, probing for a remaining entry before each batch,
// until the probe finds none. The probe is opened as OpenRetried does; a batch delete that fails is sent
// again after 250 ms while its failures are waited out (IsWaitedOut) and have lasted less than five minutes;
// otherwise the run ends with the "Unexpected error" message (throws platform::EndProgram).
void RemoveInBatches(ado::Connection& connection, const AutomaticEntries& entries, int batchSize);

}  // namespace engine
