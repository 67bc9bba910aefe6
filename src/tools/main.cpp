// kestrane-admin: creates the product's databases, writes the settings and fills the tables that the other
// programs of the product fill, so that the queue processor can be set up, tried and tested.
#include "ado/error.h"
#include "ado/provider.h"
#include "platform/application.h"
#include "platform/clock.h"
#include "platform/runtime_error.h"
#include "tools/command.h"
#include "tools/database.h"

#include <QApplication>
#include <QCoreApplication>
#include <QTextStream>

#include <algorithm>
#include <iterator>
#include <memory>

namespace tools {

void Warn(const QString& text) {
    QTextStream(stderr) << "kestrane-admin: warning: " << text << Qt::endl;
}

}  // namespace tools

namespace {

using tools::Command;

const Command* const kCommands[] = {&tools::kInitCommand,     &tools::kConfigureCommand,
                                    &tools::kAddUserCommand,  &tools::kAddWorkstationCommand,
                                    &tools::kScheduleCommand, &tools::kEnqueueCommand,
                                    &tools::kGenerateCommand, &tools::kShowCommand,
                                    &tools::kDoctorCommand,   &tools::kLaptopCommand};

const QString kExitStatuses = QStringLiteral(
    "\nExit statuses:\n"
    "  0   done (doctor: every check passed)\n"
    "  1   doctor: at least one check did not pass\n"
    "  64  the command line is wrong; the usage goes to standard error\n"
    "  65  refused, because of what the data holds (a name already registered, a user, agency or client\n"
    "      that does not exist, files or a catalog that already exist); nothing was changed\n"
    "  66  a file named on the command line cannot be read\n"
    "  69  a database cannot be opened or used (missing file, server away, login refused, missing table)\n"
    "  70  a fault of kestrane-admin itself\n"
    "  73  a file or folder cannot be created or written\n"
    "  75  the data stayed locked (by a running processor) past --lock-wait; nothing was written\n"
    "  78  the settings do not say where the data is\n");

// "NAME USAGE" and the summary below it.
QString CommandLines(const Command& command) {
    return command.name + (command.usage.isEmpty() ? QString() : QLatin1Char(' ') + command.usage) +
           QStringLiteral("\n      ") + command.summary + QLatin1Char('\n');
}

QString CommandUsage(const Command& command) {
    return QStringLiteral("Usage: kestrane-admin ") + CommandLines(command);
}

QString Usage() {
    QString text = QStringLiteral(
        "Usage: kestrane-admin COMMAND [ARGUMENTS]\n"
        "       kestrane-admin --help | --version\n"
        "Sets up the data of Kestrane for KSProcessDisqualificationsQueue.\n\nCommands:\n");
    for (const Command* command : kCommands)
        text += QStringLiteral("  ") + CommandLines(*command);
    text += QStringLiteral(
        "\nWhere the data is comes from the settings that \"configure\" writes ($XDG_CONFIG_HOME/Kestrane/,\n"
        "default ~/.config/Kestrane/); --data-path and --server override them for one command.\n"
        "\"kestrane-admin COMMAND --help\" shows one command's usage.\n");
    return text + kExitStatuses;
}

const Command* FindCommand(const QString& name) {
    const auto found = std::find_if(std::begin(kCommands), std::end(kCommands),
                                    [&](const Command* command) { return command->name == name; });
    return found == std::end(kCommands) ? nullptr : *found;
}

bool AsksForHelp(const QStringList& arguments) {
    return arguments.contains(QStringLiteral("--help")) || arguments.contains(QStringLiteral("-h"));
}

// Runs one command; every failure is written to standard error with its exit status.
int Run(const Command& command, const QStringList& arguments) {
    QTextStream err(stderr);
    const QString prefix = QStringLiteral("kestrane-admin ") + command.name + QStringLiteral(": ");
    try {
        return command.run(arguments);
    } catch (const tools::UsageError& error) {
        err << prefix << error.what() << Qt::endl << CommandUsage(command);
        return tools::kExitUsage;
    } catch (const tools::CommandFailed& error) {
        err << prefix << error.what() << Qt::endl;
        return error.Status();
    } catch (const ado::Error& error) {
        err << prefix << "A database call failed: " << tools::CauseInWords(error, false) << Qt::endl;
        return tools::kExitUnavailable;
    } catch (const platform::RuntimeError& error) {
        err << prefix << error.Description() << " (error " << error.Number() << ")" << Qt::endl;
        return tools::kExitSoftware;
    }
}

}  // namespace

int main(int argc, char** argv) {
    platform::ReadLocalZoneOnce();
    // Only a command that opens windows gets the widgets: the others run where no display can be reached.
    const Command* early = argc > 1 ? FindCommand(QString::fromLocal8Bit(argv[1])) : nullptr;
    const bool opensWindows = early != nullptr && early->opensWindows;
    if (opensWindows)
        platform::ChooseQtPlatform();
    const std::unique_ptr<QCoreApplication> application =
        opensWindows ? std::make_unique<QApplication>(argc, argv)
                     : std::make_unique<QCoreApplication>(argc, argv);
    platform::InstallClockFromEnvironment();
    ado::provider::RegisterBuiltInProviders();

    QStringList arguments = QCoreApplication::arguments().mid(1);
    if (arguments.isEmpty()) {
        QTextStream(stderr) << Usage();
        return tools::kExitUsage;
    }
    const QString name = arguments.takeFirst();
    if (name == QStringLiteral("help") || name == QStringLiteral("--help") || name == QStringLiteral("-h")) {
        QTextStream(stdout) << Usage();
        return tools::kExitOk;
    }
    if (name == QStringLiteral("--version")) {
        QTextStream(stdout) << "kestrane-admin " << KESTRANE_VERSION << Qt::endl;
        return tools::kExitOk;
    }
    const Command* command = FindCommand(name);
    if (!command) {
        QTextStream(stderr) << "kestrane-admin: unknown command \"" << name << "\"\n\n" << Usage();
        return tools::kExitUsage;
    }
    if (AsksForHelp(arguments)) {
        QTextStream(stdout) << CommandUsage(*command);
        return tools::kExitOk;
    }
    return Run(*command, arguments);
}
