#pragma once
// An X display number that no server uses, for runs that must meet a display nobody answers on.

#include <QByteArray>

namespace testsupport {

// ":N" for the first N from 900 with neither a socket nor a lock file of an X server.
QByteArray FreeDisplay();

}  // namespace testsupport
