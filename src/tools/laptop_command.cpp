// kestrane-admin laptop: opens the program's local-refresh window, in which a portable workstation chooses
// its local or remote data folder and may refresh the local copies first, and prints the outcome. Nothing in
// the program itself opens that window.
#include "data/connection_settings.h"
#include "localrefresh/frm_setup_laptop.h"
#include "platform/application.h"
#include "platform/runtime_error.h"
#include "platform/screen.h"
#include "tools/command.h"
#include "tools/command_line.h"

#include <QTextStream>

namespace tools {

namespace {

int RunLaptop(const QStringList& arguments) {
    QCommandLineParser parser;
    ParseArguments(parser, arguments, 0);

    // The window's messages name the program it belongs to.
    platform::SetAppTitle(QStringLiteral("KSProcessDisqualificationsQueue"));
    try {
        localrefresh::gfrmSetupLaptop->Show(platform::vbModal);
    } catch (const platform::EndProgram&) {
        // The person gave up on a copy that failed; the message said so and the choice is not reported.
        return platform::kExitEndedAtOnce;
    }
    platform::Screen::DoEvents();

    const data::ConnectionSettings& settings = data::Settings();
    QTextStream out(stdout);
    out << "Data path: " << settings.dataPath << Qt::endl
        << "Local data used: " << (settings.useLocalData ? "yes" : "no") << Qt::endl;
    return 0;
}

}  // namespace

const Command kLaptopCommand{
    QStringLiteral("laptop"), QString(),
    QStringLiteral(
        "Open the window that switches this workstation between its local and remote data folders\n"
        "      (\"KS Data Path\" and \"Remote KS Data Path\") and refreshes the local copies; then print "
        "the\n"
        "      data path and whether local data is used. Without a display it asks at the terminal."),
    RunLaptop, true};

}  // namespace tools
