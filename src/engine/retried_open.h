#pragma once
// Opening and reading a recordset under the engine's error handling: passing conditions are waited out;
// anything else ends the run with the "Unexpected error" message (an open) or reaches the caller (a move).

#include "ado/connection.h"
#include "ado/recordset.h"
#include "engine/unexpected_error.h"

#include <QString>

namespace engine {

// The wait between two attempts of an operation that failed with a passing condition.
inline constexpr int kRetryWaitMs = 250;

// True for the failures the rebuilds wait out: E_FAIL (a lock, a server that is away) and the provider's
// time-out, unless waiting can never clear the condition (read-only, a full disk, a damaged file).
bool IsWaitedOut(const platform::RuntimeError& error);

struct RetriedOpenOptions {
    UnexpectedErrorWording wording = UnexpectedErrorWording::Rebuild;
    // The rebuilds let pending window events run after each wait; the creation of an entry does not.
    bool doEventsBetweenAttempts = true;
};

// Opens recordset on source. A failure that IsWaitedOut is tried again after 250 ms for as long as the
// failures have lasted less than five minutes, with a warning line while they last (data/retry_bound.h).
// Returns once the recordset is open; any other run-time error, or the last one when the five minutes are up,
// is shown with EndWithUnexpectedError (throws platform::EndProgram).
void OpenRetried(ado::Recordset& recordset, const QString& source, ado::Connection& connection,
                 int cursorType, int lockType, const RetriedOpenOptions& options);

// Moves recordset (a scan) to its next row. A failure that IsWaitedOut (a server that went away in the middle
// of the scan) is tried again as OpenRetried does, the recordset starting its statement again on the new
// session; any other error, or the last one when the five minutes are up, reaches the caller.
void MoveNextRetried(ado::Recordset& recordset);

}  // namespace engine
