#pragma once
// What a test of the program's own code starts from: a temporary folder that also holds the settings store,
// a virtual clock, scripted message boxes, empty connection settings, current IDs of 0, no data-location
// dialog and an empty connection pool. The destructor puts the process back as it was.

#include "platform/clock.h"
#include "platform/msgbox.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QTemporaryDir>

#include <memory>
#include <optional>

namespace testsupport {

class ProgramEnvironment {
public:
    // The virtual clock starts at start (by default 1 March 2024, 09:00:00 local time).
    explicit ProgramEnvironment(const QDateTime& start = DefaultStart());
    ~ProgramEnvironment();
    ProgramEnvironment(const ProgramEnvironment&) = delete;
    ProgramEnvironment& operator=(const ProgramEnvironment&) = delete;

    // A folder of the test's own, removed at the end.
    QString Dir() const { return dir_.path(); }
    platform::VirtualClock& Clock() { return *clock_; }
    platform::ScriptedAnswerer& Answers() { return *answers_; }

    static QDateTime DefaultStart();

private:
    QTemporaryDir dir_;
    std::optional<QByteArray> previousConfigHome_;
    std::shared_ptr<platform::VirtualClock> clock_;
    std::shared_ptr<platform::ScriptedAnswerer> answers_;
};

}  // namespace testsupport
