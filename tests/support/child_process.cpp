// Running the real binaries as child processes.
#include "support/child_process.h"

#include <QProcess>

#include <grp.h>
#include <pwd.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

namespace testsupport {

QProcessEnvironment ChildEnvironment(const QString& configHome, const QString& clock) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("DISPLAY"));
    environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), configHome);
    environment.insert(QStringLiteral("KESTRANE_VIRTUAL_CLOCK"), clock);
    return environment;
}

std::pair<uint, uint> UnprivilegedUser() {
    if (geteuid() != 0)
        return {geteuid(), getegid()};
    const passwd* nobody = getpwnam("nobody");
    return nobody ? std::pair<uint, uint>{nobody->pw_uid, nobody->pw_gid}
                  : std::pair<uint, uint>{65534, 65534};
}

void StartBinary(QProcess& process, const QString& name, const QProcessEnvironment& environment,
                 const QStringList& arguments) {
    process.setProcessEnvironment(environment);
    process.setStandardInputFile(QProcess::nullDevice());
    process.start(BinaryPath(name), arguments);
}

ChildResult RunBinary(const QString& name, const QStringList& arguments,
                      const QProcessEnvironment& environment, const ChildLimits& limits) {
    QProcess process;
    const bool switchUser = limits.unprivileged && geteuid() == 0;
    const auto [uid, gid] = UnprivilegedUser();
    // Runs in the child between fork and exec: only calls that are safe there.
    process.setChildProcessModifier([=] {
        if (limits.fileSizeLimit > 0) {
            signal(SIGXFSZ, SIG_IGN);  // a write past the limit fails (EFBIG) instead of ending the child
            const rlimit size{static_cast<rlim_t>(limits.fileSizeLimit),
                              static_cast<rlim_t>(limits.fileSizeLimit)};
            setrlimit(RLIMIT_FSIZE, &size);
        }
        if (switchUser && (setgroups(0, nullptr) != 0 || setgid(gid) != 0 || setuid(uid) != 0))
            _exit(127);
    });
    StartBinary(process, name, environment, arguments);
    ChildResult result;
    const bool finished = process.waitForFinished(60000);
    process.kill();  // when it did not finish
    process.waitForFinished();
    result.out = QString::fromLocal8Bit(process.readAllStandardOutput());
    result.err = QString::fromLocal8Bit(process.readAllStandardError());
    if (finished && process.exitStatus() == QProcess::NormalExit)
        result.exitCode = process.exitCode();
    return result;
}

}  // namespace testsupport
