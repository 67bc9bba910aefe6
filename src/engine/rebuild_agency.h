#pragma once
// Rebuilding the automatic disqualifications of one agency from its refusal flags.

#include "engine/rebuild_progress.h"

#include <cstdint>

namespace engine {

// The agency's refusal flags now and before the change that asks for the rebuild.
struct AgencyRebuildFlags {
    bool refusesDrug = false;  // No_Drug_Offenders now
    bool refusesSex = false;
    bool refusesTheft = false;
    bool refusesViolent = false;
    bool refusedDrug = false;  // No_Drug_Offenders before the change
    bool refusedSex = false;
    bool refusedTheft = false;
    bool refusedViolent = false;
    bool force = false;  // rebuild even when no flag changed
};

// Removes every automatic Blacklist entry of agencyId and adds one for each client with a case or criminal-
// history charge of a kind the agency refuses, reporting through progress meanwhile. Returns at once,
// touching nothing, when no flag changed and force is false. A failing removal probe ends the run with the
// "Unexpected error" message (throws platform::EndProgram); other errors reach the caller, leaving the
// progress unended and the hourglass up.
void RebuildAgencyDisqualifications(int32_t agencyId, const AgencyRebuildFlags& flags,
                                    RebuildProgress& progress);

}  // namespace engine
