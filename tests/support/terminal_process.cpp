// Running the real binaries on a pseudo-terminal.
#include "support/terminal_process.h"

#include <QDeadlineTimer>
#include <QFile>

#include <algorithm>
#include <csignal>
#include <string>
#include <vector>

#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

namespace testsupport {

namespace {

constexpr int kTimeoutMs = 60000;

std::vector<char*> Pointers(std::vector<std::string>& strings) {
    std::vector<char*> pointers;
    for (std::string& text : strings)
        pointers.push_back(text.data());
    pointers.push_back(nullptr);
    return pointers;
}

}  // namespace

ChildResult RunOnTerminal(const QString& program, const QStringList& arguments,
                          const QProcessEnvironment& environment, const QByteArray& input) {
    // Everything the child needs is built before the fork: after it, the child only calls execve.
    std::vector<std::string> args = {QFile::encodeName(program).toStdString()};
    for (const QString& argument : arguments)
        args.push_back(argument.toLocal8Bit().toStdString());
    std::vector<std::string> env;
    for (const QString& entry : environment.toStringList())
        env.push_back(entry.toLocal8Bit().toStdString());
    std::vector<char*> argv = Pointers(args);
    std::vector<char*> envp = Pointers(env);

    ChildResult result;
    int terminal = -1;
    const pid_t pid = forkpty(&terminal, nullptr, nullptr, nullptr);
    if (pid == 0) {
        execve(argv[0], argv.data(), envp.data());
        _exit(127);
    }
    if (pid < 0)
        return result;
    if (write(terminal, input.constData(), input.size()) != input.size()) {
        kill(pid, SIGKILL);
    }

    QByteArray output;
    const QDeadlineTimer deadline(kTimeoutMs);
    bool timedOut = false;
    for (;;) {
        pollfd fd{terminal, POLLIN, 0};
        if (poll(&fd, 1, static_cast<int>(std::max<qint64>(deadline.remainingTime(), 0))) <= 0) {
            timedOut = true;
            kill(pid, SIGKILL);
            break;
        }
        char buffer[4096];
        const ssize_t n = read(terminal, buffer, sizeof buffer);
        if (n <= 0)
            break;  // EIO once the program has closed the terminal
        output.append(buffer, n);
    }
    close(terminal);
    int status = 0;
    waitpid(pid, &status, 0);
    result.out = QString::fromLocal8Bit(output).remove(QLatin1Char('\r'));
    if (!timedOut && WIFEXITED(status))
        result.exitCode = WEXITSTATUS(status);
    return result;
}

ChildResult RunBinaryOnTerminal(const QString& name, const QStringList& arguments,
                                const QProcessEnvironment& environment, const QByteArray& input) {
    return RunOnTerminal(QStringLiteral(KESTRANE_BIN_DIR "/") + name, arguments, environment, input);
}

}  // namespace testsupport
