// The program's entry: the main window is the start-up object and the whole run happens inside its load
// event. An error that nothing handled ends the run with the standard report.
#include "ado/provider.h"
#include "app/frm_process_disqualifications_queue.h"
#include "data/open_connection.h"
#include "platform/application.h"
#include "platform/clock.h"
#include "platform/msgbox.h"
#include "platform/runtime_error.h"
#include "platform/screen.h"
#include "setup/get_data_path.h"

#include <QApplication>

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
        return platform::kExitEndedAtOnce;
    } catch (const platform::RuntimeError& error) {
        ReportUnhandledError(error.Number(), error.Description());
        return platform::kExitUnhandledError;
    } catch (const std::exception& error) {
        ReportUnhandledError(kErrInternal, QString::fromLocal8Bit(error.what()));
        return platform::kExitUnhandledError;
    }
    return app::gAnotherRunHeldTheData ? platform::kExitAnotherRun : platform::kExitNormal;
}
