#include "platform/application.h"

#include "platform/clock.h"

#include <QCoreApplication>
#include <QDir>
#include <QGuiApplication>

#include <cstdio>

#include <xcb/xcb.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace platform {

namespace {

QString& StoredTitle() {
    static QString title;
    return title;
}

}  // namespace

QString AppTitle() {
    const QString& title = StoredTitle();
    return title.isEmpty() ? QCoreApplication::applicationName() : title;
}

void SetAppTitle(const QString& title) {
    StoredTitle() = title;
}

// Qt warns on every start without a runtime folder, which would open every unattended run's output with a
// line nobody can act on; give it a private one.
static void EnsureRuntimeFolder() {
    if (!qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR"))
        return;
    const QByteArray folder = QDir::tempPath().toUtf8() + "/runtime-" + QByteArray::number(getuid());
    if (mkdir(folder.constData(), 0700) == 0 || errno == EEXIST)
        qputenv("XDG_RUNTIME_DIR", folder);
}

bool DisplayOpens(const QByteArray& display) {
    int screen = 0;
    xcb_connection_t* connection = xcb_connect(display.constData(), &screen);
    const bool opens = xcb_connection_has_error(connection) == 0;
    xcb_disconnect(connection);
    return opens;
}

void ChooseQtPlatform() {
    EnsureRuntimeFolder();
    if (qEnvironmentVariableIsSet("QT_QPA_PLATFORM") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        return;
    const QByteArray display = qgetenv("DISPLAY");
    if (!display.isEmpty()) {
        if (DisplayOpens(display))
            return;
        // Qt's X platform would abort the program; a run that needs nobody at the screen goes on without it.
        WriteErrorLine(QStringLiteral("Cannot open the display ") + QString::fromLocal8Bit(display) +
                           QStringLiteral("; running without a display."),
                       Severity::Warning);
        qunsetenv("DISPLAY");
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
}

bool IsHeadless() {
    // Without a GUI application there are no windows at all, which is as headless as it gets.
    if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()) == nullptr)
        return true;
    const QString platform = QGuiApplication::platformName();
    return platform == QLatin1String("offscreen") || platform == QLatin1String("minimal");
}

bool HasTerminal() {
    // A job in the background of a shell has the terminal but would be stopped by the first read from it.
    return isatty(STDIN_FILENO) == 1 && tcgetpgrp(STDIN_FILENO) == getpgrp();
}

bool WritesToJournal() {
    return !qEnvironmentVariableIsEmpty("JOURNAL_STREAM");
}

QString LogLine(const QString& line, Severity severity) {
    if (!WritesToJournal())
        return TerminalText(line);
    return u'<' + QString::number(static_cast<int>(severity)) + u'>' +
           TerminalText(line).split(u'\n', Qt::SkipEmptyParts).join(u' ');
}

static void WriteLine(std::FILE* stream, const QString& line, Severity severity) {
    std::fputs(LogLine(line, severity).toUtf8().constData(), stream);
    std::fputc('\n', stream);
    std::fflush(stream);
}

void WriteStatusLine(const QString& line) {
    // How long a status line that does not change stays unwritten.
    constexpr int64_t kRepeatSeconds = 3600;
    static QString lastLine;
    static QDateTime lastWritten;
    if (!IsHeadless())
        return;
    const QDateTime now = Now();
    if (line == lastLine && lastWritten.isValid()) {
        const int64_t since = DateDiffSeconds(lastWritten, now);
        if (since >= 0 && since < kRepeatSeconds)
            return;
    }
    lastLine = line;
    lastWritten = now;
    WriteLine(stdout, line, Severity::Status);
}

void WriteOutputLine(const QString& line, Severity severity) {
    WriteLine(stdout, line, severity);
}

void WriteErrorLine(const QString& line, Severity severity) {
    WriteLine(stderr, line, severity);
}

QString TerminalText(const QString& text) {
    QString result = text;
    result.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    result.replace(u'\r', u'\n');
    return result;
}

}  // namespace platform
