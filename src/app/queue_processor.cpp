// The queue work of the main window: wait for the scheduled time, then rebuild every queued agency and client
// in order of creation, empty the queue, clear the schedule and log the run.
#include "app/frm_process_disqualifications_queue.h"

#include "activitylog/write_activity_log.h"
#include "ado/connection.h"
#include "ado/recordset.h"
#include "app/frm_message.h"
#include "app/run_outcome.h"
#include "data/connection_settings.h"
#include "data/generic_ado.h"
#include "engine/rebuild_agency.h"
#include "engine/rebuild_client.h"
#include "platform/application.h"
#include "platform/clock.h"
#include "platform/screen.h"

#include <memory>

namespace app {

namespace {

// Opens a new connection on the main database as the main window does: no retry, no dialog.
std::unique_ptr<ado::Connection> OpenMainConnection() {
    auto connection = std::make_unique<ado::Connection>();
    connection->Open(data::Settings().mainConnectionString, QString(), QString(), -1);
    return connection;
}

}  // namespace

void frmProcessDisqualificationsQueue::WaitForScheduledRebuild(QDateTime rebuildTime) {
    for (;;) {
        lblLaunchTime->SetCaption(QStringLiteral("Waiting for ") + platform::FormatGeneralDate(rebuildTime));
        if (platform::DateDiffSeconds(platform::Now(), rebuildTime) <= 0)
            break;
        platform::Sleep(10000);
    }
    lblLaunchTime->SetCaption(QStringLiteral("Rebuild began at ") +
                              platform::FormatGeneralDate(platform::Now()));
}

void frmProcessDisqualificationsQueue::ProcessQueue() {
    const data::ConnectionSettings& settings = data::Settings();
    activitylog::WriteActivityLog(platform::AppTitle() + QStringLiteral(" began at ") +
                                  platform::FormatGeneralDate(platform::Now()) + QStringLiteral("."));

    std::unique_ptr<ado::Connection> connection = OpenMainConnection();
    auto queue = std::make_unique<ado::Recordset>();
    queue->Open(QStringLiteral("SELECT * FROM Disqualifications_Queue ORDER BY Creation_Date"), *connection,
                ado::adOpenKeyset, ado::adLockPessimistic, -1);

    if (queue->Eof()) {
        lblQueueSize->SetCaption(QStringLiteral("There are no disqualifications in the rebuild queue."));
    } else {
        // The message window of an agency's rebuild has no owner; a client's is owned by this window.
        MessageWindowProgress agencyProgress;
        MessageWindowProgress clientProgress(this);
        int32_t processed = 0;
        queue->MoveLast();
        queue->MoveFirst();
        lblQueueSize->SetCaption(QStringLiteral("There are ") + QString::number(queue->RecordCount()) +
                                 QStringLiteral(" item(s) in the queue."));
        while (!queue->Eof()) {
            if (queue->Fields(QStringLiteral("Table_Name")).Value() ==
                ado::Variant(QStringLiteral("Agencies"))) {
                auto agency = std::make_unique<ado::Recordset>();
                agency->Open(QStringLiteral("SELECT * FROM Agencies WHERE ID = ") +
                                 QString::number(queue->Fields(QStringLiteral("Table_ID")).ToLong()),
                             *connection, ado::adOpenForwardOnly, ado::adLockReadOnly, -1);
                if (!agency->Eof()) {
                    const bool drug = agency->Fields(QStringLiteral("No_Drug_Offenders")).ToBool();
                    const bool sex = agency->Fields(QStringLiteral("No_Sex_Offenders")).ToBool();
                    const bool theft = agency->Fields(QStringLiteral("No_Theft_Offenders")).ToBool();
                    const bool violent = agency->Fields(QStringLiteral("No_Violent_Offenders")).ToBool();
                    // The earlier flags are the negations of the current ones and force is set: every request
                    // is rebuilt in full.
                    engine::RebuildAgencyDisqualifications(agency->Fields(QStringLiteral("ID")).ToLong(),
                                                           {.refusesDrug = drug,
                                                            .refusesSex = sex,
                                                            .refusesTheft = theft,
                                                            .refusesViolent = violent,
                                                            .refusedDrug = !drug,
                                                            .refusedSex = !sex,
                                                            .refusedTheft = !theft,
                                                            .refusedViolent = !violent,
                                                            .force = true},
                                                           agencyProgress);
                    // A request whose delete failed has been told to the user and counted; it is counted as
                    // processed all the same, and the next run rebuilds it again.
                    static_cast<void>(data::AdoDeleteRecord(*queue, true, settings.accessFlag));
                    ++processed;
                    activitylog::WriteActivityLog(QStringLiteral("Disqualications rebuild for agency ") +
                                                  agency->Fields(QStringLiteral("Name")).ToString());
                } else {
                    // The request stays queued: no run can work it off until the agency exists.
                    ++ThisRun().agencyMissing;
                }
                data::AdoCloseRecordset(agency);
            } else {
                engine::RebuildClientDisqualifications(
                    queue->Fields(QStringLiteral("Table_ID")).ToLong(), clientProgress,
                    {.noMessageWindow = false, .showProgress = false, .skipRemoval = false});
                // As for an agency: a failed delete has been told and counted, and the request stays queued.
                static_cast<void>(data::AdoDeleteRecord(*queue, true, settings.accessFlag));
                ++processed;
            }
            ThisRun().processed = processed;
            lblProcessCount->SetCaption(QStringLiteral("Total of ") + QString::number(processed) +
                                        QStringLiteral(" processed."));
            platform::Screen::DoEvents();
            queue->MoveNext();
        }
    }
    data::AdoCloseRecordset(queue);

    auto parameters = std::make_unique<ado::Recordset>();
    parameters->Open(QStringLiteral("SELECT * FROM [Parameters] WHERE ID = 1"), *connection,
                     ado::adOpenForwardOnly, ado::adLockPessimistic, -1);
    if (!parameters->Eof()) {
        parameters->Fields(QStringLiteral("Next_Disqualifications_Rebuild")) = ado::Variant::Null();
        parameters->Fields(QStringLiteral("Next_Rebuild_Requested_By")) = ado::Variant::Null();
        // A failed save has been told to the user and counted; the schedule then stays for the next run.
        static_cast<void>(data::AdoUpdateRecord(*parameters, true, settings.accessFlag, false));
    }
    data::AdoCloseRecordset(parameters);
    data::AdoCloseConnection(connection);

    activitylog::WriteActivityLog(platform::AppTitle() + QStringLiteral(" finished at ") +
                                  platform::FormatGeneralDate(platform::Now()) + QStringLiteral("."));
}

}  // namespace app
