// The five-minute bound on the retries of one operation.
#include "engine/retry_bound.h"

#include "ado/error.h"
#include "platform/clock.h"

namespace engine {

bool IsPassingError(int32_t number) {
    return number == ado::E_FAIL_HR || number == ado::DB_E_ABORTLIMITREACHED;
}

bool RetryBound::AllowsAnotherAttempt() {
    const QDateTime now = platform::Now();
    if (!firstFailure_)
        firstFailure_ = now;
    return platform::DateDiffSeconds(*firstFailure_, now) < kRetryBoundSeconds;
}

}  // namespace engine
