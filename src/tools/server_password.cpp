// The server password: read from a file or at a prompt, never from the command line.
#include "tools/server_password.h"

#include "tools/command.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTextStream>

#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <iostream>
#include <string>

namespace tools {

namespace {

constexpr QFileDevice::Permissions kOwnerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;

}  // namespace

QString ReadPasswordFile(const QString& file) {
    QFile input;
    const bool opened = file == QStringLiteral("-")
                            ? input.open(stdin, QIODevice::ReadOnly)
                            : (input.setFileName(file), input.open(QIODevice::ReadOnly));
    if (!opened) {
        throw CommandFailed(kExitNoInput, QStringLiteral("Cannot read the password file ") + file +
                                              QStringLiteral(": ") + input.errorString());
    }
    QString line = QString::fromUtf8(input.readLine());
    while (line.endsWith(QLatin1Char('\n')) || line.endsWith(QLatin1Char('\r')))
        line.chop(1);
    return line;
}

QString PromptPassword(const QString& prompt) {
    std::cerr << prompt.toStdString() << std::flush;
    termios saved{};
    const bool terminal = tcgetattr(STDIN_FILENO, &saved) == 0;
    if (terminal) {
        termios silent = saved;
        silent.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        tcsetattr(STDIN_FILENO, TCSANOW, &silent);
    }
    std::string line;
    std::getline(std::cin, line);
    if (terminal)
        tcsetattr(STDIN_FILENO, TCSANOW, &saved);
    std::cerr << std::endl;
    return QString::fromStdString(line);
}

bool ReadableByOthers(const QString& file) {
    const QFileInfo info(file);
    return info.exists() && (info.permissions() & (QFileDevice::ReadGroup | QFileDevice::ReadOther));
}

void MakeOwnerOnly(const QString& file) {
    QFile settings(file);
    const bool done = QFileInfo::exists(file)
                          ? settings.setPermissions(kOwnerOnly)
                          : QDir().mkpath(QFileInfo(file).absolutePath()) &&
                                settings.open(QIODevice::NewOnly | QIODevice::WriteOnly, kOwnerOnly);
    if (!done) {
        throw CommandFailed(kExitCannotWrite, QStringLiteral("Cannot make ") + file +
                                                  QStringLiteral(" readable by its owner only: ") +
                                                  settings.errorString());
    }
}

}  // namespace tools
