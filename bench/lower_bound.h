#pragma once
// The lower bounds of a case, measured in the bench's own process on the same data: the same final Blacklist
// made by set-based SQL, and on the server the bare libpq round trips the program's per-row work needs.

#include "bench/case_state.h"
#include "bench/dataset.h"

namespace bench {

// Rebuilds target's automatic entries with one DELETE of them and one INSERT ... SELECT of the pairs the
// rule gives that have no entry yet (with the notes the program writes). Gives the seconds of the two
// statements. Raises std::runtime_error when one fails.
double RebuildSetBased(const Dataset& dataset, const CaseTarget& target);

// The same rebuild sent row by row through libpq, as the program's per-row work reaches the server: one
// DELETE of the automatic entries, the program's scan queries read whole, and for each scanned row a
// prepared duplicate test and, for a new pair, a prepared INSERT (for a client, also the prepared agency list
// of each flagged kind). Server engine only. Gives seconds. Raises std::runtime_error when a statement fails.
double RebuildRoundTripFloor(const Dataset& dataset, const CaseTarget& target);

}  // namespace bench
