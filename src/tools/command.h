#pragma once
// A command of kestrane-admin: its name, its usage line and what it does. Each command lives in its own file.

#include <QString>
#include <QStringList>

#include <stdexcept>

namespace tools {

struct Command {
    QString name;
    QString usage;    // the arguments after the name, e.g. "NAME [--inactive]"
    QString summary;  // one line: what the command does
    // Runs the command on the arguments after its name. Returns the exit status on success; raises
    // UsageError, CommandFailed, ado::Error or platform::RuntimeError on failure.
    int (*run)(const QStringList& arguments);
    // The command shows windows and message boxes: main gives it a widget application.
    bool opensWindows = false;
};

// The command line does not fit the command: main prints the message and the command's usage.
class UsageError : public std::runtime_error {
public:
    explicit UsageError(const QString& message) : std::runtime_error(message.toStdString()) {}
};

// The command cannot be carried out (not a fault of the command line or of the database): main prints the
// message.
class CommandFailed : public std::runtime_error {
public:
    explicit CommandFailed(const QString& message) : std::runtime_error(message.toStdString()) {}
};

extern const Command kInitCommand;
extern const Command kConfigureCommand;
extern const Command kAddUserCommand;
extern const Command kAddWorkstationCommand;
extern const Command kScheduleCommand;
extern const Command kEnqueueCommand;
extern const Command kGenerateCommand;
extern const Command kShowCommand;
extern const Command kLaptopCommand;

}  // namespace tools
