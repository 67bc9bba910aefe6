// Drives from the kernel's table of mounts: each mount point that holds files is a drive, typed by its file
// system.
#include "platform/drives.h"

#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include <algorithm>
#include <optional>
#include <set>

namespace platform {

namespace {

const char* const kDrivesVariable = "KESTRANE_DRIVES";

// File systems that hold no files of a user's: kernel interfaces, memory-backed scratch space, containers'
// plumbing.
const std::set<QString> kPseudoFileSystems = {
    QStringLiteral("proc"),           QStringLiteral("sysfs"),      QStringLiteral("tmpfs"),
    QStringLiteral("devtmpfs"),       QStringLiteral("devpts"),     QStringLiteral("mqueue"),
    QStringLiteral("securityfs"),     QStringLiteral("debugfs"),    QStringLiteral("tracefs"),
    QStringLiteral("pstore"),         QStringLiteral("bpf"),        QStringLiteral("configfs"),
    QStringLiteral("fusectl"),        QStringLiteral("hugetlbfs"),  QStringLiteral("autofs"),
    QStringLiteral("binfmt_misc"),    QStringLiteral("efivarfs"),   QStringLiteral("rpc_pipefs"),
    QStringLiteral("nsfs"),           QStringLiteral("ramfs"),      QStringLiteral("selinuxfs"),
    QStringLiteral("squashfs"),       QStringLiteral("fuse.lxcfs"), QStringLiteral("fuse.portal"),
    QStringLiteral("fuse.gvfsd-fuse")};

const std::set<QString> kRemoteFileSystems = {
    QStringLiteral("nfs"),        QStringLiteral("nfs4"),        QStringLiteral("cifs"),
    QStringLiteral("smb3"),       QStringLiteral("smbfs"),       QStringLiteral("sshfs"),
    QStringLiteral("fuse.sshfs"), QStringLiteral("9p"),          QStringLiteral("ceph"),
    QStringLiteral("fuse.ceph"),  QStringLiteral("glusterfs"),   QStringLiteral("fuse.glusterfs"),
    QStringLiteral("afs"),        QStringLiteral("fuse.rclone"), QStringLiteral("davfs"),
    QStringLiteral("fuse.s3fs")};

const std::set<QString> kCdRomFileSystems = {QStringLiteral("iso9660"), QStringLiteral("udf")};

// File systems of memory cards and sticks: removable when the block device says so.
const std::set<QString> kRemovableMediaFileSystems = {QStringLiteral("vfat"), QStringLiteral("exfat"),
                                                      QStringLiteral("msdos")};

std::optional<std::vector<Drive>>& InstalledDrives() {
    static std::optional<std::vector<Drive>> drives;
    return drives;
}

QString WithTrailingSlash(const QString& folder) {
    return folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
}

// Mount points write blanks, tabs, newlines and backslashes as octal escapes ("\040").
QString UnescapeMountField(const QByteArray& field) {
    QByteArray out;
    out.reserve(field.size());
    for (qsizetype i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size()) {
            bool ok = false;
            const int code = field.mid(i + 1, 3).toInt(&ok, 8);
            if (ok) {
                out.append(static_cast<char>(code));
                i += 3;
                continue;
            }
        }
        out.append(field[i]);
    }
    return QString::fromLocal8Bit(out);
}

// True when the block device (e.g. /dev/sdb1) sits on a disk that the kernel marks removable.
bool IsRemovableDevice(const QString& source) {
    if (!source.startsWith(QStringLiteral("/dev/")))
        return false;
    const QString name = QFileInfo(QFileInfo(source).canonicalFilePath()).fileName();
    QString device = QFileInfo(QStringLiteral("/sys/class/block/") + name).canonicalFilePath();
    if (device.isEmpty())
        return false;
    // A partition's own folder has no "removable"; its disk (the parent folder) has.
    if (QFile::exists(device + QStringLiteral("/partition")))
        device = QFileInfo(device).path();
    QFile removable(device + QStringLiteral("/removable"));
    return removable.open(QIODevice::ReadOnly) && removable.readAll().trimmed() == "1";
}

// The drive type of a file system, or nothing when it is not a drive.
std::optional<int> TypeOf(const QString& fileSystem, const QString& source) {
    if (kPseudoFileSystems.contains(fileSystem) || fileSystem.startsWith(QStringLiteral("cgroup")))
        return std::nullopt;
    if (kRemoteFileSystems.contains(fileSystem) || fileSystem.startsWith(QStringLiteral("nfs")) ||
        fileSystem.startsWith(QStringLiteral("smb"))) {
        return kDriveRemote;
    }
    if (kCdRomFileSystems.contains(fileSystem))
        return kDriveCdRom;
    if (kRemovableMediaFileSystems.contains(fileSystem) && IsRemovableDevice(source))
        return kDriveRemovable;
    return kDriveFixed;
}

// One line of /proc/self/mountinfo: "id parent major:minor root mountpoint options [optional...] - fstype
// source superoptions".
std::optional<Drive> DriveOfMountLine(const QByteArray& line) {
    const QList<QByteArray> fields = line.split(' ');
    const qsizetype separator = fields.indexOf(QByteArray("-"));
    if (fields.size() < 5 || separator < 6 || separator + 2 >= fields.size())
        return std::nullopt;
    const QString mountPoint = UnescapeMountField(fields[4]);
    const QString fileSystem = QString::fromLatin1(fields[separator + 1]);
    const QString source = UnescapeMountField(fields[separator + 2]);
    const std::optional<int> type = TypeOf(fileSystem, source);
    // Files bound into a container (/etc/hosts and the like) are mount points too, but no drives.
    if (!type || !QFileInfo(mountPoint).isDir())
        return std::nullopt;
    return Drive{WithTrailingSlash(mountPoint), *type};
}

std::vector<Drive> SystemDrives() {
    QFile table(QStringLiteral("/proc/self/mountinfo"));
    if (!table.open(QIODevice::ReadOnly))
        return {};
    std::vector<Drive> drives;
    for (const QByteArray& line : table.readAll().split('\n')) {
        const std::optional<Drive> drive = DriveOfMountLine(line.trimmed());
        if (!drive)
            continue;
        // A file system mounted over another hides it: the later mount's type counts, in the first place.
        auto same = std::find_if(drives.begin(), drives.end(),
                                 [&](const Drive& known) { return known.root == drive->root; });
        if (same != drives.end()) {
            same->type = drive->type;
        } else {
            drives.push_back(*drive);
        }
    }
    return drives;
}

std::optional<int> TypeNamed(const QString& name) {
    static const std::vector<std::pair<QString, int>> kNames = {
        {QStringLiteral("removable"), kDriveRemovable},
        {QStringLiteral("fixed"), kDriveFixed},
        {QStringLiteral("remote"), kDriveRemote},
        {QStringLiteral("cdrom"), kDriveCdRom}};
    for (const auto& [typeName, type] : kNames) {
        if (name.compare(typeName, Qt::CaseInsensitive) == 0)
            return type;
    }
    bool ok = false;
    const int number = name.toInt(&ok);
    return ok ? std::optional<int>(number) : std::nullopt;
}

// "folder=type;folder=type"; an entry that does not read is left out.
std::vector<Drive> DrivesFromEnvironment(const QString& value) {
    std::vector<Drive> drives;
    for (const QString& entry : value.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const qsizetype equals = entry.lastIndexOf(QLatin1Char('='));
        if (equals <= 0)
            continue;
        const std::optional<int> type = TypeNamed(entry.mid(equals + 1).trimmed());
        if (type)
            drives.push_back({WithTrailingSlash(entry.left(equals).trimmed()), *type});
    }
    return drives;
}

}  // namespace

std::vector<Drive> GetDrives() {
    if (InstalledDrives())
        return *InstalledDrives();
    if (qEnvironmentVariableIsSet(kDrivesVariable))
        return DrivesFromEnvironment(qEnvironmentVariable(kDrivesVariable));
    return SystemDrives();
}

int GetDriveType(const QString& root) {
    for (const Drive& drive : GetDrives()) {
        if (drive.root == root)
            return drive.type;
    }
    return kDriveNoRootDir;
}

QString DriveRootOf(const QString& path) {
    const QString folder = WithTrailingSlash(path);
    QString best;
    for (const Drive& drive : GetDrives()) {
        if (folder.startsWith(drive.root) && drive.root.size() > best.size())
            best = drive.root;
    }
    return best;
}

void SetDrives(std::vector<Drive> drives) {
    for (Drive& drive : drives)
        drive.root = WithTrailingSlash(drive.root);
    InstalledDrives() = std::move(drives);
}

void UseSystemDrives() {
    InstalledDrives().reset();
}

}  // namespace platform
