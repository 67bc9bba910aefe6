// The drives: the system's mounted file systems, or those the environment or a test gives.
#include "platform/drives.h"
#include "scoped_environment.h"

#include <QFileInfo>
#include <QScopeGuard>

#include <gtest/gtest.h>

namespace {

using namespace platform;
using namespace Qt::StringLiterals;

// Catches pseudo file systems listed, roots without their "/", types or roots that disagree with the list,
// an environment list misread, and a test's own list not coming first.
TEST(Drives, TheSystemOrTheEnvironmentOrATestGivesTheDrives) {
    const auto restore = qScopeGuard([] { UseSystemDrives(); });
    UseSystemDrives();
    const std::vector<Drive> system = GetDrives();
    ASSERT_FALSE(system.empty());
    for (const Drive& drive : system) {
        SCOPED_TRACE(drive.root.toStdString());
        EXPECT_TRUE(drive.root.endsWith(u'/') && QFileInfo(drive.root).isDir());
        EXPECT_FALSE(drive.root == u"/proc/"_s || drive.root == u"/sys/"_s ||
                     drive.root.startsWith(u"/sys/fs/cgroup"_s));
        EXPECT_EQ(GetDriveType(drive.root), drive.type);
    }
    EXPECT_EQ(DriveRootOf(u"/"_s), u"/"_s);

    const ScopedEnvironment drives("KESTRANE_DRIVES",
                                   "/srv/ks=fixed;/media/cd/=CDROM; /net/share = 4;/bad;/odd=weird");
    QStringList listed;
    for (const Drive& drive : GetDrives())
        listed << drive.root + u' ' + QString::number(drive.type);
    EXPECT_EQ(listed, (QStringList{u"/srv/ks/ 3"_s, u"/media/cd/ 5"_s, u"/net/share/ 4"_s}));
    EXPECT_EQ((QStringList{QString::number(GetDriveType(u"/srv/ks/"_s)),
                           QString::number(GetDriveType(u"/srv/ks"_s)),
                           DriveRootOf(u"/media/cd/KS Release/KS.MDB"_s), DriveRootOf(u"/srv/ks"_s),
                           DriveRootOf(u"/srv/ksx/a"_s)}),
              (QStringList{u"3"_s, u"1"_s, u"/media/cd/"_s, u"/srv/ks/"_s, QString()}));
    SetDrives({{u"/t"_s, kDriveRemovable}});
    EXPECT_EQ(GetDrives().size(), 1u);
}

}  // namespace
