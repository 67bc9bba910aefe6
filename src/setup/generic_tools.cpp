#include "setup/generic_tools.h"

#include "platform/drives.h"
#include "platform/file_attributes.h"
#include "platform/file_lookup.h"

#include <QFileInfo>

namespace setup {

namespace {

constexpr QChar kNul = QChar(u'\0');

}  // namespace

QString GetLogicalDriveList() {
    QString list;
    for (const platform::Drive& drive : platform::GetDrives())
        list += drive.root + kNul;
    return list.isEmpty() ? list : list + kNul;
}

QString NextDriveRoot(const QString& driveList, qsizetype& position) {
    if (position >= driveList.size() || driveList[position] == kNul)
        return {};
    qsizetype end = driveList.indexOf(kNul, position);
    if (end < 0)
        end = driveList.size();
    const QString root = driveList.mid(position, end - position);
    position = end + 1;
    return root;
}

bool ClearFileAttributes(const QString& path) {
    const QFileInfo info(path);
    const QString found = platform::FindFileIgnoringCase(info.path(), info.fileName());
    if (found.isEmpty())
        return false;
    platform::SetFileAttributesNormal(found);
    return true;
}

}  // namespace setup
