// Clearing a file's attributes. (The drive list and its walk serve every case of the drive search.)
#include "setup/generic_tools.h"
#include "support/program_environment.h"

#include <QFile>

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

using namespace Qt::StringLiterals;

mode_t ModeOf(const QString& path) {
    struct stat status {};
    ::stat(QFile::encodeName(path).constData(), &status);
    return status.st_mode & 07777;
}

// Catches a mode other than the file's own with the owner's write added, a name not found in another case,
// and a folder or a missing file reported as cleared.
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
