#include "bench/case_state.h"

#include <algorithm>
#include <filesystem>
#include <iterator>
#include <map>

namespace bench {

namespace fs = std::filesystem;

namespace {

constexpr int kQueuedClients = 1000;

// The client with the most case and history rows whose charge carries an offence flag.
const std::string kBusiestClient =
    "SELECT client FROM ("
    "SELECT c.\"people id\" AS client FROM cases c JOIN \"court charges\" cc ON c.\"court charge\" = cc.id "
    "WHERE cc.drug_related = 1 OR cc.sex_crime = 1 OR cc.theft_related = 1 OR cc.violent_crime = 1 "
    "UNION ALL "
    "SELECT h.\"client id\" FROM \"client criminal history\" h JOIN \"court charges\" cc "
    "ON h.\"court charge id\" = cc.id "
    "WHERE cc.drug_related = 1 OR cc.sex_crime = 1 OR cc.theft_related = 1 OR cc.violent_crime = 1"
    ") f GROUP BY client ORDER BY COUNT(*) DESC, client LIMIT 1";

int BusiestClient(const Dataset& dataset) {
    // The search reads every flagged row; once per dataset and process is enough.
    static std::map<std::string, int> found;
    const std::string key = dataset.folder.string();
    if (!found.contains(key))
        found[key] = static_cast<int>(dataset.OpenMain()->QueryNumber(kBusiestClient));
    return found[key];
}

std::string JoinedIds(const std::vector<int>& ids) {
    std::string text;
    for (int id : ids)
        text += (text.empty() ? "" : ", ") + std::to_string(id);
    return text;
}

// Replaces the file in the data folder by its pristine copy, journals removed.
void RestoreFile(const Dataset& dataset, const std::string& name) {
    const fs::path file = dataset.DataFolder() / name;
    for (const char* suffix : {"", "-wal", "-shm", "-journal"})
        fs::remove(file.string() + suffix);
    fs::copy_file(dataset.PristineFolder() / name, file);
}

std::string QueueRows(const Dataset& dataset, const CaseTarget& target, DirectSql& main) {
    // Creation dates a second apart, a day ago, so that the queue's order is the target's order.
    const std::time_t base = std::time(nullptr) - 24 * 3600;
    const auto request = [&](const char* table, int id, size_t position) {
        return "(" + SqlText(table) + ", " + std::to_string(id) + ", " +
               main.TimestampLiteral(LocalTimestampText(base + static_cast<std::time_t>(position))) + ")";
    };
    std::string rows;
    if (target.kind == CaseKind::Agency) {
        rows = request("Agencies", target.agencyId, 0);
    } else {
        for (size_t i = 0; i < target.clients.size(); ++i)
            rows += (i == 0 ? "" : ", ") + request("People", target.clients[i], i);
    }
    return "INSERT INTO disqualifications_queue (table_name, table_id, creation_date) VALUES " + rows;
}

}  // namespace

std::string CaseName(CaseKind kind) {
    switch (kind) {
        case CaseKind::Agency:
            return "agency";
        case CaseKind::Client:
            return "client";
        case CaseKind::Queue:
            return "queue";
    }
    return "";
}

std::string CaseTarget::BlacklistFilter() const {
    if (kind == CaseKind::Agency)
        return "agency_id = " + std::to_string(agencyId);
    return "client_id IN (" + JoinedIds(clients) + ")";
}

CaseTarget TargetOf(CaseKind kind, const Dataset& dataset) {
    CaseTarget target;
    target.kind = kind;
    switch (kind) {
        case CaseKind::Agency:
            target.agencyId = 1;
            break;
        case CaseKind::Client:
            target.clients = {BusiestClient(dataset)};
            break;
        case CaseKind::Queue: {
            const int count = std::min(kQueuedClients, dataset.size.clients);
            const int step = dataset.size.clients / count;
            for (int i = 0; i < count; ++i)
                target.clients.push_back(1 + i * step);
            break;
        }
    }
    return target;
}

void RestoreState(const Dataset& dataset, const CaseTarget& target) {
    RestoreFile(dataset, "KS_users.mdb");
    if (!dataset.server)
        RestoreFile(dataset, "KS.mdb");
    const std::unique_ptr<DirectSql> main = dataset.OpenMain();
    if (dataset.server) {
        main->Exec(
            "TRUNCATE blacklist; INSERT INTO blacklist SELECT * FROM bench_pristine_blacklist; "
            "SELECT setval(pg_get_serial_sequence('blacklist', 'id'), (SELECT MAX(id) FROM blacklist)); "
            "ANALYZE blacklist");
    }
    main->Exec("DELETE FROM disqualifications_queue");
    main->Exec(QueueRows(dataset, target, *main));
    main->Exec("UPDATE parameters SET next_rebuild_requested_by = " + std::to_string(dataset.userId) +
               ", next_disqualifications_rebuild = " +
               main->TimestampLiteral(LocalTimestampText(std::time(nullptr) - 60)) + " WHERE id = 1");
}

std::vector<Row> TargetEntries(DirectSql& main, const CaseTarget& target) {
    std::vector<Row> rows =
        main.Query("SELECT client_id, agency_id, manually_entered, notes, created_by FROM blacklist WHERE " +
                   target.BlacklistFilter());
    std::sort(rows.begin(), rows.end());
    return rows;
}

std::string EntryDifference(const std::vector<Row>& program, const std::vector<Row>& other) {
    std::vector<Row> onlyProgram;
    std::vector<Row> onlyOther;
    std::set_difference(program.begin(), program.end(), other.begin(), other.end(),
                        std::back_inserter(onlyProgram));
    std::set_difference(other.begin(), other.end(), program.begin(), program.end(),
                        std::back_inserter(onlyOther));
    if (onlyProgram.empty() && onlyOther.empty())
        return "";
    const auto sample = [](const std::vector<Row>& rows) {
        std::string text;
        for (size_t i = 0; i < std::min<size_t>(rows.size(), 3); ++i) {
            text += " (";
            for (const std::string& value : rows[i])
                text += value + (&value == &rows[i].back() ? ")" : ", ");
        }
        return text;
    };
    return std::to_string(onlyProgram.size()) + " rows only after the program:" + sample(onlyProgram) + "; " +
           std::to_string(onlyOther.size()) + " rows only after the lower bound:" + sample(onlyOther);
}

long long AutomaticEntries(DirectSql& main, const CaseTarget& target) {
    return main.QueryNumber("SELECT COUNT(*) FROM blacklist WHERE manually_entered = 0 AND " +
                            target.BlacklistFilter());
}

}  // namespace bench
