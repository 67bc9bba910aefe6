// The two ways of removing automatic entries.
#include "engine/entry_removal.h"

#include "data/connection_settings.h"
#include "data/generic_ado.h"
#include "data/retry_bound.h"
#include "engine/retried_open.h"
#include "platform/clock.h"
#include "platform/msgbox.h"
#include "platform/screen.h"

#include <memory>

namespace engine {

namespace {

// The failure numbered number that the connection's last error describes.
ado::Error LastError(ado::Connection& connection, int32_t number) {
    const ado::Errors& errors = connection.GetErrors();
    if (errors.Count() == 0)
        return ado::Error(number, 0, QString());
    const ado::ErrorEntry& last = errors.Item(errors.Count() - 1);
    return ado::Error(number, last.nativeError, last.description);
}

}  // namespace

void RemoveOneByOne(ado::Connection& connection, const AutomaticEntries& entries,
                    const QString& failureMessage, RebuildProgress& progress) {
    const data::ConnectionSettings& settings = data::Settings();
    auto removal = std::make_unique<ado::Recordset>();
    removal->Open(QStringLiteral("SELECT * FROM Blacklist WHERE ") + entries.ownerField +
                      QStringLiteral(" = ") + QString::number(entries.ownerId) +
                      QStringLiteral(" AND Manually_Entered = ") + settings.falseLiteral,
                  connection, ado::adOpenForwardOnly, ado::adLockPessimistic, -1);
    if (!removal->Eof()) {
        int32_t counter = 0;
        progress.SetPhase(QStringLiteral("Removing disqualifications..."));
        while (!removal->Eof()) {
            if (!data::AdoDeleteRecord(*removal, true, data::Settings().accessFlag)) {
                platform::MsgBox(failureMessage, platform::vbOKOnly + platform::vbInformation);
            }
            ++counter;
            progress.SetCounter(QStringLiteral(" ") + QString::number(counter) + QStringLiteral(" entries"));
            platform::Screen::DoEvents();
            removal->MoveNext();
        }
    }
    data::AdoCloseRecordset(removal);
}

void RemoveInBatches(ado::Connection& connection, const AutomaticEntries& entries, int batchSize) {
    const data::ConnectionSettings& settings = data::Settings();
    const QString owner = entries.ownerField + QStringLiteral(" = ") + QString::number(entries.ownerId);
    const QString probeSql = QStringLiteral("SELECT TOP 1 ID FROM Blacklist WHERE Manually_Entered = ") +
                             settings.falseLiteral + QStringLiteral(" AND ") + owner +
                             QStringLiteral(" ORDER BY ID");
    const QString deleteSql = QStringLiteral("DELETE Blacklist FROM (SELECT TOP ") +
                              QString::number(batchSize) + QStringLiteral(" * FROM Blacklist WHERE ") +
                              owner + QStringLiteral(" AND Manually_Entered = ") + settings.falseLiteral +
                              QStringLiteral(" ORDER BY ID) AS t1 Where t1.ID = Blacklist.ID");

    data::RetryBound failingBatches(
        {.name = QStringLiteral("batch delete"), .subject = deleteSql, .dataSource = {}});
    for (;;) {
        auto probe = std::make_unique<ado::Recordset>();
        OpenRetried(*probe, probeSql, connection, ado::adOpenForwardOnly, ado::adLockReadOnly, {});
        const bool found = !probe->Eof();
        data::AdoCloseRecordset(probe);
        if (!found)
            break;

        const int32_t result = data::AdoExecute(connection, deleteSql);
        if (result == 0) {
            failingBatches.Succeeded();
        } else {
            const ado::Error failure = LastError(connection, result);
            if (!IsWaitedOut(failure) || !failingBatches.AllowsAnotherAttempt(failure))
                EndWithUnexpectedError(failure, UnexpectedErrorWording::Rebuild);
            // A batch that failed (a lock held elsewhere) is sent again after the usual wait, not at once.
            platform::Sleep(kRetryWaitMs);
        }
        platform::Screen::DoEvents();
    }
}

}  // namespace engine
