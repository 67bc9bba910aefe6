#include "support/program_environment.h"

#include "ado/connection.h"
#include "data/connection_settings.h"
#include "data/current_ids.h"
#include "data/failed_writes.h"
#include "data/open_connection.h"
#include "data/retry_bound.h"
#include "platform/application.h"
#include "platform/screen.h"

namespace testsupport {

namespace {

const char* const kConfigHome = "XDG_CONFIG_HOME";

// Everything the program keeps between calls, as it is when the program starts.
void ResetProgramState() {
    data::Settings() = data::ConnectionSettings{};
    data::gCurrentUserId = 0;
    data::gCurrentWorkstationId = 0;
    data::SetDataLocationDialog(nullptr);
    data::ForgetFailedWrites();
    data::ForgetRetries();
    ado::ClearConnectionPool();
    platform::Screen::SetMousePointer(platform::vbDefault);
}

}  // namespace

QDateTime ProgramEnvironment::DefaultStart() {
    return QDateTime(QDate(2024, 3, 1), QTime(9, 0, 0));
}

ProgramEnvironment::ProgramEnvironment(const QDateTime& start)
    : previousConfigHome_(qEnvironmentVariableIsSet(kConfigHome) ? std::optional(qgetenv(kConfigHome))
                                                                 : std::nullopt),
      clock_(std::make_shared<platform::VirtualClock>(start)),
      answers_(std::make_shared<platform::ScriptedAnswerer>()) {
    qputenv(kConfigHome, (dir_.path() + QStringLiteral("/config")).toLocal8Bit());
    platform::SetAppTitle(QStringLiteral("KSProcessDisqualificationsQueue"));
    platform::SetClock(clock_);
    platform::SetMessageBoxAnswerer(answers_);
    ResetProgramState();
}

ProgramEnvironment::~ProgramEnvironment() {
    ResetProgramState();
    platform::SetMessageBoxAnswerer(nullptr);
    platform::SetClock(nullptr);
    if (previousConfigHome_)
        qputenv(kConfigHome, *previousConfigHome_);
    else
        qunsetenv(kConfigHome);
}

}  // namespace testsupport
