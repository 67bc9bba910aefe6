// The round-trip floor: the program's per-row statements sent bare through libpq, prepared, on one session.
#include "bench/lower_bound.h"
#include "bench/offence_rule.h"
#include "bench/server_session.h"

#include <chrono>
#include <stdexcept>

namespace bench {

namespace {

// The session with the duplicate test, the insert and the agency lists prepared.
class FloorSession {
public:
    explicit FloorSession(const Dataset& dataset)
        : session_(*dataset.server, kCatalog), userId_(std::to_string(dataset.userId)) {
        session_.Prepare("duplicate",
                         "SELECT id FROM blacklist WHERE agency_id = $1 AND client_id = $2 LIMIT 1");
        session_.Prepare(
            "add",
            "INSERT INTO blacklist (client_id, agency_id, manually_entered, date_created, notes, "
            "created_by) VALUES ($1, $2, 0, $3, $4, $5)");
        for (size_t kind = 0; kind < kOffenceRules.size(); ++kind) {
            session_.Prepare(
                "agencies" + std::to_string(kind),
                "SELECT id FROM agencies WHERE " + kOffenceRules[kind].agencyFlag + " = 1 AND inactive = 0");
        }
    }

    ServerSession& Session() { return session_; }

    // The duplicate test, then the insert when the pair has no entry.
    void AddEntry(const std::string& client, const std::string& agency, const std::string& note) {
        if (PQntuples(session_.RunPrepared("duplicate", {agency, client}).get()) == 0)
            session_.RunPrepared("add", {client, agency, now_, note, userId_});
    }

private:
    ServerSession session_;
    std::string userId_;
    std::string now_ = LocalTimestampText(std::time(nullptr));
};

void AgencyFloor(FloorSession& floor, int agencyId) {
    ServerSession& session = floor.Session();
    const std::string agency = std::to_string(agencyId);
    const ServerResult flags = session.Run(
        "SELECT no_drug_offenders, no_sex_offenders, no_theft_offenders, no_violent_offenders FROM agencies "
        "WHERE id = " +
        agency);
    if (PQntuples(flags.get()) == 0)
        throw std::runtime_error("no agency " + agency);

    session.Run("DELETE FROM blacklist WHERE manually_entered = 0 AND agency_id = " + agency);
    for (size_t source = 0; source < kChargeSources.size(); ++source) {
        const ChargeSource& from = kChargeSources[source];
        for (size_t kind = 0; kind < kOffenceRules.size(); ++kind) {
            if (std::string(PQgetvalue(flags.get(), 0, static_cast<int>(kind))) != "1")
                continue;
            const ServerResult scan =
                session.Run("SELECT * FROM " + from.table + " LEFT JOIN \"court charges\" ON " + from.table +
                            "." + from.chargeField + " = \"court charges\".id WHERE " +
                            kOffenceRules[kind].chargeFlag + " = 1");
            const int clientColumn = PQfnumber(scan.get(), from.clientField.c_str());
            const std::string& note =
                source == 0 ? kOffenceRules[kind].caseNote : kOffenceRules[kind].historyNote;
            for (int row = 0; row < PQntuples(scan.get()); ++row)
                floor.AddEntry(PQgetvalue(scan.get(), row, clientColumn), agency, note);
        }
    }
}

void ClientFloor(FloorSession& floor, int clientId) {
    ServerSession& session = floor.Session();
    const std::string client = std::to_string(clientId);
    session.Run("DELETE FROM blacklist WHERE manually_entered = 0 AND client_id = " + client);
    for (const ChargeSource& from : kChargeSources) {
        std::string flags;
        std::string anyFlag;
        for (const OffenceRule& rule : kOffenceRules) {
            flags += std::string(flags.empty() ? "" : ", ") + "\"court charges\"." + rule.chargeFlag;
            anyFlag += std::string(anyFlag.empty() ? "" : " OR ") + rule.chargeFlag + " = 1";
        }
        const ServerResult scan =
            session.Run("SELECT " + flags + " FROM " + from.table + " LEFT JOIN \"court charges\" ON " +
                        from.table + "." + from.chargeField + " = \"court charges\".id WHERE " +
                        from.clientField + " = " + client + " AND (" + anyFlag + ")");
        for (int row = 0; row < PQntuples(scan.get()); ++row) {
            for (size_t kind = 0; kind < kOffenceRules.size(); ++kind) {
                if (std::string(PQgetvalue(scan.get(), row, static_cast<int>(kind))) != "1")
                    continue;
                const ServerResult agencies = session.RunPrepared("agencies" + std::to_string(kind), {});
                for (int agency = 0; agency < PQntuples(agencies.get()); ++agency)
                    floor.AddEntry(client, PQgetvalue(agencies.get(), agency, 0), "");
            }
        }
    }
}

}  // namespace

double RebuildRoundTripFloor(const Dataset& dataset, const CaseTarget& target) {
    if (!dataset.server)
        throw std::runtime_error("the round-trip floor is measured on the server only");
    FloorSession floor(dataset);
    const auto start = std::chrono::steady_clock::now();
    if (target.kind == CaseKind::Agency) {
        AgencyFloor(floor, target.agencyId);
    } else {
        for (int client : target.clients)
            ClientFloor(floor, client);
    }
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace bench
