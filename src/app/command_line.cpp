#include "app/command_line.h"

#include <QCommandLineParser>

namespace app {

namespace {

const QString kProgram = QStringLiteral("KSProcessDisqualificationsQueue");

const QString kDescription = QStringLiteral(
    "Works off Kestrane's queue of disqualification rebuilds: checks that a rebuild is scheduled\n"
    "and that this workstation is admitted, waits for the scheduled time, rebuilds each queued\n"
    "agency and client, holds its last status for five seconds and closes itself. Without a display\n"
    "it runs headless: each status goes to standard output, message boxes to standard error.");

const QString kMore = QStringLiteral(
    "\nSettings (written by kestrane-admin configure):\n"
    "  $XDG_CONFIG_HOME/Kestrane/KS.ini                   where the data is (default ~/.config)\n"
    "  $XDG_CONFIG_HOME/Kestrane/Halvermoor Software.ini  this workstation's name\n"
    "\nEnvironment:\n"
    "  KESTRANE_SQL_TRACE=FILE      append every SQL statement to FILE\n"
    "  KESTRANE_VIRTUAL_CLOCK=now   a virtual clock (or YYYY-MM-DDTHH:MM:SS, @N for speed): waits take\n"
    "                               no time\n"
    "  KESTRANE_DRIVES=LIST         the drives the data-location dialog searches, as\n"
    "                               FOLDER=TYPE;FOLDER=TYPE (TYPE removable, fixed, remote, cdrom)\n"
    "  DISPLAY, QT_QPA_PLATFORM     the display; a display that cannot be opened means headless\n"
    "  JOURNAL_STREAM               set by systemd: lines carry their priority (<3>, <4>, <6>)\n"
    "\nExit statuses:\n"
    "  0   the queue was processed, or no rebuild was scheduled\n"
    "  1   a run-time error ended the run (its report names the error)\n"
    "  2   the run ended at once after an unexpected error\n"
    "  64  the command line is wrong\n"
    "  65  requests stay in the queue because their agency does not exist\n"
    "  74  some writes failed (the line before the last counts them)\n"
    "  75  another run holds the same data; nothing was touched\n"
    "  77  this workstation is not set up, or not registered and active\n"
    "  78  the connection settings are incomplete\n"
    "The last line on standard output sums the run up.\n");

// What a wrong command line is answered with, after what is wrong.
const QString kShortUsage = QStringLiteral(
    "\nUsage: KSProcessDisqualificationsQueue [--check | --help | --version]\n"
    "\"KSProcessDisqualificationsQueue --help\" explains the options and the exit statuses.\n");

}  // namespace

CommandLine ReadCommandLine(const QStringList& arguments) {
    QCommandLineParser parser;
    parser.setApplicationDescription(kDescription);
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Shows this help and exits."));
    const QCommandLineOption version(QStringLiteral("version"),
                                     QStringLiteral("Shows the version and exits."));
    const QCommandLineOption check(
        QStringLiteral("check"),
        QStringLiteral("Reports the settings, the data sources, this workstation's admission, the schedule "
                       "and the queue, without writing or waiting, and exits with the status a run would "
                       "end with."));
    parser.addOption(help);
    parser.addOption(version);
    parser.addOption(check);

    // Without an application object the parser does not know the program's name.
    QString usage = parser.helpText();
    usage.replace(QStringLiteral("<executable_name>"), kProgram);
    usage += kMore;

    if (!parser.parse(arguments))
        return {CommandLine::Action::Wrong,
                kProgram + QStringLiteral(": ") + parser.errorText() + kShortUsage};
    if (!parser.positionalArguments().isEmpty()) {
        return {CommandLine::Action::Wrong, kProgram + QStringLiteral(": unexpected argument '") +
                                                parser.positionalArguments().constFirst() +
                                                QStringLiteral("'.") + kShortUsage};
    }
    if (parser.isSet(help))
        return {CommandLine::Action::Help, usage};
    if (parser.isSet(version))
        return {CommandLine::Action::Version, kProgram + u' ' + QStringLiteral(KESTRANE_VERSION) + u'\n'};
    if (parser.isSet(check))
        return {CommandLine::Action::Check, {}};
    return {};
}

}  // namespace app
