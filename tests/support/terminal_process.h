#pragma once
// Running a real binary on a pseudo-terminal of its own, as a person at a terminal runs it.

#include "support/child_process.h"

#include <QByteArray>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

namespace testsupport {

// Runs program (a path) on a new pseudo-terminal, types input at it at once (the terminal keeps the lines
// until the program reads them), and waits for it (60 s at most). ChildResult::out holds everything the
// program wrote on the terminal (standard output and standard error together, with the typed input echoed),
// with carriage returns removed; err stays empty. exitCode is -1 when it crashed or did not finish in time.
ChildResult RunOnTerminal(const QString& program, const QStringList& arguments,
                          const QProcessEnvironment& environment, const QByteArray& input);

// RunOnTerminal for the binary of that name from the build's bin folder.
ChildResult RunBinaryOnTerminal(const QString& name, const QStringList& arguments,
                                const QProcessEnvironment& environment, const QByteArray& input);

}  // namespace testsupport
