// Reading a command's arguments, and refusing values the command cannot use.
#include "tools/command_line.h"

#include "tools/command.h"

#include <QDir>

#include <algorithm>

namespace tools {

namespace {

const QString kLockWaitOption = QStringLiteral("lock-wait");

bool IsDigits(const QString& text) {
    return !text.isEmpty() && std::all_of(text.begin(), text.end(), [](QChar c) { return c.isDigit(); });
}

}  // namespace

void ParseArguments(QCommandLineParser& parser, const QStringList& arguments, int positionalCount) {
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    // The parser takes the program's name first.
    if (!parser.parse(QStringList{QStringLiteral("kestrane-admin")} + arguments)) {
        // "-5" reads as an option named "5": what was meant is a negative number.
        const QStringList unknown = parser.unknownOptionNames();
        if (unknown.size() == 1 && IsDigits(unknown.at(0))) {
            throw UsageError(QStringLiteral("-") + unknown.at(0) +
                             QStringLiteral(" is not an ID: IDs and counts are whole numbers from 1 up."));
        }
        throw UsageError(parser.errorText());
    }
    const QStringList positional = parser.positionalArguments();
    if (positional.size() > positionalCount) {
        throw UsageError(QStringLiteral("Unexpected argument: ") + positional.at(positionalCount));
    }
    if (positional.size() < positionalCount)
        throw UsageError(QStringLiteral("Missing argument."));
}

int32_t ParseNumber(const QString& text, const QString& what, int32_t minimum) {
    bool ok = false;
    const int32_t number = text.toInt(&ok);
    if (!ok || number < minimum) {
        throw UsageError(what + QStringLiteral(" must be a whole number from %1 up, not \"").arg(minimum) +
                         text + QStringLiteral("\"."));
    }
    return number;
}

QString RequireName(const QString& text, const QString& what) {
    if (text.trimmed().isEmpty())
        throw UsageError(what + QStringLiteral(" must not be empty."));
    return text;
}

QString ConnectionValueProblem(const QString& value) {
    if (value.contains(QLatin1Char(';')))
        return QStringLiteral("a \";\"");
    if (value != value.trimmed())
        return QStringLiteral("blanks at either end");
    if (value.startsWith(QLatin1Char('"')) || value.startsWith(QLatin1Char('\'')))
        return QStringLiteral("a leading quote");
    return {};
}

void RequireConnectionValue(const QString& value, const QString& what) {
    const QString problem = ConnectionValueProblem(value);
    if (!problem.isEmpty()) {
        throw UsageError(what + QStringLiteral(" cannot hold ") + problem +
                         QStringLiteral(": the connection string that carries it would read it otherwise."));
    }
}

QString FolderPath(const QString& dir) {
    QString path = QDir(dir).absolutePath();
    if (!path.endsWith(QLatin1Char('/')))
        path += QLatin1Char('/');
    return path;
}

void AddLockWaitOption(QCommandLineParser& parser) {
    parser.addOption(
        {kLockWaitOption,
         QStringLiteral("Wait up to SECONDS for a lock held by a running processor (default %1).")
             .arg(LockWait().seconds),
         QStringLiteral("SECONDS")});
}

LockWait LockWaitOf(const QCommandLineParser& parser) {
    LockWait wait;
    if (parser.isSet(kLockWaitOption))
        wait.seconds = ParseNumber(parser.value(kLockWaitOption), QStringLiteral("--lock-wait"), 0);
    return wait;
}

}  // namespace tools
