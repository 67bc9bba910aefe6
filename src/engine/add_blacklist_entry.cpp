// Creating one automatic disqualification, unless the pair already has one.
#include "engine/add_blacklist_entry.h"

#include "data/connection_settings.h"
#include "data/current_ids.h"
#include "data/generic_ado.h"
#include "engine/retried_open.h"
#include "platform/clock.h"
#include "platform/screen.h"

#include <memory>

namespace engine {

QString DuplicateTest(int32_t clientId, int32_t agencyId) {
    return QStringLiteral("SELECT TOP 1 ID FROM Blacklist WHERE Agency_ID = ") + QString::number(agencyId) +
           QStringLiteral(" AND Client_ID = ") + QString::number(clientId);
}

const std::vector<QString>& EntryColumns() {
    static const std::vector<QString> columns{
        QStringLiteral("Client_ID"),    QStringLiteral("Agency_ID"), QStringLiteral("Manually_Entered"),
        QStringLiteral("Date_Created"), QStringLiteral("Notes"),     QStringLiteral("Created_By")};
    return columns;
}

std::vector<ado::Variant> EntryValues(int32_t clientId, int32_t agencyId, const QString& notes,
                                      const QDateTime& now) {
    return {clientId, agencyId, false, now, notes, data::gCurrentUserId};
}

void AddBlacklistEntry(ado::Connection& connection, ado::Recordset& addRecordset, int32_t clientId,
                       int32_t agencyId, const QString& notes) {
    auto existing = std::make_unique<ado::Recordset>();
    OpenRetried(*existing, DuplicateTest(clientId, agencyId), connection, ado::adOpenForwardOnly,
                ado::adLockReadOnly,
                {.wording = UnexpectedErrorWording::BlacklistEntry, .doEventsBetweenAttempts = false});

    if (existing->Eof()) {
        // Beginning a row fails only on a read-only or closed recordset, which the rebuilds never pass; such
        // a failure has been told to the user and counted.
        static_cast<void>(data::AdoAutoAddRS(addRecordset));
        const std::vector<ado::Variant> values = EntryValues(clientId, agencyId, notes, platform::Now());
        for (size_t i = 0; i < values.size(); ++i)
            addRecordset.Fields(EntryColumns()[i]) = values[i];
        // A save that failed has been told to the user and counted (data/failed_writes.h); the rebuild goes
        // on.
        static_cast<void>(data::AdoUpdateRecord(addRecordset, true, data::Settings().accessFlag, true));
    }

    data::AdoCloseRecordset(existing);
    platform::Screen::DoEvents();
}

}  // namespace engine
