// The count of the run's failed writes.
#include "data/failed_writes.h"

#include <array>

namespace data {

namespace {

std::array<int, 3>& Counts() {
    static std::array<int, 3> counts{};
    return counts;
}

int CountOf(FailedWrite kind) {
    return Counts()[static_cast<size_t>(kind)];
}

}  // namespace

void CountFailedWrite(FailedWrite kind) {
    ++Counts()[static_cast<size_t>(kind)];
}

int FailedWriteCount() {
    return CountOf(FailedWrite::Update) + CountOf(FailedWrite::Delete) + CountOf(FailedWrite::Add);
}

QString FailedWritesLine() {
    return QStringLiteral("%1 write(s) failed in this run: %2 update(s), %3 delete(s), %4 add(s).")
        .arg(FailedWriteCount())
        .arg(CountOf(FailedWrite::Update))
        .arg(CountOf(FailedWrite::Delete))
        .arg(CountOf(FailedWrite::Add));
}

void ForgetFailedWrites() {
    Counts() = {};
}

}  // namespace data
