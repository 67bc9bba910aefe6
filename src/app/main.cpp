// The program's entry: the main window is the start-up object and the whole run happens inside its load
// event. An error that nothing handled ends the run with the standard report. The command line only asks for
// help, the version, or a check of what a run would meet; without arguments the program runs.
#include "ado/provider.h"
#include "app/command_line.h"
#include "app/frm_process_disqualifications_queue.h"
#include "app/run_outcome.h"
#include "app/startup_check.h"
#include "data/failed_writes.h"
#include "data/open_connection.h"
#include "platform/application.h"
#include "platform/clock.h"
#include "platform/msgbox.h"
#include "platform/runtime_error.h"
#include "platform/screen.h"
#include "setup/get_data_path.h"

#include <QApplication>
#include <QCoreApplication>
#include <QTextStream>

#include <cstdio>
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

// The exit status of a run that ended as ending. Standard output gets the run's last lines: the count of
// failed writes when some failed, then the summary.
int EndOfRun(app::Ending ending) {
    const int failedWrites = data::FailedWriteCount();
    if (failedWrites > 0)
        platform::WriteOutputLine(data::FailedWritesLine(), platform::Severity::Warning);
    platform::WriteOutputLine(app::SummaryLine(app::ThisRun(), ending));
    return app::ExitStatus(app::ThisRun(), ending, failedWrites);
}

// Runs the program until no window is loaded.
void Run() {
    app::gfrmProcessDisqualificationsQueue->Load();
    while (!platform::Screen::Forms().empty()) {
        platform::Screen::WaitForEvents();
    }
    platform::Screen::DoEvents();
}

// Sets up what every part of the program uses: the clock, the providers and the dialog of a missing file.
void SetUpProgram() {
    platform::SetAppTitle(QStringLiteral("KSProcessDisqualificationsQueue"));
    platform::InstallClockFromEnvironment();
    ado::provider::RegisterBuiltInProviders();
    data::SetDataLocationDialog(setup::ShowGetDataPath);
}

}  // namespace

int main(int argc, char** argv) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const app::CommandLine commandLine = app::ReadCommandLine(arguments);
    switch (commandLine.action) {
        case app::CommandLine::Action::Help:
        case app::CommandLine::Action::Version:
            std::fputs(commandLine.text.toLocal8Bit().constData(), stdout);
            return platform::kExitNormal;
        case app::CommandLine::Action::Wrong:
            std::fputs(commandLine.text.toLocal8Bit().constData(), stderr);
            return platform::kExitUsage;
        case app::CommandLine::Action::Check: {
            // No window: the check needs no display.
            platform::ReadLocalZoneOnce();
            QCoreApplication application(argc, argv);
            SetUpProgram();
            QTextStream out(stdout);
            return app::CheckStartup(out);
        }
        case app::CommandLine::Action::Run:
            break;
    }

    platform::ReadLocalZoneOnce();
    platform::ChooseQtPlatform();
    QApplication application(argc, argv);
    SetUpProgram();
    app::ThisRun().began = platform::Now();

    try {
        Run();
    } catch (const platform::EndProgram&) {
        return EndOfRun(app::Ending::EndedAtOnce);
    } catch (const platform::RuntimeError& error) {
        ReportUnhandledError(error.Number(), error.Description());
        return EndOfRun(app::Ending::UnhandledError);
    } catch (const std::exception& error) {
        ReportUnhandledError(kErrInternal, QString::fromLocal8Bit(error.what()));
        return EndOfRun(app::Ending::UnhandledError);
    }
    return EndOfRun(app::Ending::Normal);
}
