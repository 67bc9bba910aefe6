#pragma once
// Running a real binary on a pseudo-terminal of its own (script(1) gives it one), as a person at a terminal
// runs it.

#include "support/child_process.h"

#include <QDeadlineTimer>
#include <QProcess>

#include <functional>
#include <optional>

namespace testsupport {

// A program on its terminal. Output() is everything it wrote there (standard output and standard error
// together, with the typed input echoed), with carriage returns removed. Every wait ends after 60 s.
class TerminalRun {
public:
    TerminalRun(const QString& program, const QStringList& arguments, const QProcessEnvironment& environment,
                const QString& workingFolder = {});
    ~TerminalRun();  // kills the program if it still runs

    // Types text at the terminal, which keeps the lines until the program reads them.
    void Type(const QByteArray& text) { process_.write(text); }
    // Reads until text shows after what was already taken, and moves past it; false when it did not show.
    bool WaitFor(const QString& text);
    // Reads to the program's end, typing what answer gives for what the program wrote since the last answer.
    // Returns the exit status, -1 when the program crashed or did not end.
    using Answer = std::function<std::optional<QByteArray>(const QString& pending)>;
    int Finish(const Answer& answer = {});
    const QString& Output() const { return output_; }

private:
    bool ReadSome(const QDeadlineTimer& deadline);  // false at the program's end or at the deadline

    QProcess process_;
    QString output_;
    qsizetype mark_ = 0;
};

// Runs program (a path) on a new terminal, types input at once and waits for its end. ChildResult::out holds
// TerminalRun::Output(); err stays empty.
ChildResult RunOnTerminal(const QString& program, const QStringList& arguments,
                          const QProcessEnvironment& environment, const QByteArray& input);

// RunOnTerminal for the binary of that name from the build's bin folder.
ChildResult RunBinaryOnTerminal(const QString& name, const QStringList& arguments,
                                const QProcessEnvironment& environment, const QByteArray& input);

}  // namespace testsupport
