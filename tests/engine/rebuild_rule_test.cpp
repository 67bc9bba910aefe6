// Both rebuilds on random data from a printed seed (KESTRANE_ENGINE_SEED repeats a run): rebuilding every
// agency, or every client, leaves exactly the automatic entries that the rule of disqualification gives.
#include "random_data.h"

#include "engine/rebuild_agency.h"
#include "engine/rebuild_client.h"
#include "engine/rebuild_progress.h"
#include "support/system_texts.h"

#include <algorithm>
#include <iostream>
#include <map>
#include <random>

namespace enginetest {
namespace {

// The rule of disqualification: a client with a flagged charge on a case or in the criminal history, and an
// agency that refuses that kind, without a manual entry for the pair. Each pair with the note the agency
// rebuild gives it: that of the first phase (cases, then criminal history; Drug, Sex, Theft, Violent) that
// finds it. The client rebuild looks at active agencies only.
std::map<Pair, QString> FirstPhaseNotes(const RandomData& data, bool activeAgenciesOnly) {
    std::map<int32_t, std::array<int, 4>> flags;
    for (const ChargeRow& charge : data.charges)
        flags[charge.id] = charge.flags;
    std::set<Pair> manual;
    for (const Entry& e : data.entries) {
        if (e.manual)
            manual.emplace(e.clientId, e.agencyId);
    }
    std::map<Pair, QString> notes;
    for (const AgencyRow& agency : data.agencies) {
        if (activeAgenciesOnly && agency.inactive)
            continue;
        for (const bool cases : {true, false}) {
            for (size_t k = 0; k < testsupport::texts::kKinds.size(); ++k) {
                if (!agency.refuses[k])
                    continue;
                for (const OffenceRow& row : cases ? data.cases : data.history) {
                    const auto charge = row.chargeId ? flags.find(*row.chargeId) : flags.end();
                    if (charge == flags.end() || charge->second[k] != 1)
                        continue;
                    const Pair pair{row.clientId, agency.id};
                    if (manual.count(pair) == 0) {
                        const testsupport::texts::OffenceKind& kind = testsupport::texts::kKinds[k];
                        notes.emplace(pair, cases ? kind.caseNote : kind.historyNote);
                    }
                }
            }
        }
    }
    return notes;
}

class RebuildRuleTest : public EachEngine {
protected:
    // Fills the database from a fresh seed and remembers the manual entries.
    RandomData Generate() {
        seed_ = ChooseSeed();
        std::cout << "[   SEED   ] " << seed_ << std::endl;
        RecordProperty("seed", std::to_string(seed_));
        RandomData data = GenerateRandomData(seed_);
        InsertRandomData(*this, data);
        manualBefore_ = Entries(QStringLiteral("Manually_Entered = ") + T());
        return data;
    }

    // Manual entries are untouched and no pair has two entries.
    void ExpectManualEntriesKeptAndNoDuplicates() {
        EXPECT_EQ(Entries(QStringLiteral("Manually_Entered = ") + T()), manualBefore_);
        EXPECT_TRUE(Query(QStringLiteral("SELECT Client_ID, Agency_ID FROM Blacklist GROUP BY Client_ID, "
                                         "Agency_ID HAVING COUNT(*) > 1"))
                        .empty());
    }

    uint32_t seed_ = 0;
    std::vector<Entry> manualBefore_;
};

TEST_P(RebuildRuleTest, RebuildingEveryAgencyGivesTheRuleWithFirstPhaseNotes) {
    RandomData data = Generate();
    SCOPED_TRACE("seed " + std::to_string(seed_));
    std::shuffle(data.agencies.begin(), data.agencies.end(), std::mt19937(seed_));
    engine::NullProgress noProgress;

    for (const AgencyRow& a : data.agencies) {
        const auto& r = a.refuses;
        engine::RebuildAgencyDisqualifications(
            a.id, {r[0], r[1], r[2], r[3], !r[0], !r[1], !r[2], !r[3], /*force=*/true}, noProgress);
    }

    const std::map<Pair, QString> rule = FirstPhaseNotes(data, /*activeAgenciesOnly=*/false);
    EXPECT_FALSE(rule.empty());
    std::map<Pair, QString> notes;
    for (const Entry& e : Entries(QStringLiteral("Manually_Entered = ") + F()))
        notes[{e.clientId, e.agencyId}] = e.notes;
    EXPECT_EQ(notes, rule);
    ExpectManualEntriesKeptAndNoDuplicates();
}

TEST_P(RebuildRuleTest, RebuildingEveryClientGivesTheRuleForActiveAgencies) {
    const RandomData data = Generate();
    SCOPED_TRACE("seed " + std::to_string(seed_));
    engine::NullProgress noProgress;

    for (int32_t clientId : data.clients)
        engine::RebuildClientDisqualifications(clientId, noProgress, {});

    PairSet rule;
    for (const auto& [pair, note] : FirstPhaseNotes(data, /*activeAgenciesOnly=*/true))
        rule.insert(pair);
    EXPECT_FALSE(rule.empty());
    EXPECT_EQ(AutomaticPairs(), rule);
    EXPECT_EQ(Count(QStringLiteral("Manually_Entered = ") + F() + QStringLiteral(" AND Notes <> ''")), 0);
    ExpectManualEntriesKeptAndNoDuplicates();
}

INSTANTIATE_TEST_SUITE_P(Engines, RebuildRuleTest, ::testing::Values(Engine::Jet, Engine::Server),
                         EngineName);

}  // namespace
}  // namespace enginetest
