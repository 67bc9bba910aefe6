#pragma once
// Run-time errors and the two ways a run can end early.

#include <QString>

#include <cstdint>
#include <stdexcept>

namespace platform {

// Run-time error numbers that the program tests for by number.
inline constexpr int32_t kErrTypeMismatch = 13;
inline constexpr int32_t kErrBadFileNameOrNumber = 52;
inline constexpr int32_t kErrPermissionDenied = 70;
inline constexpr int32_t kErrInvalidUseOfNull = 94;
inline constexpr int32_t kErrItemNotFound = 3265;

// Exit statuses of the program, from sysexits.h where one fits.
// The queue was processed, or nothing was scheduled.
inline constexpr int kExitNormal = 0;
inline constexpr int kExitUnhandledError = 1;
inline constexpr int kExitEndedAtOnce = 2;
// The command line is wrong (EX_USAGE).
inline constexpr int kExitUsage = 64;
// The queue was processed but requests stay in it because their agency does not exist (EX_DATAERR).
inline constexpr int kExitRequestsLeft = 65;
// The run ended normally but some of its writes failed (EX_IOERR).
inline constexpr int kExitWritesFailed = 74;
// Another run of the processor holds the same data; this one touched nothing (EX_TEMPFAIL).
inline constexpr int kExitAnotherRun = 75;
// This workstation is not set up (no name) or not a registered, active workstation (EX_NOPERM).
inline constexpr int kExitNotAdmitted = 77;
// The connection settings are incomplete (EX_CONFIG).
inline constexpr int kExitIncompleteSettings = 78;

// A run-time error: a number and a description. Handlers catch it where the system says they do; one that
// nothing catches reaches main, which shows the standard report and exits with kExitUnhandledError.
class RuntimeError : public std::runtime_error {
public:
    RuntimeError(int32_t number, const QString& description);
    int32_t Number() const { return number_; }
    const QString& Description() const { return description_; }

private:
    int32_t number_;
    QString description_;
};

// "Ends the program at once": main exits with kExitEndedAtOnce and no unload event runs.
class EndProgram : public std::exception {
public:
    explicit EndProgram(QString reason = {}) : reason_(std::move(reason)) {}
    const QString& Reason() const { return reason_; }
    const char* what() const noexcept override { return "the program ended at once"; }

private:
    QString reason_;
};

}  // namespace platform
