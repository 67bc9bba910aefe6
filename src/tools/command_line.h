#pragma once
// Reading a command's arguments.

#include <QCommandLineParser>
#include <QString>
#include <QStringList>

#include <cstdint>

namespace tools {

// Parses arguments (those after the command's name) with parser. Raises UsageError for an unknown option, a
// missing value, or a number of positional arguments other than positionalCount.
void ParseArguments(QCommandLineParser& parser, const QStringList& arguments, int positionalCount);

// The 32-bit number in text. Raises UsageError naming what when text is not one.
int32_t ParseNumber(const QString& text, const QString& what);

// dir as an absolute folder path ending with "/", the form in which the program appends file names to it.
QString FolderPath(const QString& dir);

}  // namespace tools
