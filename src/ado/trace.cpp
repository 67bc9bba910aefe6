#include "ado/trace.h"

#include <QDateTime>
#include <QFile>

#include <fcntl.h>
#include <unistd.h>

#include <mutex>

namespace ado {

namespace {

const QString& TraceFile() {
    static const QString file = qEnvironmentVariable("KESTRANE_SQL_TRACE");
    return file;
}

QString Escaped(QString text) {
    text.replace(u'\n', QLatin1String("\\n"));
    text.replace(u'\r', QLatin1String("\\r"));
    text.replace(u'\t', QLatin1String("\\t"));
    return text;
}

}  // namespace

bool TraceEnabled() {
    static const bool enabled = !TraceFile().isEmpty();
    return enabled;
}

void TraceStatement(const QString& provider, const QString& written, const QString& sent) {
    if (!TraceEnabled())
        return;
    const QString line = QDateTime::currentDateTime().toString(Qt::ISODateWithMs) + u'\t' + provider + u'\t' +
                         Escaped(written) + u'\t' + Escaped(sent) + u'\n';
    static std::mutex mutex;
    const std::lock_guard lock(mutex);
    // Opened for each line, so that several programs may append to one trace; a pipe (/dev/stderr, a FIFO)
    // works too, since nothing seeks.
    const int fd =
        ::open(QFile::encodeName(TraceFile()).constData(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0)
        return;
    const QByteArray bytes = line.toUtf8();
    [[maybe_unused]] const ssize_t bytesWritten =
        ::write(fd, bytes.constData(), static_cast<size_t>(bytes.size()));
    ::close(fd);
}

}  // namespace ado
