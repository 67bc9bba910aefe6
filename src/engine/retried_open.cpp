// The retried open of the engine's recordsets.
#include "engine/retried_open.h"

#include "engine/retry_bound.h"
#include "platform/clock.h"
#include "platform/screen.h"

namespace engine {

void OpenRetried(ado::Recordset& recordset, const QString& source, ado::Connection& connection,
                 int cursorType, int lockType, const RetriedOpenOptions& options) {
    RetryBound bound;
    for (;;) {
        try {
            recordset.Open(source, connection, cursorType, lockType, -1);
            return;
        } catch (const platform::RuntimeError& error) {
            if (!IsPassingError(error.Number()) || !bound.AllowsAnotherAttempt()) {
                EndWithUnexpectedError(error, options.wording);
            }
        }
        platform::Sleep(kRetryWaitMs);
        if (options.doEventsBetweenAttempts)
            platform::Screen::DoEvents();
    }
}

}  // namespace engine
