// The dialog's search of the drives for a folder that holds the product's database files.
#include "platform/drives.h"
#include "platform/file_lookup.h"
#include "platform/msgbox.h"
#include "platform/screen.h"
#include "setup/generic_tools.h"
#include "setup/get_data_path.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <optional>
#include <set>

#include <sys/stat.h>

namespace setup {

namespace {

// The folder list starts with this many slots and grows by as many when full.
constexpr int kFolderListStep = 100;

const QString kCR = QStringLiteral("\r");

// The device of a folder, so that a walk stays on its own drive; nothing when it cannot be read.
std::optional<dev_t> DeviceOf(const QString& folder) {
    struct stat status {};
    if (::stat(QFile::encodeName(folder).constData(), &status) != 0)
        return std::nullopt;
    return status.st_dev;
}

// True when folder + C + ".mdb", C + "_USERS.mdb" and C + "_sands.mdb" are all there (names without regard
// to case).
bool HoldsProductFiles(const QString& folder, const QString& product) {
    for (const QString& suffix :
         {QStringLiteral(".mdb"), QStringLiteral("_USERS.mdb"), QStringLiteral("_sands.mdb")}) {
        if (platform::FindFileIgnoringCase(folder, product + suffix).isEmpty())
            return false;
    }
    return true;
}

}  // namespace

void GetDataPath::cmdLocate_Click() {
    EnableButtons(false);
    const QString driveList = GetLogicalDriveList();
    if (driveList.isEmpty()) {
        platform::MsgBox(QStringLiteral("No Drives were found!"), platform::vbOKOnly + platform::vbCritical);
        return;
    }
    int count = 0;
    qsizetype position = 0;
    for (QString drive = NextDriveRoot(driveList, position); !drive.isEmpty() && count == 0;
         drive = NextDriveRoot(driveList, position)) {
        const int type = platform::GetDriveType(drive);
        if (type == platform::kDriveFixed || type == platform::kDriveRemote)
            FindDatabaseOnDrive(drive, count);
    }
    if (count == 0) {
        position = 0;
        for (QString drive = NextDriveRoot(driveList, position); !drive.isEmpty();
             drive = NextDriveRoot(driveList, position)) {
            if (platform::GetDriveType(drive) == platform::kDriveCdRom)
                platform::MsgBox(QStringLiteral("CD drive found at ") + drive, platform::vbOKOnly);
        }
    }
    EnableButtons(true);
}

void GetDataPath::FindDatabaseOnDrive(const QString& drive, int& count) {
    const QString& product = dbApp;
    std::vector<QString> folders(kFolderListStep);
    folders[0] = drive;
    int folderCount = 1;
    if (platform::FindFileIgnoringCase(drive, product + QStringLiteral(".mdb")).isEmpty())
        ListFoldersOfDrive(drive, folders, folderCount);

    int found = 0;
    for (int item = 0; item < folderCount; ++item) {
        platform::Screen::DoEvents();
        if (HoldsProductFiles(folders[item], product)) {
            ++found;
        } else {
            folders[item].clear();
        }
    }
    // The folders found move to the front, in their order.
    std::stable_partition(folders.begin(), folders.begin() + folderCount,
                          [](const QString& folder) { return !folder.isEmpty(); });

    if (found == 0) {
        count = 0;
    } else if (found == 1) {
        const int answer = platform::MsgBox(QStringLiteral("Found one copy at ") + folders[0] +
                                                QStringLiteral(" on drive ") + drive + QStringLiteral(".") +
                                                kCR + kCR + QStringLiteral("Use this database location?"),
                                            platform::vbYesNo);
        if (answer == platform::vbYes)
            SelectFoundFolder(drive, folders[0]);
        count = 1;
    } else {
        QString list = QStringLiteral("Found ") + QString::number(found) +
                       QStringLiteral(" copies on drive ") + drive + QStringLiteral(".") + kCR;
        for (int item = 0; item < found; ++item)
            list += kCR + folders[item];
        platform::MsgBox(list, platform::vbOKOnly + platform::vbInformation);
        count = 0;
        for (int item = 0; item < found; ++item) {
            if (platform::MsgBox(QStringLiteral("Use copy at ") + folders[item] + QStringLiteral("?"),
                                 platform::vbYesNo) == platform::vbYes) {
                SelectFoundFolder(drive, folders[item]);
                count = 1;
                break;
            }
        }
    }
}

void GetDataPath::ListFoldersOfDrive(const QString& root, std::vector<QString>& folders, int& folderCount) {
    platform::Screen::SetMousePointer(platform::vbHourglass);
    // A drive's tree holds no other drive: the walk stays on the root's file system and passes over the roots
    // of the other drives, and it follows no symbolic link.
    const std::optional<dev_t> rootDevice = DeviceOf(root);
    std::set<QString> otherRoots;
    for (const platform::Drive& drive : platform::GetDrives()) {
        if (drive.root != root)
            otherRoots.insert(drive.root);
    }
    int levelStart = 0;
    int levelEnd = folderCount;
    while (levelStart < levelEnd) {
        for (int item = levelStart; item < levelEnd; ++item) {
            platform::Screen::DoEvents();
            const QString parent = folders[item];
            const QStringList entries = QDir(parent).entryList(
                QDir::Dirs | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot | QDir::NoSymLinks,
                QDir::Name);
            for (const QString& entry : entries) {
                const QString folder = parent + entry + QLatin1Char('/');
                if (DeviceOf(folder) != rootDevice || otherRoots.contains(folder))
                    continue;
                if (folderCount == static_cast<int>(folders.size()))
                    folders.resize(folders.size() + kFolderListStep);
                folders[folderCount++] = folder;
            }
        }
        levelStart = levelEnd;
        levelEnd = folderCount;
    }
    platform::Screen::SetMousePointer(platform::vbDefault);
}

void GetDataPath::SelectFoundFolder(const QString& drive, const QString& folder) {
    Drive1->SetDrive(drive);
    Dir1->SetPath(folder);
    txtDataPath->setText(folder);
}

}  // namespace setup
