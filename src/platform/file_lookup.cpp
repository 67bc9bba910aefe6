#include "platform/file_lookup.h"

#include <QDir>
#include <QFileInfo>
#include <QStringList>

namespace platform {

namespace {

QString Joined(const QString& folder, const QString& name) {
    return folder.endsWith(QLatin1Char('/')) ? folder + name : folder + QLatin1Char('/') + name;
}

// The entry of folder named name without regard to case (the exact name first); empty when none.
QString FindEntry(const QString& folder, const QString& name) {
    const QString exact = Joined(folder, name);
    if (QFileInfo::exists(exact))
        return exact;
    const QStringList entries = QDir(folder).entryList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    for (const QString& entry : entries) {
        if (entry.compare(name, Qt::CaseInsensitive) == 0)
            return Joined(folder, entry);
    }
    return {};
}

}  // namespace

QString FindIgnoringCase(const QString& folder, const QString& relativePath) {
    QString found = folder;
    for (const QString& part : relativePath.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        found = FindEntry(found, part);
        if (found.isEmpty())
            return {};
    }
    return found;
}

QString FindFileIgnoringCase(const QString& folder, const QString& name) {
    const QString found = FindIgnoringCase(folder, name);
    return QFileInfo(found).isFile() ? found : QString();
}

}  // namespace platform
