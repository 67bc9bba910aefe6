// Reading a command's arguments.
#include "tools/command_line.h"

#include "tools/command.h"

#include <QDir>

namespace tools {

void ParseArguments(QCommandLineParser& parser, const QStringList& arguments, int positionalCount) {
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    // The parser takes the program's name first.
    if (!parser.parse(QStringList{QStringLiteral("kestrane-admin")} + arguments)) {
        throw UsageError(parser.errorText());
    }
    const QStringList positional = parser.positionalArguments();
    if (positional.size() > positionalCount) {
        throw UsageError(QStringLiteral("Unexpected argument: ") + positional.at(positionalCount));
    }
    if (positional.size() < positionalCount)
        throw UsageError(QStringLiteral("Missing argument."));
}

int32_t ParseNumber(const QString& text, const QString& what) {
    bool ok = false;
    const int32_t number = text.toInt(&ok);
    if (!ok)
        throw UsageError(what + QStringLiteral(" must be a whole number: ") + text);
    return number;
}

QString FolderPath(const QString& dir) {
    QString path = QDir(dir).absolutePath();
    if (!path.endsWith(QLatin1Char('/')))
        path += QLatin1Char('/');
    return path;
}

}  // namespace tools
