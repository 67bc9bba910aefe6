#pragma once
// Running the real binaries (the program, kestrane-admin) as child processes, as a user or a scheduler would.

#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

#include <utility>

namespace testsupport {

struct ChildResult {
    int exitCode = -1;  // -1 when the child crashed or did not finish
    QString out;
    QString err;
    // Standard output split into lines, without the empty last one.
    QStringList OutLines() const { return out.split(QLatin1Char('\n'), Qt::SkipEmptyParts); }
};

// The environment of an unattended run: no display (offscreen), settings in configHome, and a virtual clock
// (KESTRANE_VIRTUAL_CLOCK=clock) so that the program's waits cost nothing.
QProcessEnvironment ChildEnvironment(const QString& configHome, const QString& clock = QStringLiteral("now"));

// What a child runs under besides its environment.
struct ChildLimits {
    // When the tests run as root: the child runs as the user "nobody", to whom file modes apply.
    bool unprivileged = false;
    // Above 0: no file the child writes may grow past this many bytes (a full disk, as the child sees it).
    qint64 fileSizeLimit = 0;
};

// The user a child with ChildLimits::unprivileged runs as: "nobody" when the tests run as root, else the
// tests' own. Returns its user and group IDs.
std::pair<uint, uint> UnprivilegedUser();

// The path of the binary of that name in the build's bin folder.
inline QString BinaryPath(const QString& name) {
    return QStringLiteral(KESTRANE_BIN_DIR "/") + name;
}

// Starts the binary of that name from the build's bin folder in environment, with standard input closed, and
// returns at once; the caller sets the other channels before.
void StartBinary(QProcess& process, const QString& name, const QProcessEnvironment& environment,
                 const QStringList& arguments = {});

// Runs the binary of that name from the build's bin folder with standard input closed, and waits for it
// (60 s at most).
ChildResult RunBinary(const QString& name, const QStringList& arguments,
                      const QProcessEnvironment& environment, const ChildLimits& limits = {});

}  // namespace testsupport
