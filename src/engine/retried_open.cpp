// The retried open of the engine's recordsets.
#include "engine/retried_open.h"

#include "data/retry_bound.h"
#include "platform/clock.h"
#include "platform/screen.h"

#include <optional>

namespace engine {

bool IsWaitedOut(const platform::RuntimeError& error) {
    const bool passing = error.Number() == ado::E_FAIL_HR || error.Number() == ado::DB_E_ABORTLIMITREACHED;
    return passing && data::CauseOf(error) != ado::ErrorCause::Permanent;
}

void OpenRetried(ado::Recordset& recordset, const QString& source, ado::Connection& connection,
                 int cursorType, int lockType, const RetriedOpenOptions& options) {
    data::RetryBound bound({.name = QStringLiteral("open"), .subject = source, .dataSource = {}});
    for (;;) {
        try {
            recordset.Open(source, connection, cursorType, lockType, -1);
            return;
        } catch (const platform::RuntimeError& error) {
            if (!IsWaitedOut(error) || !bound.AllowsAnotherAttempt(error)) {
                EndWithUnexpectedError(error, options.wording);
            }
        }
        platform::Sleep(kRetryWaitMs);
        if (options.doEventsBetweenAttempts)
            platform::Screen::DoEvents();
    }
}

void MoveNextRetried(ado::Recordset& recordset) {
    std::optional<data::RetryBound> bound;  // made at the first failure: a move seldom fails
    for (;;) {
        try {
            recordset.MoveNext();
            return;
        } catch (const platform::RuntimeError& error) {
            if (!bound)
                bound.emplace(data::RetriedOperation{QStringLiteral("move"), recordset.Source(), {}});
            if (!IsWaitedOut(error) || !bound->AllowsAnotherAttempt(error))
                throw;
        }
        platform::Sleep(kRetryWaitMs);
    }
}

}  // namespace engine
