// The generic file routines: the drive list and its walk, and clearing a file's attributes.
#include "setup/generic_tools.h"
#include "platform/drives.h"
#include "support/program_environment.h"

#include <QFile>
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

}  // namespace
