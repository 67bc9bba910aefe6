#pragma once
// Reading a command's arguments, and refusing values the command cannot use.

#include "tools/database.h"

#include <QCommandLineParser>
#include <QString>
#include <QStringList>

#include <cstdint>

namespace tools {

// Parses arguments (those after the command's name) with parser. Raises UsageError for an unknown option, a
// missing value, or a number of positional arguments other than positionalCount.
void ParseArguments(QCommandLineParser& parser, const QStringList& arguments, int positionalCount);

// The 32-bit number in text, at least minimum. Raises UsageError naming what when text is not one.
int32_t ParseNumber(const QString& text, const QString& what, int32_t minimum);
// An ID or a count: a number of at least 1.
inline int32_t ParseCount(const QString& text, const QString& what) {
    return ParseNumber(text, what, 1);
}

// text as a name: raises UsageError naming what when it is empty or only blanks.
QString RequireName(const QString& text, const QString& what);

// Why value cannot be carried in a connection string as the program writes it there ("Key=" + value + ";"):
// a ";" cuts it short, blanks at either end are dropped, and a leading quote makes the reader look for a
// closing one. Empty when it can.
QString ConnectionValueProblem(const QString& value);
// Raises UsageError naming what when ConnectionValueProblem finds one.
void RequireConnectionValue(const QString& value, const QString& what);

// dir as an absolute folder path ending with "/", the form in which the program appends file names to it.
QString FolderPath(const QString& dir);

// Adds --lock-wait SECONDS to the options of a command that writes to the databases.
void AddLockWaitOption(QCommandLineParser& parser);
// The wait that parser was given, the default when none.
LockWait LockWaitOf(const QCommandLineParser& parser);

}  // namespace tools
