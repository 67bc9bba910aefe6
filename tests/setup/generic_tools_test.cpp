// The generic file routines and the drives under them: the drive list and its walk, clearing a file's
// attributes, and the drives that the system, the environment or a test gives.
#include "setup/generic_tools.h"
#include "platform/drives.h"
#include "support/program_environment.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

using namespace platform;

mode_t ModeOf(const QString& path) {
    struct stat status {};
    ::stat(QFile::encodeName(path).constData(), &status);
    return status.st_mode & 07777;
}

TEST(GetLogicalDriveList, EachRootEndsWithANulAndTheListWithAnother) {
    const auto restore = qScopeGuard([] { UseSystemDrives(); });
    SetDrives(
        {{QStringLiteral("/srv/ks"), kDriveFixed}, {QStringLiteral("/media/release disc/"), kDriveCdRom}});

    const QString list = setup::GetLogicalDriveList();

    EXPECT_EQ(list, QStringLiteral("/srv/ks/") + QChar(u'\0') + QStringLiteral("/media/release disc/") +
                        QChar(u'\0') + QChar(u'\0'));
    QStringList walked;
    qsizetype position = 0;
    for (QString root = setup::NextDriveRoot(list, position); !root.isEmpty();
         root = setup::NextDriveRoot(list, position)) {
        walked << root;
    }
    EXPECT_EQ(walked, (QStringList{QStringLiteral("/srv/ks/"), QStringLiteral("/media/release disc/")}));

    SetDrives({});
    EXPECT_EQ(setup::GetLogicalDriveList(), QString());
}

TEST(ClearFileAttributes, MakesAnExistingFileWritableAndKeepsTheRestOfItsMode) {
    testsupport::ProgramEnvironment env;
    const QString file = env.Dir() + QStringLiteral("/KS_SANDS.MDB");
    QFile(file).open(QIODevice::WriteOnly);
    struct Case {
        QString path;
        mode_t before;
        bool result;
        mode_t after;
    };
    const std::vector<Case> cases = {
        {file, 0444, true, 0644},
        {file, 0550, true, 0750},
        {env.Dir() + QStringLiteral("/KS_sands.mdb"), 0444, true, 0644},  // the name in another case
        {env.Dir() + QStringLiteral("/KS.mdb"), 0444, false, 0444},       // no such file
        {env.Dir(), 0444, false, 0444},                                   // a folder
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path.toStdString());
        ::chmod(QFile::encodeName(file).constData(), c.before);
        EXPECT_EQ(setup::ClearFileAttributes(c.path), c.result);
        EXPECT_EQ(ModeOf(file), c.after);
    }
}

TEST(Drives, TheSystemsDrivesAreFoldersWithoutPseudoFileSystems) {
    UseSystemDrives();
    const std::vector<Drive> drives = GetDrives();

    ASSERT_FALSE(drives.empty());
    for (const Drive& drive : drives) {
        EXPECT_TRUE(drive.root.endsWith(QLatin1Char('/'))) << drive.root.toStdString();
        EXPECT_TRUE(QFileInfo(drive.root).isDir()) << drive.root.toStdString();
        EXPECT_FALSE(drive.root == QStringLiteral("/proc/") || drive.root == QStringLiteral("/sys/") ||
                     drive.root.startsWith(QStringLiteral("/sys/fs/cgroup")))
            << drive.root.toStdString();
        EXPECT_EQ(GetDriveType(drive.root), drive.type);
    }
    EXPECT_EQ(DriveRootOf(QStringLiteral("/")), QStringLiteral("/"));
}

TEST(Drives, TheEnvironmentMayGiveTheDrives) {
    const auto restore = qScopeGuard([] {
        qunsetenv("KESTRANE_DRIVES");
        UseSystemDrives();
    });
    UseSystemDrives();
    qputenv("KESTRANE_DRIVES", "/srv/ks=fixed;/media/cd/=CDROM; /net/share = 4;/bad;/odd=weird");

    const std::vector<Drive> drives = GetDrives();

    ASSERT_EQ(drives.size(), 3u);
    EXPECT_EQ(drives[0].root, QStringLiteral("/srv/ks/"));
    EXPECT_EQ(drives[0].type, kDriveFixed);
    EXPECT_EQ(drives[1].root, QStringLiteral("/media/cd/"));
    EXPECT_EQ(drives[1].type, kDriveCdRom);
    EXPECT_EQ(drives[2].root, QStringLiteral("/net/share/"));
    EXPECT_EQ(drives[2].type, kDriveRemote);
    EXPECT_EQ(GetDriveType(QStringLiteral("/srv/ks/")), kDriveFixed);
    EXPECT_EQ(GetDriveType(QStringLiteral("/srv/ks")), kDriveNoRootDir);
    EXPECT_EQ(DriveRootOf(QStringLiteral("/media/cd/KS Release/KS.MDB")), QStringLiteral("/media/cd/"));
    EXPECT_EQ(DriveRootOf(QStringLiteral("/srv/ks")), QStringLiteral("/srv/ks/"));
    EXPECT_EQ(DriveRootOf(QStringLiteral("/srv/ksx/a")), QString());

    // A test's own list comes first.
    SetDrives({{QStringLiteral("/t"), kDriveRemovable}});
    EXPECT_EQ(GetDrives().size(), 1u);
}

}  // namespace
