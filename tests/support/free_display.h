#pragma once
// An X display number that no server uses, for runs that must meet a display nobody answers on.

#include <QByteArray>
#include <QFile>

namespace testsupport {

// ":N" for the first N from 900 with neither a socket nor a lock file of an X server.
inline QByteArray FreeDisplay() {
    int n = 900;
    while (QFile::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(n)) ||
           QFile::exists(QStringLiteral("/tmp/.X%1-lock").arg(n)))
        ++n;
    return ':' + QByteArray::number(n);
}

}  // namespace testsupport
