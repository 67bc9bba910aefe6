#pragma once
// Counting the rebuild queue without working it off: what a run would find there.

#include <cstdint>

namespace ado {
class Connection;
}

namespace data {

struct QueueCensus {
    int32_t queued = 0;  // every request in Disqualifications_Queue
    int32_t agencyMissing =
        0;  // requests for an agency that Agencies does not hold: a run leaves them queued
};

// Counts the queue on connection, an open connection to the main database. Reads only. Raises ado::Error.
QueueCensus CountQueue(ado::Connection& connection);

}  // namespace data
