// The program's entry: the main window is the start-up object and the whole run happens inside its load
// event. An error that nothing handled ends the run with the standard report.
#include "ado/provider.h"
#include "app/frm_process_disqualifications_queue.h"
#include "data/failed_writes.h"
#include "data/open_connection.h"
#include "platform/application.h"
#include "platform/clock.h"
#include "platform/msgbox.h"
#include "platform/runtime_error.h"
#include "platform/screen.h"
#include "setup/get_data_path.h"

#include <QApplication>

#include <cstdio>
#include <cstring>
#include <exception>

namespace {

// The number reported for a failure that is not a run-time error of the program ("Internal error").
constexpr int32_t kErrInternal = 51;

// The run-time's standard report of an unhandled error.
void ReportUnhandledError(int32_t number, const QString& description) {
    platform::MsgBox(
        QStringLiteral("Run-time error '") + QString::number(number) + QStringLiteral("':\n\n") + description,
        platform::vbCritical);
}

// The exit status of a run that ended with status. When writes failed, standard output gets the run's last
// line, which counts them, and a normal end becomes kExitWritesFailed.
int EndOfRun(int status) {
    if (data::FailedWriteCount() == 0)
        return status;
    std::fputs((data::FailedWritesLine() + u'\n').toUtf8().constData(), stdout);
    std::fflush(stdout);
    return status == platform::kExitNormal ? platform::kExitWritesFailed : status;
}

// Runs the program until no window is loaded.
void Run() {
    app::gfrmProcessDisqualificationsQueue->Load();
    while (!platform::Screen::Forms().empty()) {
        platform::Screen::WaitForEvents();
    }
    platform::Screen::DoEvents();
}

}  // namespace

int main(int argc, char** argv) {
    // The one argument the program reads, so that an administrator can tell which build is installed.
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("KSProcessDisqualificationsQueue %s\n", KESTRANE_VERSION);
        return platform::kExitNormal;
    }
    platform::ReadLocalZoneOnce();
    platform::ChooseQtPlatform();
    QApplication application(argc, argv);
    platform::SetAppTitle(QStringLiteral("KSProcessDisqualificationsQueue"));
    platform::InstallClockFromEnvironment();
    ado::provider::RegisterBuiltInProviders();
    data::SetDataLocationDialog(setup::ShowGetDataPath);

    try {
        Run();
    } catch (const platform::EndProgram&) {
        return EndOfRun(platform::kExitEndedAtOnce);
    } catch (const platform::RuntimeError& error) {
        ReportUnhandledError(error.Number(), error.Description());
        return EndOfRun(platform::kExitUnhandledError);
    } catch (const std::exception& error) {
        ReportUnhandledError(kErrInternal, QString::fromLocal8Bit(error.what()));
        return EndOfRun(platform::kExitUnhandledError);
    }
    return EndOfRun(app::gAnotherRunHeldTheData ? platform::kExitAnotherRun : platform::kExitNormal);
}
