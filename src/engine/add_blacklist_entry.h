#pragma once
// The one operation that creates disqualifications.

#include "ado/connection.h"
#include "ado/recordset.h"

#include <QDateTime>
#include <QString>

#include <cstdint>
#include <vector>

namespace engine {

// The add recordset that a rebuild opens once and hands to every AddBlacklistEntry call.
inline const QString kAddRecordsetSource = QStringLiteral("SELECT * FROM Blacklist WHERE ID = -1");

// The duplicate test: finds an entry of any kind for the pair.
QString DuplicateTest(int32_t clientId, int32_t agencyId);

// The columns an automatic entry sets, and their values for the pair, made at now by the run's user.
const std::vector<QString>& EntryColumns();
std::vector<ado::Variant> EntryValues(int32_t clientId, int32_t agencyId, const QString& notes,
                                      const QDateTime& now);

// Adds an automatic Blacklist entry for the pair through addRecordset (open on "SELECT * FROM Blacklist WHERE
// ID = -1", keyset, pessimistic) unless the pair has an entry of any kind, which the duplicate test finds
// through connection; then lets pending window events run. A failing duplicate test ends the run with the
// "Unexpected error" message (throws platform::EndProgram); errors of the add itself reach the caller.
void AddBlacklistEntry(ado::Connection& connection, ado::Recordset& addRecordset, int32_t clientId,
                       int32_t agencyId, const QString& notes);

}  // namespace engine
