#include "platform/application.h"

#include <QCoreApplication>
#include <QDir>
#include <QGuiApplication>

#include <cstdio>

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

void ChooseQtPlatform() {
    EnsureRuntimeFolder();
    if (qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        return;
    if (!qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        return;
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

void WriteStatusLine(const QString& line) {
    if (!IsHeadless())
        return;
    std::fputs(TerminalText(line).toUtf8().constData(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

void WriteErrorLine(const QString& line) {
    std::fputs(TerminalText(line).toUtf8().constData(), stderr);
    std::fputc('\n', stderr);
    std::fflush(stderr);
}

QString TerminalText(const QString& text) {
    QString result = text;
    result.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    result.replace(u'\r', u'\n');
    return result;
}

}  // namespace platform
