#include "ado/trace.h"

#include <QDateTime>
#include <QFile>

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
    // Opened for each line, so that several programs may append to one trace.
    QFile file(TraceFile());
    if (file.open(QIODevice::WriteOnly | QIODevice::Append))
        file.write(line.toUtf8());
}

}  // namespace ado
