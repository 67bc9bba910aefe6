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
using namespace Qt::StringLiterals;

mode_t ModeOf(const QString& path) {
    struct stat status {};
    ::stat(QFile::encodeName(path).constData(), &status);
    return status.st_mode & 07777;
}

TEST(GetLogicalDriveList, EachRootEndsWithANulAndTheListWithAnother) {
    const auto restore = qScopeGuard([] { UseSystemDrives(); });
    SetDrives({{u"/srv/ks"_s, kDriveFixed}, {u"/media/release disc/"_s, kDriveCdRom}});

    const QString list = setup::GetLogicalDriveList();

    EXPECT_EQ(list, u"/srv/ks/\0/media/release disc/\0\0"_s);
    QStringList walked;
    qsizetype position = 0;
    for (QString root; !(root = setup::NextDriveRoot(list, position)).isEmpty();)
        walked << root;
    EXPECT_EQ(walked, (QStringList{u"/srv/ks/"_s, u"/media/release disc/"_s}));
    SetDrives({});
    EXPECT_EQ(setup::GetLogicalDriveList(), QString());
}

TEST(ClearFileAttributes, MakesAnExistingFileWritableAndKeepsTheRestOfItsMode) {
    testsupport::ProgramEnvironment env;
    const QString file = env.Dir() + u"/KS_SANDS.MDB"_s;
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
        {env.Dir() + u"/KS_sands.mdb"_s, 0444, true, 0644},  // the name in another case
        {env.Dir() + u"/KS.mdb"_s, 0444, false, 0444},       // no such file
        {env.Dir(), 0444, false, 0444},                      // a folder
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
        EXPECT_FALSE(drive.root == u"/proc/"_s || drive.root == u"/sys/"_s ||
                     drive.root.startsWith(u"/sys/fs/cgroup"_s))
            << drive.root.toStdString();
        EXPECT_EQ(GetDriveType(drive.root), drive.type);
    }
    EXPECT_EQ(DriveRootOf(u"/"_s), u"/"_s);
}

TEST(Drives, TheEnvironmentMayGiveTheDrives) {
    const auto restore = qScopeGuard([] {
        qunsetenv("KESTRANE_DRIVES");
        UseSystemDrives();
    });
    UseSystemDrives();
    qputenv("KESTRANE_DRIVES", "/srv/ks=fixed;/media/cd/=CDROM; /net/share = 4;/bad;/odd=weird");

    QStringList drives;
    for (const Drive& drive : GetDrives())
        drives << drive.root + u' ' + QString::number(drive.type);
    EXPECT_EQ(drives, (QStringList{u"/srv/ks/ 3"_s, u"/media/cd/ 5"_s, u"/net/share/ 4"_s}));
    EXPECT_EQ((QStringList{QString::number(GetDriveType(u"/srv/ks/"_s)),
                           QString::number(GetDriveType(u"/srv/ks"_s)),
                           DriveRootOf(u"/media/cd/KS Release/KS.MDB"_s), DriveRootOf(u"/srv/ks"_s),
                           DriveRootOf(u"/srv/ksx/a"_s)}),
              (QStringList{u"3"_s, u"1"_s, u"/media/cd/"_s, u"/srv/ks/"_s, QString()}));

    // A test's own list comes first.
    SetDrives({{u"/t"_s, kDriveRemovable}});
    EXPECT_EQ(GetDrives().size(), 1u);
}

}  // namespace
