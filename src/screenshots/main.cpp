// kestrane-screenshots: the pictures of the program's windows in docs/screenshots. It runs the queue
// processor's main window on the workstation that the settings describe (screenshots.sh sets one up), on a
// virtual clock, and pictures the windows at their typical moments: the main window while it waits for the
// schedule and as it holds its last status, the message window during an agency's scan; then the
// data-location dialog with the data folder selected in it, and the local-refresh window as it opens.
#include "ado/provider.h"
#include "app/frm_process_disqualifications_queue.h"
#include "data/connection_settings.h"
#include "localrefresh/frm_setup_laptop.h"
#include "platform/application.h"
#include "platform/clock.h"
#include "platform/drives.h"
#include "platform/runtime_error.h"
#include "platform/screen.h"
#include "platform/settings.h"
#include "screenshots/camera.h"
#include "setup/get_data_path.h"

#include <QApplication>
#include <QCommandLineParser>

#include <cstdio>
#include <memory>

namespace {

using screenshots::Camera;

const QString kWaiting = QStringLiteral("main-window-waiting");
// The one remote folder a portable workstation is given for the picture of the local-refresh window.
const QString kRemoteFolder = QStringLiteral("/mnt/office/kestrane/KS/");

// Runs the main window as the program does, picturing it at the first ten-second sleep of the wait for the
// schedule and at its last sleep, which is the hold of its last status.
void PictureTheRun(Camera& camera, const QDateTime& start) {
    auto clock = std::make_shared<platform::VirtualClock>(start);
    int64_t sleptBefore = 0;
    clock->OnSleep([&](const QDateTime&) {
        const int64_t slept = clock->TotalSleptMs() - sleptBefore;
        sleptBefore = clock->TotalSleptMs();
        platform::Form* window = app::gfrmProcessDisqualificationsQueue.Peek();
        if (window == nullptr || !window->Visible())
            return;
        if (slept == 10000 && !camera.Has(kWaiting)) {
            camera.Take(kWaiting, *window);
        } else if (camera.Has(kWaiting)) {
            camera.Take(QStringLiteral("main-window-after-run"), *window);
        }
    });
    platform::SetClock(clock);
    app::gfrmProcessDisqualificationsQueue->Load();
    platform::Screen::DoEvents();
    platform::SetClock(nullptr);
}

// The dialog that a missing KS.mdb brings up, after a person has opened the data folder in its lists.
void PictureTheDataLocationDialog(Camera& camera) {
    setup::GetDataPath& dialog = *setup::gGetDataPath;
    dialog.Load();
    dialog.dbFile = QStringLiteral("KS.mdb");
    dialog.Show(platform::vbModeless);
    const QString folder = data::Settings().dataPath;
    dialog.Drive1->SetDrive(platform::DriveRootOf(folder));
    dialog.Dir1->SetPath(folder);
    camera.Take(QStringLiteral("data-location-dialog"), dialog);
    dialog.Unload();
}

void PictureTheLocalRefreshWindow(Camera& camera) {
    platform::SaveSetting(data::kProductCode, QStringLiteral("Data"), QStringLiteral("Remote KS Data Path"),
                          kRemoteFolder);
    localrefresh::frmSetupLaptop& window = *localrefresh::gfrmSetupLaptop;
    window.Show(platform::vbModeless);
    camera.Take(QStringLiteral("local-refresh-window"), window);
    window.Unload();
}

}  // namespace

int main(int argc, char** argv) {
    platform::ReadLocalZoneOnce();
    platform::ChooseQtPlatform();
    QApplication application(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Pictures the windows of KSProcessDisqualificationsQueue, run on the workstation that the settings "
        "describe, as PNG files in FOLDER."));
    parser.addHelpOption();
    parser.addOption({QStringLiteral("clock"),
                      QStringLiteral("The virtual clock's start (YYYY-MM-DDTHH:MM:SS)."),
                      QStringLiteral("TIME")});
    parser.addPositionalArgument(QStringLiteral("FOLDER"), QStringLiteral("Where the pictures go."));
    parser.process(application);
    const QDateTime start = QDateTime::fromString(parser.value(QStringLiteral("clock")), Qt::ISODate);
    if (parser.positionalArguments().size() != 1 || !start.isValid())
        parser.showHelp(2);

    platform::SetAppTitle(QStringLiteral("KSProcessDisqualificationsQueue"));
    ado::provider::RegisterBuiltInProviders();
    Camera camera(parser.positionalArguments().front());
    application.installEventFilter(&camera);
    try {
        PictureTheRun(camera, start);
        PictureTheDataLocationDialog(camera);
        PictureTheLocalRefreshWindow(camera);
    } catch (const platform::RuntimeError& error) {
        std::fprintf(stderr, "kestrane-screenshots: run-time error %d: %s\n", error.Number(),
                     qPrintable(error.Description()));
        return 1;
    } catch (const platform::EndProgram& end) {
        std::fprintf(stderr, "kestrane-screenshots: the program ended at once: %s\n",
                     qPrintable(end.Reason()));
        return 1;
    }
    bool complete = true;
    for (const QString& name :
         {kWaiting, QStringLiteral("main-window-after-run"), QStringLiteral("message-window-agency-scan"),
          QStringLiteral("data-location-dialog"), QStringLiteral("local-refresh-window")}) {
        if (!camera.Has(name)) {
            std::fprintf(stderr, "kestrane-screenshots: the run never reached the moment of %s\n",
                         qPrintable(name));
            complete = false;
        }
    }
    return camera.Save() && complete ? 0 : 1;
}
