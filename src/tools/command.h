#pragma once
// A command of kestrane-admin: its name, its usage line and what it does. Each command lives in its own file.

#include <QString>
#include <QStringList>

#include <stdexcept>

namespace tools {

// Exit statuses of kestrane-admin, from sysexits.h where one fits. "kestrane-admin --help" lists them.
inline constexpr int kExitOk = 0;
inline constexpr int kExitChecksFailed = 1;  // doctor: at least one check did not pass
inline constexpr int kExitUsage = 64;        // EX_USAGE: the command line is wrong
inline constexpr int kExitRefused = 65;      // EX_DATAERR: what the data holds forbids it; nothing changed
inline constexpr int kExitNoInput = 66;      // EX_NOINPUT: a file named on the command line cannot be read
inline constexpr int kExitUnavailable = 69;  // EX_UNAVAILABLE: a database cannot be opened or used
inline constexpr int kExitSoftware = 70;     // EX_SOFTWARE: a fault of kestrane-admin itself
inline constexpr int kExitCannotWrite = 73;  // EX_CANTCREAT: a file or folder cannot be created or written
inline constexpr int kExitLocked = 75;       // EX_TEMPFAIL: the data stayed locked; nothing was written
inline constexpr int kExitConfig = 78;       // EX_CONFIG: the settings do not say where the data is

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

// The command line does not fit the command: main prints the message and the command's usage, and exits with
// kExitUsage.
class UsageError : public std::runtime_error {
public:
    explicit UsageError(const QString& message) : std::runtime_error(message.toStdString()) {}
};

// The command cannot be carried out: main prints the message and exits with status.
class CommandFailed : public std::runtime_error {
public:
    CommandFailed(int status, const QString& message)
        : std::runtime_error(message.toStdString()), status_(status) {}
    int Status() const { return status_; }

private:
    int status_;
};

// Writes "kestrane-admin: warning: " + text as one line on standard error.
void Warn(const QString& text);

extern const Command kInitCommand;
extern const Command kConfigureCommand;
extern const Command kAddUserCommand;
extern const Command kAddWorkstationCommand;
extern const Command kScheduleCommand;
extern const Command kEnqueueCommand;
extern const Command kGenerateCommand;
extern const Command kShowCommand;
extern const Command kDoctorCommand;
extern const Command kLaptopCommand;

}  // namespace tools
