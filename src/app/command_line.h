#pragma once
// The program's command line. Without arguments it runs as it always has; the options are for whoever runs it
// unattended: which build this is, what it would do, and how to read its exit status.

#include <QString>
#include <QStringList>

namespace app {

struct CommandLine {
    enum class Action { Run, Check, Help, Version, Wrong } action = Action::Run;
    // Help: the help text; Version: the version line; Wrong: what is wrong, then the usage.
    QString text;
};

// Reads arguments (the program's name first, as main receives them). Never fails: a wrong command line comes
// back as Action::Wrong.
CommandLine ReadCommandLine(const QStringList& arguments);

}  // namespace app
