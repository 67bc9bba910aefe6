// The agency rebuild: remove the agency's automatic entries, then scan every case and every criminal-history
// row for each offence kind the agency refuses.
#include "engine/rebuild_agency.h"

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

constexpr int kBatchSize = 500;
constexpr int32_t kProgressEvery = 25;

// Where a scan looks for the agency's clients: its statements per kind (the true literal follows), the field
// that names the client, and which of the kind's texts it uses.
struct ScanSource {
    std::array<QString, 4> statements;
    QString clientField;
    QString OffenceKindTexts::*caption;
    QString OffenceKindTexts::*note;
};

const ScanSource& CaseSource() {
    static const ScanSource source{
        {QStringLiteral("SELECT * FROM Cases LEFT JOIN [Court Charges] ON Cases.[Court Charge] = "
                        "[Court Charges].[ID] WHERE Drug_Related = "),
         QStringLiteral("SELECT * FROM Cases LEFT JOIN [Court Charges] ON Cases.[Court Charge] = "
                        "[Court Charges].[ID] WHERE Sex_Crime = "),
         QStringLiteral("SELECT * FROM Cases LEFT JOIN [Court Charges] ON Cases.[Court Charge] = "
                        "[Court Charges].[ID] WHERE Theft_Related = "),
         QStringLiteral("SELECT * FROM Cases LEFT JOIN [Court Charges] ON Cases.[Court Charge] = "
                        "[Court Charges].[ID] WHERE Violent_Crime = ")},
        QStringLiteral("People ID"),
        &OffenceKindTexts::caseCaption,
        &OffenceKindTexts::caseNote};
    return source;
}

const ScanSource& HistorySource() {
    static const ScanSource source{
        {QStringLiteral(
             "SELECT * FROM [Client Criminal History] LEFT JOIN [Court Charges] ON "
             "[Client Criminal History].[Court Charge ID] = [Court Charges].[ID] WHERE Drug_Related = "),
         QStringLiteral(
             "SELECT * FROM [Client Criminal History] LEFT JOIN [Court Charges] ON "
             "[Client Criminal History].[Court Charge ID] = [Court Charges].[ID] WHERE Sex_Crime = "),
         QStringLiteral(
             "SELECT * FROM [Client Criminal History] LEFT JOIN [Court Charges] ON "
             "[Client Criminal History].[Court Charge ID] = [Court Charges].[ID] WHERE Theft_Related = "),
         QStringLiteral(
             "SELECT * FROM [Client Criminal History] LEFT JOIN [Court Charges] ON "
             "[Client Criminal History].[Court Charge ID] = [Court Charges].[ID] WHERE Violent_Crime = ")},
        QStringLiteral("Client ID"),
        &OffenceKindTexts::historyCaption,
        &OffenceKindTexts::historyNote};
    return source;
}

bool Refuses(const AgencyRebuildFlags& flags, OffenceKind kind) {
    switch (kind) {
        case OffenceKind::Drug:
            return flags.refusesDrug;
        case OffenceKind::Sex:
            return flags.refusesSex;
        case OffenceKind::Theft:
            return flags.refusesTheft;
        case OffenceKind::Violent:
            return flags.refusesViolent;
    }
    return false;
}

bool AnyFlagChanged(const AgencyRebuildFlags& flags) {
    return flags.refusedDrug != flags.refusesDrug || flags.refusedSex != flags.refusesSex ||
           flags.refusedTheft != flags.refusesTheft || flags.refusedViolent != flags.refusesViolent;
}

// One scan phase: every row of source with kind's charge flag set gives its client an entry.
void ScanPhase(ado::Connection& connection, ado::Recordset& addRecordset, int32_t agencyId,
               const ScanSource& source, OffenceKind kind, RebuildProgress& progress) {
    const OffenceKindTexts& texts = Texts(kind);
    auto scan = std::make_unique<ado::Recordset>();
    scan->Open(source.statements[static_cast<size_t>(kind)] + data::Settings().trueLiteral, connection,
               ado::adOpenForwardOnly, ado::adLockReadOnly, -1);
    if (!scan->Eof()) {
        progress.SetPhase(texts.*source.caption);
        PendingEntries entries(connection, addRecordset, texts.*source.note);
        int32_t counter = 0;
        while (!scan->Eof()) {
            entries.Add(scan->Fields(source.clientField).ToLong(), agencyId);
            ++counter;
            if (counter % kProgressEvery == 0) {
                progress.SetCounter(QStringLiteral("Processed ") + QString::number(counter) +
                                    QStringLiteral(" entries"));
            }
            platform::Screen::DoEvents();
            MoveNextRetried(*scan);
        }
        entries.Finish();
    }
    data::AdoCloseRecordset(scan);
}

}  // namespace

void RebuildAgencyDisqualifications(int32_t agencyId, const AgencyRebuildFlags& flags,
                                    RebuildProgress& progress) {
    if (!AnyFlagChanged(flags) && !flags.force)
        return;

    const int rememberedPointer = platform::Screen::MousePointer();
    platform::Screen::SetMousePointer(platform::vbHourglass);

    progress.Begin(QStringLiteral("Updating Agency Blacklist. Please wait..."));

    const data::ConnectionSettings& settings = data::Settings();
    auto connection = std::make_unique<ado::Connection>();
    // The result is not examined: a connection that did not open fails the first statement run on it.
    static_cast<void>(data::AdoOpenConnection(*connection, data::Database::Main, false));

    const AutomaticEntries entries{QStringLiteral("Agency_ID"), agencyId};
    if (settings.accessFlag) {
        RemoveOneByOne(*connection, entries, QStringLiteral("Unable to remove Agency blacklist entry."),
                       progress);
    } else {
        progress.SetPhase(QStringLiteral("Removing disqualifications..."));
        RemoveInBatches(*connection, entries, kBatchSize);
    }

    auto addRecordset = std::make_unique<ado::Recordset>();
    addRecordset->Open(kAddRecordsetSource, *connection, ado::adOpenKeyset, ado::adLockPessimistic, -1);
    for (const ScanSource* source : {&CaseSource(), &HistorySource()}) {
        for (OffenceKind kind : kOffenceKinds) {
            if (Refuses(flags, kind))
                ScanPhase(*connection, *addRecordset, agencyId, *source, kind, progress);
        }
    }

    data::AdoCloseRecordset(addRecordset);
    progress.End();
    data::AdoCloseConnection(connection);
    platform::Screen::SetMousePointer(rememberedPointer);
}

}  // namespace engine
