// kestrane-admin: creates the product's databases, writes the settings and fills the tables that the other
// programs of the product fill, so that the queue processor can be set up, tried and tested.
#include "ado/provider.h"
#include "platform/application.h"
#include "platform/clock.h"
#include "platform/runtime_error.h"
#include "tools/command.h"

#include <QApplication>
#include <QCoreApplication>
#include <QTextStream>

#include <algorithm>
#include <iterator>
#include <memory>

namespace {

using tools::Command;

const Command* const kCommands[] = {
    &tools::kInitCommand,           &tools::kConfigureCommand, &tools::kAddUserCommand,
    &tools::kAddWorkstationCommand, &tools::kScheduleCommand,  &tools::kEnqueueCommand,
    &tools::kGenerateCommand,       &tools::kShowCommand,      &tools::kLaptopCommand};

QString CommandUsage(const Command& command) {
    return QStringLiteral("Usage: kestrane-admin ") + command.name + QLatin1Char(' ') + command.usage +
           QStringLiteral("\n      ") + command.summary + QLatin1Char('\n');
}

QString Usage() {
    QString text = QStringLiteral(
        "Usage: kestrane-admin COMMAND [ARGUMENTS]\n"
        "Sets up the data of Kestrane for KSProcessDisqualificationsQueue.\n\nCommands:\n");
    for (const Command* command : kCommands) {
        text += QStringLiteral("  ") + command->name + QLatin1Char(' ') + command->usage +
                QStringLiteral("\n      ") + command->summary + QLatin1Char('\n');
    }
    text += QStringLiteral(
        "\nWhere the data is comes from the settings that \"configure\" writes ($XDG_CONFIG_HOME/Kestrane/,\n"
        "default ~/.config/Kestrane/); --data-path and --server override them for one command.\n"
        "\"kestrane-admin COMMAND --help\" shows one command's usage.\n");
    return text;
}

const Command* FindCommand(const QString& name) {
    const auto found = std::find_if(std::begin(kCommands), std::end(kCommands),
                                    [&](const Command* command) { return command->name == name; });
    return found == std::end(kCommands) ? nullptr : *found;
}

bool AsksForHelp(const QStringList& arguments) {
    return arguments.contains(QStringLiteral("--help")) || arguments.contains(QStringLiteral("-h"));
}

// Runs one command; every failure is written to standard error with exit status 1.
int Run(const Command& command, const QStringList& arguments) {
    QTextStream err(stderr);
    const QString prefix = QStringLiteral("kestrane-admin ") + command.name + QStringLiteral(": ");
    try {
        return command.run(arguments);
    } catch (const tools::UsageError& error) {
        err << prefix << error.what() << Qt::endl << CommandUsage(command);
    } catch (const tools::CommandFailed& error) {
        err << prefix << error.what() << Qt::endl;
    } catch (const platform::RuntimeError& error) {
        err << prefix << error.Description() << " (error " << error.Number() << ")" << Qt::endl;
    }
    return 1;
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
        return 1;
    }
    const QString name = arguments.takeFirst();
    if (name == QStringLiteral("help") || name == QStringLiteral("--help") || name == QStringLiteral("-h")) {
        QTextStream(stdout) << Usage();
        return 0;
    }
    const Command* command = FindCommand(name);
    if (!command) {
        QTextStream(stderr) << "kestrane-admin: unknown command \"" << name << "\"\n\n" << Usage();
        return 1;
    }
    if (AsksForHelp(arguments)) {
        QTextStream(stdout) << CommandUsage(*command);
        return 0;
    }
    return Run(*command, arguments);
}
