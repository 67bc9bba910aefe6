#pragma once
// The three cases and the state each run starts from: which agency or clients a case rebuilds, the restore
// of Blacklist and the activity log to the generated data, the queued requests and the schedule.

#include "bench/dataset.h"
#include "bench/direct_sql.h"

#include <string>
#include <vector>

namespace bench {

enum class CaseKind { Agency, Client, Queue };

// "agency", "client" or "queue", as the command line and the reports write it.
std::string CaseName(CaseKind kind);

struct CaseTarget {
    CaseKind kind = CaseKind::Agency;
    int agencyId = 0;          // the agency case
    std::vector<int> clients;  // the client and queue cases, in queue order

    // The condition that selects the Blacklist rows the case rebuilds, e.g. "agency_id = 1".
    std::string BlacklistFilter() const;
};

// The agency case rebuilds agency 1 (generated as refusing every kind); the client case the client with the
// most flagged case and history rows (the lowest ID among equals); the queue case 1,000 clients spread evenly
// over the range. Raises std::runtime_error when the data cannot be read.
CaseTarget TargetOf(CaseKind kind, const Dataset& dataset);

// Restores Blacklist and the activity log as generated, queues one request per agency or client of target
// (in that order of creation) and schedules the rebuild, by the dataset's user, for a minute ago. Raises
// std::runtime_error when a step fails.
void RestoreState(const Dataset& dataset, const CaseTarget& target);

// The target's Blacklist rows as (client, agency, manually entered, notes, created by), sorted.
std::vector<Row> TargetEntries(DirectSql& main, const CaseTarget& target);

// Empty when the two sets of entries are equal; otherwise how many rows each has that the other lacks,
// with a few of them.
std::string EntryDifference(const std::vector<Row>& program, const std::vector<Row>& other);

// How many automatic entries the target has.
long long AutomaticEntries(DirectSql& main, const CaseTarget& target);

}  // namespace bench
