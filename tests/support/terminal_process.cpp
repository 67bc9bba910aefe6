// Running the real binaries on a pseudo-terminal.
#include "support/terminal_process.h"

namespace testsupport {

constexpr int kTimeoutMs = 60000;

TerminalRun::TerminalRun(const QString& program, const QStringList& arguments,
                         const QProcessEnvironment& environment, const QString& workingFolder) {
    QStringList command;
    for (QString word : QStringList{program} + arguments)
        command << u'\'' + word.replace(u'\'', QStringLiteral("'\\''")) + u'\'';
    process_.setProcessEnvironment(environment);
    process_.setWorkingDirectory(workingFolder);
    process_.start(QStringLiteral("script"),
                   {QStringLiteral("-qfec"), command.join(u' '), QStringLiteral("/dev/null")});
}

TerminalRun::~TerminalRun() {
    process_.kill();
    process_.waitForFinished();
}

bool TerminalRun::ReadSome(const QDeadlineTimer& deadline) {
    if (process_.bytesAvailable() == 0 &&
        (deadline.hasExpired() || !process_.waitForReadyRead(static_cast<int>(deadline.remainingTime()))))
        return false;
    output_ += QString::fromLocal8Bit(process_.readAll()).remove(u'\r');
    return true;
}

bool TerminalRun::WaitFor(const QString& text) {
    for (const QDeadlineTimer deadline(kTimeoutMs);;) {
        const qsizetype at = output_.indexOf(text, mark_);
        if (at >= 0) {
            mark_ = at + text.size();
            return true;
        }
        if (!ReadSome(deadline))
            return false;
    }
}

int TerminalRun::Finish(const Answer& answer) {
    const QDeadlineTimer deadline(kTimeoutMs);
    do {
        if (const std::optional<QByteArray> typed = answer ? answer(output_.mid(mark_)) : std::nullopt) {
            mark_ = output_.size();
            Type(*typed);
        }
    } while (ReadSome(deadline));
    process_.waitForFinished(1000);  // false when it had already ended
    return process_.state() == QProcess::NotRunning && process_.exitStatus() == QProcess::NormalExit
               ? process_.exitCode()
               : -1;
}

ChildResult RunOnTerminal(const QString& program, const QStringList& arguments,
                          const QProcessEnvironment& environment, const QByteArray& input) {
    TerminalRun run(program, arguments, environment);
    run.Type(input);
    ChildResult result;
    result.exitCode = run.Finish();
    result.out = run.Output();
    return result;
}

ChildResult RunBinaryOnTerminal(const QString& name, const QStringList& arguments,
                                const QProcessEnvironment& environment, const QByteArray& input) {
    return RunOnTerminal(BinaryPath(name), arguments, environment, input);
}

}  // namespace testsupport
