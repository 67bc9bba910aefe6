// The client rebuild: remove the client's automatic entries, then look up, for each flagged charge of the
// client, the active agencies that refuse its kinds.
#include "engine/rebuild_client.h"

#include "data/connection_settings.h"
#include "data/generic_ado.h"
#include "data/open_connection.h"
#include "engine/add_blacklist_entry.h"
#include "engine/entry_removal.h"
#include "engine/offence_kind.h"
#include "engine/pending_entries.h"
#include "engine/retried_open.h"
#include "platform/screen.h"

#include <array>
#include <memory>

namespace engine {

namespace {

constexpr int kBatchSize = 1000;

// The active agencies that refuse a kind, per kind; the true literal, " AND Inactive = " and the false
// literal follow.
const std::array<QString, 4> kAgencyLists = {
    QStringLiteral("SELECT [ID] FROM Agencies WHERE No_Drug_Offenders = "),
    QStringLiteral("SELECT [ID] FROM Agencies WHERE No_Sex_Offenders = "),
    QStringLiteral("SELECT [ID] FROM Agencies WHERE No_Theft_Offenders = "),
    QStringLiteral("SELECT [ID] FROM Agencies WHERE No_Violent_Offenders = "),
};

// Where a phase finds the client's charges: the statement up to the client's ID, and the caption it shows.
struct ClientScan {
    QString statement;
    QString caption;
};

const ClientScan& CaseScan() {
    static const ClientScan scan{
        QStringLiteral("SELECT [Court Charges].Drug_Related, [Court Charges].Sex_Crime, "
                       "[Court Charges].Theft_Related, [Court Charges].Violent_Crime FROM Cases LEFT JOIN "
                       "[Court Charges] ON Cases.[Court Charge] = [Court Charges].ID WHERE [People ID] = "),
        QStringLiteral("Updating Case entries...")};
    return scan;
}

const ClientScan& HistoryScan() {
    static const ClientScan scan{
        QStringLiteral(
            "SELECT [Court Charges].Drug_Related, [Court Charges].Sex_Crime, "
            "[Court Charges].Theft_Related, [Court Charges].Violent_Crime FROM [Client Criminal History] "
            "LEFT JOIN [Court Charges] ON [Client Criminal History].[Court Charge ID] = "
            "[Court Charges].ID WHERE [Client ID] = "),
        QStringLiteral("Updating Criminal History entries...")};
    return scan;
}

// What one run works with.
struct ClientRun {
    int32_t clientId;
    ado::Connection& work;
    ado::Connection& check;
    ado::Recordset& addRecordset;
    // Where the phases and counters go: the caller's progress when it asked for them, else nowhere.
    RebuildProgress& shown;
};

// Adds an entry for the client at every active agency that refuses kind.
void AddForRefusingAgencies(const ClientRun& run, PendingEntries& entries, OffenceKind kind) {
    const data::ConnectionSettings& settings = data::Settings();
    auto agencies = std::make_unique<ado::Recordset>();
    OpenRetried(*agencies,
                kAgencyLists[static_cast<size_t>(kind)] + settings.trueLiteral +
                    QStringLiteral(" AND Inactive = ") + settings.falseLiteral,
                run.work, ado::adOpenForwardOnly, ado::adLockReadOnly, {});
    while (!agencies->Eof()) {
        entries.Add(run.clientId, agencies->Fields(QStringLiteral("ID")).ToLong());
        agencies->MoveNext();
    }
    data::AdoCloseRecordset(agencies);
}

// One phase: each of the client's rows whose charge carries a flag gives entries for every flagged kind.
void ScanPhase(const ClientRun& run, const ClientScan& source) {
    const data::ConnectionSettings& settings = data::Settings();
    const QString& t = settings.trueLiteral;
    auto scan = std::make_unique<ado::Recordset>();
    OpenRetried(*scan,
                source.statement + QString::number(run.clientId) + QStringLiteral(" AND (Sex_Crime = ") + t +
                    QStringLiteral(" OR Drug_Related = ") + t + QStringLiteral(" OR Violent_Crime = ") + t +
                    QStringLiteral(" OR Theft_Related = ") + t + QStringLiteral(")"),
                run.work, ado::adOpenForwardOnly, ado::adLockReadOnly, {});
    if (!scan->Eof()) {
        int32_t counter = 0;
        run.shown.SetPhase(source.caption);
        PendingEntries entries(run.check, run.addRecordset, QString());
        while (!scan->Eof()) {
            for (OffenceKind kind : kOffenceKinds) {
                const ado::Field& flag = scan->Fields(Texts(kind).chargeFlag);
                if (!flag.IsNull() && flag.ToBool())
                    AddForRefusingAgencies(run, entries, kind);
            }
            ++counter;
            run.shown.SetCounter(QStringLiteral("Processed ") + QString::number(counter) +
                                 QStringLiteral(" entries"));
            MoveNextRetried(*scan);
        }
        entries.Finish();
    }
    data::AdoCloseRecordset(scan);
}

}  // namespace

void RebuildClientDisqualifications(int32_t clientId, RebuildProgress& progress,
                                    const ClientRebuildOptions& options) {
    const int rememberedPointer = platform::Screen::MousePointer();
    platform::Screen::SetMousePointer(platform::vbHourglass);

    if (!options.noMessageWindow)
        progress.Begin(QStringLiteral("Updating disqualifications. Please wait..."));
    NullProgress silent;
    RebuildProgress& shown = options.showProgress ? progress : silent;

    const data::ConnectionSettings& settings = data::Settings();
    auto work = std::make_unique<ado::Connection>();
    auto check = std::make_unique<ado::Connection>();
    // The results are not examined: a connection that did not open fails the first statement run on it.
    static_cast<void>(data::AdoOpenConnection(*work, data::Database::Main, false));
    static_cast<void>(data::AdoOpenConnection(*check, data::Database::Main, false));

    if (!options.skipRemoval) {
        const AutomaticEntries entries{QStringLiteral("Client_ID"), clientId};
        if (settings.accessFlag) {
            RemoveOneByOne(*work, entries, QStringLiteral("Unable to remove client blacklist entry."), shown);
        } else {
            RemoveInBatches(*work, entries, kBatchSize);
        }
    }

    auto addRecordset = std::make_unique<ado::Recordset>();
    OpenRetried(*addRecordset, kAddRecordsetSource, *work, ado::adOpenKeyset, ado::adLockPessimistic, {});
    const ClientRun run{clientId, *work, *check, *addRecordset, shown};
    ScanPhase(run, CaseScan());
    ScanPhase(run, HistoryScan());

    data::AdoCloseRecordset(addRecordset);
    data::AdoCloseConnection(work);
    data::AdoCloseConnection(check);
    if (!options.noMessageWindow)
        progress.End();
    platform::Screen::DoEvents();
    platform::Screen::SetMousePointer(rememberedPointer);
}

}  // namespace engine
