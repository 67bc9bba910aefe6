// Both rebuilds on random data from a printed seed (KESTRANE_ENGINE_SEED repeats a run): rebuilding every
// agency, or every client, leaves exactly the automatic entries that the rule of disqualification gives.
#include "engine_fixture.h"

#include "engine/rebuild_client.h"
#include "engine/rebuild_progress.h"
#include "support/system_texts.h"

#include <algorithm>
#include <iostream>
#include <map>
#include <numeric>
#include <random>

namespace enginetest {
namespace {

struct Agency {
    int32_t id;
    Refusals refuses;
    bool inactive;
};

struct Offence {
    int32_t clientId;
    int chargeId;  // 0: Null; past the last charge: no such charge
    bool history;  // a criminal-history row, else a case
};

class RebuildRuleTest : public EachEngine {
protected:
    // Fills the database from a fresh seed: 40 charges with several, some or Null flags, 10 agencies with
    // mixed refusals and Inactive, 500 cases and 300 criminal-history rows of 300 clients (some naming no
    // charge), 60 manual entries on distinct pairs and 200 stale automatic ones anywhere.
    void Generate() {
        bool ok = false;
        seed_ = qEnvironmentVariable("KESTRANE_ENGINE_SEED").toUInt(&ok);
        seed_ = ok ? seed_ : std::random_device{}();
        std::cout << "[   SEED   ] " << seed_ << std::endl;
        RecordProperty("seed", std::to_string(seed_));
        random_.seed(seed_);
        auto chance = [&](double p) { return std::bernoulli_distribution(p)(random_); };
        auto pick = [&](int low, int high) { return std::uniform_int_distribution<int>(low, high)(random_); };
        for (int id = 1; id <= 40; ++id) {
            for (int& flag : charges_[id])
                flag = chance(0.15) ? -1 : (chance(0.3) ? 1 : 0);
            InsertCharge(id, charges_[id]);
        }
        for (int id = 1; id <= 10; ++id) {
            Agency& agency = agencies_.emplace_back(Agency{id, {}, chance(0.25)});
            for (bool& refuses : agency.refuses)
                refuses = chance(0.4);
            InsertAgency(id, agency.refuses, agency.inactive);
        }
        QStringList rows[2];
        for (int i = 0; i < 800; ++i) {
            const Offence& o = offences_.emplace_back(Offence{
                pick(1, 300), chance(0.03) ? 0 : (chance(0.05) ? pick(41, 45) : pick(1, 40)), i >= 500});
            rows[o.history]
                << QString("(%1, %2)").arg(o.clientId).arg(o.chargeId ? QString::number(o.chargeId) : "NULL");
        }
        Insert("Cases ([People ID], [Court Charge])", rows[0]);
        Insert("[Client Criminal History] ([Client ID], [Court Charge ID])", rows[1]);
        while (manual_.size() < 60)
            manual_.emplace(pick(1, 300), pick(1, 10));
        std::vector<Entry> entries;
        for (const Pair& pair : manual_)
            entries.push_back({pair.first, pair.second, true, "Entered by hand"});
        const QString stale[] = {"Drug Related - Case On File (Automatic)", "left over", ""};
        for (int i = 0; i < 200; ++i)
            entries.push_back({pick(1, 300), pick(1, 10), false, stale[pick(0, 2)]});
        std::shuffle(entries.begin(), entries.end(), random_);
        InsertEntries(entries);
        manualBefore_ = Entries("Manually_Entered = " + T());
    }

    // The rule: a client with a flagged charge on a case or in the criminal history, and an agency that
    // refuses that kind, without a manual entry for the pair; the client rebuild looks at active agencies
    // only. Each pair with the note of the first phase (cases, then criminal history; Drug, Sex, Theft,
    // Violent) that finds it, as the agency rebuild gives it.
    std::map<Pair, QString> Rule(bool activeAgenciesOnly) {
        std::map<Pair, QString> notes;
        for (const Agency& agency : agencies_) {
            for (const bool history : {false, true}) {
                for (size_t k = 0; k < 4; ++k) {
                    for (const Offence& o : offences_) {
                        const Pair pair{o.clientId, agency.id};
                        if (o.history == history && agency.refuses[k] &&
                            !(activeAgenciesOnly && agency.inactive) && charges_.count(o.chargeId) &&
                            charges_[o.chargeId][k] == 1 && !manual_.count(pair)) {
                            const testsupport::texts::OffenceKind& kind = testsupport::texts::kKinds[k];
                            notes.emplace(pair, history ? kind.historyNote : kind.caseNote);
                        }
                    }
                }
            }
        }
        EXPECT_FALSE(notes.empty());
        return notes;
    }

    // Manual entries are untouched and no pair has two entries.
    void ExpectManualEntriesKeptAndNoDuplicates() {
        EXPECT_EQ(Entries("Manually_Entered = " + T()), manualBefore_);
        EXPECT_TRUE(Query("SELECT Client_ID FROM Blacklist GROUP BY Client_ID, Agency_ID HAVING COUNT(*) > 1")
                        .empty());
    }

    uint32_t seed_ = 0;
    std::mt19937 random_;
    std::map<int, std::array<int, 4>> charges_;
    std::vector<Agency> agencies_;
    std::vector<Offence> offences_;
    PairSet manual_;
    std::vector<Entry> manualBefore_;
};

TEST_P(RebuildRuleTest, RebuildingEveryAgencyGivesTheRuleWithFirstPhaseNotes) {
    Generate();
    SCOPED_TRACE("seed " + std::to_string(seed_));
    std::shuffle(agencies_.begin(), agencies_.end(), random_);
    engine::NullProgress noProgress;

    for (const Agency& agency : agencies_)
        engine::RebuildAgencyDisqualifications(agency.id, FromQueue(agency.refuses), noProgress);

    std::map<Pair, QString> notes;
    for (const Entry& e : Entries("Manually_Entered = " + F()))
        notes[{e.clientId, e.agencyId}] = e.notes;
    EXPECT_EQ(notes, Rule(/*activeAgenciesOnly=*/false));
    ExpectManualEntriesKeptAndNoDuplicates();
}

TEST_P(RebuildRuleTest, RebuildingEveryClientGivesTheRuleForActiveAgencies) {
    Generate();
    SCOPED_TRACE("seed " + std::to_string(seed_));
    engine::NullProgress noProgress;

    std::vector<int32_t> clients(300);  // every client, named anywhere or not
    std::iota(clients.begin(), clients.end(), 1);
    std::shuffle(clients.begin(), clients.end(), random_);
    for (int32_t clientId : clients)
        engine::RebuildClientDisqualifications(clientId, noProgress, {});

    std::map<Pair, QString> entries;
    for (const Entry& e : Entries("Manually_Entered = " + F()))
        entries[{e.clientId, e.agencyId}] = e.notes;
    std::map<Pair, QString> rule = Rule(/*activeAgenciesOnly=*/true);
    for (auto& [pair, note] : rule)
        note.clear();  // the client rebuild writes no note
    EXPECT_EQ(entries, rule);
    ExpectManualEntriesKeptAndNoDuplicates();
}

INSTANTIATE_TEST_SUITE_P(Engines, RebuildRuleTest, ::testing::Values(Engine::Jet, Engine::Server),
                         EngineName);

}  // namespace
}  // namespace enginetest
