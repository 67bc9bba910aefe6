#pragma once
// How long an operation that is tried again may keep failing: five minutes on the program's clock, counted
// from its first failure. While it has failed for more than a few seconds, a warning line on standard error
// says what is failing and since when, at most one line a minute per operation. A wait that runs out its five
// minutes marks its data source as failing for good: until a write there goes through again, the next waits
// there give up at their first failure, so that a lock that never ends costs five minutes once, not per row.

#include "ado/error.h"
#include "platform/runtime_error.h"

#include <QDateTime>
#include <QString>

#include <cstdint>
#include <optional>

namespace data {

// How long the failures of one operation may last.
inline constexpr int64_t kRetryBoundSeconds = 5 * 60;
// How long an operation fails before its first warning line, and the least time between two of its lines.
inline constexpr int64_t kWarningAfterSeconds = 5;
inline constexpr int64_t kWarningEverySeconds = 60;

// What waiting can do about error, from its number and, for a database error, its native number.
ado::ErrorCause CauseOf(const platform::RuntimeError& error);

// An operation that is tried again, as its warning line names it.
struct RetriedOperation {
    QString name;     // what is done: "record delete", "open", "batch delete"
    QString subject;  // the statement or table it is done on
    // The data source (connection string) that a wait running out marks as failing for good; empty: none.
    QString dataSource;
};

class RetryBound {
public:
    explicit RetryBound(RetriedOperation operation);

    // Notes a failed attempt with error and writes the warning line when one is due. True while the failures
    // have lasted less than five minutes and the data source is not marked as failing for good; false marks
    // it.
    bool AllowsAnotherAttempt(const platform::RuntimeError& error);
    // The attempt went through: the next failure starts a new count, and the data source is no longer marked.
    void Succeeded();

private:
    RetriedOperation operation_;
    std::optional<QDateTime> firstFailure_;
};

// Forgets the warning lines written and the data sources marked (a new run).
void ForgetRetries();

}  // namespace data
