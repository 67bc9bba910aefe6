// The set-based rebuild: the final Blacklist of a case in two statements.
#include "bench/lower_bound.h"

#include "bench/offence_rule.h"

#include <chrono>

namespace bench {

namespace {

// Which of the four kinds the agency refuses, in rule order.
std::array<bool, 4> RefusedKinds(DirectSql& main, int agencyId) {
    std::string fields;
    for (const OffenceRule& rule : kOffenceRules)
        fields += (fields.empty() ? "" : ", ") + rule.agencyFlag;
    const std::vector<Row> rows =
        main.Query("SELECT " + fields + " FROM agencies WHERE id = " + std::to_string(agencyId));
    std::array<bool, 4> refused{};
    for (size_t kind = 0; kind < refused.size() && !rows.empty(); ++kind)
        refused[kind] = rows.front()[kind] == "1";
    return refused;
}

// Every client that has a row of a kind the agency refuses, with the first scan phase that finds it (cases
// drug .. violent are phases 0..3, history 4..7): that phase's note is the one the program writes.
std::string AgencyInsert(DirectSql& main, int agencyId, const std::array<bool, 4>& refused, int userId,
                         const std::string& now) {
    std::string rows;
    std::string notes;
    for (size_t source = 0; source < kChargeSources.size(); ++source) {
        const ChargeSource& from = kChargeSources[source];
        std::string phase;
        for (size_t kind = 0; kind < kOffenceRules.size(); ++kind) {
            if (!refused[kind])
                continue;
            const size_t number = source * kOffenceRules.size() + kind;
            phase += " WHEN cc." + kOffenceRules[kind].chargeFlag + " = 1 THEN " + std::to_string(number);
            notes += " WHEN " + std::to_string(number) + " THEN " +
                     SqlText(source == 0 ? kOffenceRules[kind].caseNote : kOffenceRules[kind].historyNote);
        }
        rows += std::string(source == 0 ? "" : " UNION ALL ") + "SELECT s." + from.clientField +
                " AS client, CASE" + phase + " END AS phase FROM " + from.table +
                " s JOIN \"court charges\" cc ON s." + from.chargeField + " = cc.id";
    }
    const std::string agency = std::to_string(agencyId);
    return "INSERT INTO blacklist (client_id, agency_id, manually_entered, date_created, notes, created_by) "
           "SELECT f.client, " +
           agency + ", 0, " + main.TimestampLiteral(now) + ", CASE MIN(f.phase)" + notes + " END, " +
           std::to_string(userId) + " FROM (" + rows +
           ") f WHERE f.phase IS NOT NULL AND NOT EXISTS (SELECT 1 FROM blacklist b WHERE b.agency_id = " +
           agency + " AND b.client_id = f.client) GROUP BY f.client";
}

// Every pair of a listed client and an active agency that refuses a kind flagged on one of the client's
// rows, with the empty note.
std::string ClientInsert(DirectSql& main, const std::string& clients, int userId, const std::string& now) {
    std::string rows;
    for (const ChargeSource& from : kChargeSources) {
        rows +=
            std::string(rows.empty() ? "" : " UNION ALL ") + "SELECT s." + from.clientField + " AS client";
        for (const OffenceRule& rule : kOffenceRules)
            rows += ", cc." + rule.chargeFlag;
        rows += " FROM " + from.table + " s JOIN \"court charges\" cc ON s." + from.chargeField +
                " = cc.id WHERE s." + from.clientField + " IN (" + clients + ")";
    }
    std::string refuses;
    for (const OffenceRule& rule : kOffenceRules) {
        refuses += std::string(refuses.empty() ? "" : " OR ") + "(a." + rule.agencyFlag + " = 1 AND f." +
                   rule.chargeFlag + " = 1)";
    }
    return "INSERT INTO blacklist (client_id, agency_id, manually_entered, date_created, notes, created_by) "
           "SELECT DISTINCT f.client, a.id, 0, " +
           main.TimestampLiteral(now) + ", '', " + std::to_string(userId) + " FROM (" + rows +
           ") f JOIN agencies a ON a.inactive = 0 AND (" + refuses +
           ") WHERE NOT EXISTS (SELECT 1 FROM blacklist b WHERE b.agency_id = a.id AND b.client_id = "
           "f.client)";
}

}  // namespace

double RebuildSetBased(const Dataset& dataset, const CaseTarget& target) {
    const std::unique_ptr<DirectSql> main = dataset.OpenMain();
    const std::string now = LocalTimestampText(std::time(nullptr));
    std::string insert;
    if (target.kind == CaseKind::Agency) {
        const std::array<bool, 4> refused = RefusedKinds(*main, target.agencyId);
        if (refused != std::array<bool, 4>{})
            insert = AgencyInsert(*main, target.agencyId, refused, dataset.userId, now);
    } else {
        std::string clients;
        for (int client : target.clients)
            clients += (clients.empty() ? "" : ", ") + std::to_string(client);
        insert = ClientInsert(*main, clients, dataset.userId, now);
    }

    const auto start = std::chrono::steady_clock::now();
    main->Exec("DELETE FROM blacklist WHERE manually_entered = 0 AND " + target.BlacklistFilter());
    if (!insert.empty())
        main->Exec(insert);
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace bench
