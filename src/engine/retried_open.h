#pragma once
// Opening a recordset under the engine's error handling: passing conditions are waited out, anything else
// ends the run with the "Unexpected error" message.

#include "ado/connection.h"
#include "ado/recordset.h"
#include "engine/unexpected_error.h"

#include <QString>

namespace engine {

struct RetriedOpenOptions {
    UnexpectedErrorWording wording = UnexpectedErrorWording::Rebuild;
    // The rebuilds let pending window events run after each wait; the creation of an entry does not.
    bool doEventsBetweenAttempts = true;
};

// Opens recordset on source. E_FAIL and time-outs are tried again after 250 ms for as long as they have
// lasted less than five minutes. Returns once the recordset is open; any other run-time error, or the last
// one when the five minutes are up, is shown with EndWithUnexpectedError (throws platform::EndProgram).
void OpenRetried(ado::Recordset& recordset, const QString& source, ado::Connection& connection,
                 int cursorType, int lockType, const RetriedOpenOptions& options);

}  // namespace engine
