// The five-minute bound on an operation's retries, its warning lines, and the data sources that fail for
// good.
#include "data/retry_bound.h"

#include "platform/application.h"
#include "platform/clock.h"

#include <map>
#include <set>

namespace data {

namespace {

struct RetryRecord {
    std::map<QString, QDateTime> lastWarning;  // by operation name
    std::set<QString> failingForGood;          // data sources
};

RetryRecord& Record() {
    static RetryRecord record;
    return record;
}

int32_t NativeOf(const platform::RuntimeError& error) {
    const auto* database = dynamic_cast<const ado::Error*>(&error);
    return database ? database->NativeError() : 0;
}

void WarnWhenDue(const RetriedOperation& operation, const QDateTime& since, const QDateTime& now,
                 const platform::RuntimeError& error) {
    if (platform::DateDiffSeconds(since, now) < kWarningAfterSeconds)
        return;
    auto [last, first] = Record().lastWarning.try_emplace(operation.name, now);
    if (!first) {
        if (platform::DateDiffSeconds(last->second, now) < kWarningEverySeconds)
            return;
        last->second = now;
    }
    platform::WriteErrorLine(
        QStringLiteral("Warning: %1 (%2) failing since %3: error %4, native %5: %6")
            .arg(operation.name, operation.subject, platform::FormatGeneralDate(since),
                 QString::number(error.Number()), QString::number(NativeOf(error)), error.Description()),
        platform::Severity::Warning);
}

}  // namespace

ado::ErrorCause CauseOf(const platform::RuntimeError& error) {
    return ado::CauseOf(error.Number(), NativeOf(error));
}

RetryBound::RetryBound(RetriedOperation operation) : operation_(std::move(operation)) {}

bool RetryBound::AllowsAnotherAttempt(const platform::RuntimeError& error) {
    const QDateTime now = platform::Now();
    if (!firstFailure_)
        firstFailure_ = now;
    std::set<QString>& failing = Record().failingForGood;
    const bool marked = !operation_.dataSource.isEmpty() && failing.count(operation_.dataSource) > 0;
    if (marked)
        return false;
    WarnWhenDue(operation_, *firstFailure_, now, error);
    if (platform::DateDiffSeconds(*firstFailure_, now) < kRetryBoundSeconds)
        return true;
    if (!operation_.dataSource.isEmpty())
        failing.insert(operation_.dataSource);
    return false;
}

void RetryBound::Succeeded() {
    firstFailure_.reset();
    if (!operation_.dataSource.isEmpty())
        Record().failingForGood.erase(operation_.dataSource);
}

void ForgetRetries() {
    Record() = RetryRecord{};
}

}  // namespace data
