#pragma once
// How long one operation may keep failing with a passing condition (a lock, a time-out) before the run gives
// up on it: five minutes on the program's clock, counted from its first failure.

#include <QDateTime>

#include <cstdint>
#include <optional>

namespace engine {

// The wait between two attempts of an operation that failed with a passing condition.
inline constexpr int kRetryWaitMs = 250;
// How long the failures of one operation may last.
inline constexpr int64_t kRetryBoundSeconds = 5 * 60;

// True for the errors that are waited out: E_FAIL (a lock among others) and the provider's time-out.
bool IsPassingError(int32_t number);

class RetryBound {
public:
    // Notes a failure. True while this operation's failures have lasted less than five minutes.
    bool AllowsAnotherAttempt();
    // The operation succeeded: its next failure starts a new count.
    void Reset() { firstFailure_.reset(); }

private:
    std::optional<QDateTime> firstFailure_;
};

}  // namespace engine
