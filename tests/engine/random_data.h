#pragma once
// A small seeded generator of disqualification data: charges with several, some or Null flags, agencies with
// mixed refusals and Inactive, cases and criminal-history rows (some with a missing charge), manual entries
// and stale automatic entries.

#include "engine_fixture.h"

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace enginetest {

struct RandomSizes {
    int clients = 300;
    int charges = 40;
    int agencies = 10;
    int cases = 500;
    int history = 300;
    int manualEntries = 60;
    int staleEntries = 200;  // automatic entries that a rebuild must replace
};

struct ChargeRow {
    int32_t id = 0;
    std::array<int, 4> flags{};  // Drug, Sex, Theft, Violent: 1 true, 0 false, -1 Null
};

struct AgencyRow {
    int32_t id = 0;
    std::array<bool, 4> refuses{};  // Drug, Sex, Theft, Violent
    bool inactive = false;
};

struct OffenceRow {
    int32_t clientId = 0;
    std::optional<int32_t> chargeId;  // may name no charge at all
};

struct RandomData {
    std::vector<ChargeRow> charges;
    std::vector<AgencyRow> agencies;
    std::vector<OffenceRow> cases;
    std::vector<OffenceRow> history;
    std::vector<Entry> entries;    // manual ones on distinct pairs, automatic ones anywhere
    std::vector<int32_t> clients;  // every client named anywhere
};

// The seed of KESTRANE_ENGINE_SEED when set, else a fresh one.
uint32_t ChooseSeed();

RandomData GenerateRandomData(uint32_t seed, const RandomSizes& sizes = {});

// Writes data into the fixture's database.
void InsertRandomData(EngineFixture& fixture, const RandomData& data);

}  // namespace enginetest
