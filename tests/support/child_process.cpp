// Running the real binaries as child processes.
#include "support/child_process.h"

#include <QProcess>

namespace testsupport {

QStringList ChildResult::OutLines() const {
    return out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

QProcessEnvironment ChildEnvironment(const QString& configHome, const QString& clock) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("DISPLAY"));
    environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), configHome);
    environment.insert(QStringLiteral("KESTRANE_VIRTUAL_CLOCK"), clock);
    return environment;
}

ChildResult RunBinary(const QString& name, const QStringList& arguments,
                      const QProcessEnvironment& environment) {
    QProcess process;
    process.setProcessEnvironment(environment);
    process.setStandardInputFile(QProcess::nullDevice());
    process.start(QStringLiteral(KESTRANE_BIN_DIR "/") + name, arguments);
    ChildResult result;
    const bool finished = process.waitForFinished(60000);
    if (!finished)
        process.kill();
    process.waitForFinished();
    result.out = QString::fromLocal8Bit(process.readAllStandardOutput());
    result.err = QString::fromLocal8Bit(process.readAllStandardError());
    if (finished && process.exitStatus() == QProcess::NormalExit)
        result.exitCode = process.exitCode();
    return result;
}

}  // namespace testsupport
