#include "ado/sqlite/tuning.h"

#include "platform/application.h"

#include <QByteArray>

namespace ado::sqlite {

namespace {

// The whole number in variable, or fallback when it is unset; a value that is not one is refused.
int Setting(const char* variable, int fallback) {
    if (!qEnvironmentVariableIsSet(variable))
        return fallback;
    bool ok = false;
    const int value = qEnvironmentVariableIntValue(variable, &ok);
    if (ok && value >= 0)
        return value;
    platform::WriteErrorLine(QStringLiteral("%1=%2 is not a whole number of 0 or more; %3 is used.")
                                 .arg(QString::fromUtf8(variable), qEnvironmentVariable(variable))
                                 .arg(fallback),
                             platform::Severity::Warning);
    return fallback;
}

}  // namespace

const Tuning& ProcessTuning() {
    static const Tuning tuning = [] {
        const Tuning defaults;
        Tuning read;
        read.groupAge = std::chrono::milliseconds(
            Setting("KESTRANE_SQLITE_GROUP_MS", static_cast<int>(defaults.groupAge.count())));
        read.sharedHandle = Setting("KESTRANE_SQLITE_SHARED_HANDLE", 1) != 0;
        read.queryShapes = Setting("KESTRANE_SQLITE_SHAPES", 1) != 0;
        return read;
    }();
    return tuning;
}

}  // namespace ado::sqlite
