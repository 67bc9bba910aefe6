#include "support/free_display.h"

#include <QFile>

namespace testsupport {

QByteArray FreeDisplay() {
    for (int n = 900;; ++n) {
        const QString number = QString::number(n);
        if (!QFile::exists(QStringLiteral("/tmp/.X11-unix/X") + number) &&
            !QFile::exists(QStringLiteral("/tmp/.X") + number + QStringLiteral("-lock")))
            return ':' + number.toLatin1();
    }
}

}  // namespace testsupport
