// kestrane-admin laptop, run as a person runs it: without a terminal it closes the window without OK; at a
// terminal it asks, refreshes the local copies when told to, and prints where the data now is.
#include "platform/settings.h"
#include "support/child_process.h"
#include "support/databases.h"
#include "support/program_environment.h"
#include "support/terminal_process.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <vector>

#include <fcntl.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

const QString kAdmin = u"kestrane-admin"_s;
const QStringList kProductFiles = {u"KS.mdb"_s, u"KS_users.mdb"_s, u"KS_lists.mdb"_s, u"KS_sands.mdb"_s};

class LaptopCommandTest : public ::testing::Test {
protected:
    void SetUp() override {
        remote_ = env_.Dir() + u"/remote/"_s;
        local_ = env_.Dir() + u"/local/"_s;
        ASSERT_TRUE(QDir().mkpath(remote_));
        ASSERT_TRUE(QDir().mkpath(local_));
        for (const QString& name : kProductFiles)
            testsupport::NewJetDatabase(remote_, name);
        platform::SaveSetting(u"KS"_s, u"Data"_s, u"KS Data Path"_s, local_);
        platform::SaveSetting(u"KS"_s, u"Data"_s, u"Remote KS Data Path"_s, remote_);
        environment_ = testsupport::ChildEnvironment(env_.Dir() + u"/config"_s);
    }
    void TearDown() override {
        if (lock_ >= 0)
            ::close(lock_);
    }

    // Another program locks the file, as a database engine does while it works on it.
    void Lock(const QString& file) {
        lock_ = ::open(QFile::encodeName(file).constData(), O_RDWR | O_CLOEXEC);
        ASSERT_GE(lock_, 0);
        struct flock lock {};
        lock.l_type = F_WRLCK;
        lock.l_whence = SEEK_SET;
        ASSERT_EQ(::fcntl(lock_, F_OFD_SETLK, &lock), 0);
    }
    // The local files that are byte for byte the remote ones, in name order.
    QStringList LocalCopies() const {
        QStringList copies;
        for (const QString& name : QDir(local_).entryList(QDir::Files)) {
            QFile local(local_ + name);
            QFile remote(remote_ + name);
            if (local.open(QIODevice::ReadOnly) && remote.open(QIODevice::ReadOnly) &&
                local.readAll() == remote.readAll()) {
                copies << name;
            }
        }
        return copies;
    }

    testsupport::ProgramEnvironment env_;
    QProcessEnvironment environment_;
    QString remote_;
    QString local_;
    int lock_ = -1;
};

TEST_F(LaptopCommandTest, WithoutTerminalClosesWithoutOk) {
    const testsupport::ChildResult result = testsupport::RunBinary(kAdmin, {u"laptop"_s}, environment_);

    EXPECT_EQ(result.exitCode, 0) << qPrintable(result.err);
    EXPECT_EQ(result.OutLines(), QStringList({u"Data path: "_s + local_, u"Local data used: no"_s}))
        << qPrintable(result.out);
    EXPECT_TRUE(QDir(local_).entryList(QDir::Files).isEmpty());
}

struct TerminalCase {
    const char* what;
    QByteArray typed;
    bool busyMainFile;
    int exitCode;
    QString report;  // the last lines; empty when the program ended before reporting
    QString copies;
};

TEST_F(LaptopCommandTest, AtTerminalAsksRefreshesAndReports) {
    const std::vector<TerminalCase> cases = {
        {"local with a refresh", "local\nyes\n", false, 0, u"Data path: <local>\nLocal data used: yes\n"_s,
         u"KS.mdb, KS_sands.mdb, KS_users.mdb"_s},
        {"remote without a refresh", "r\nn\n", false, 0, u"Data path: <remote>\nLocal data used: no\n"_s,
         QString()},
        {"a busy file, then Cancel", "l\ny\ncancel\n", true, 2, QString(), QString()},
    };
    for (const TerminalCase& c : cases) {
        SCOPED_TRACE(c.what);
        QDir(local_).removeRecursively();
        QDir().mkpath(local_);
        if (c.busyMainFile)
            Lock(remote_ + u"KS.mdb"_s);

        const testsupport::ChildResult result =
            testsupport::RunBinaryOnTerminal(kAdmin, {u"laptop"_s}, environment_, c.typed);

        EXPECT_EQ(result.exitCode, c.exitCode) << qPrintable(result.out);
        EXPECT_TRUE(result.out.contains(u"Select Directory: (Remote, Local, Cancel) [Remote]"_s))
            << qPrintable(result.out);
        QString report = c.report;
        report.replace(u"<local>"_s, local_).replace(u"<remote>"_s, remote_);
        if (report.isEmpty()) {
            EXPECT_FALSE(result.out.contains(u"Data path:"_s)) << qPrintable(result.out);
        } else {
            EXPECT_TRUE(result.out.endsWith(report)) << qPrintable(result.out);
        }
        EXPECT_EQ(result.out.contains(u"File cannot be copied because it is in use."_s), c.busyMainFile)
            << qPrintable(result.out);
        EXPECT_EQ(LocalCopies().join(u", "_s), c.copies);
        if (lock_ >= 0)
            ::close(lock_);
        lock_ = -1;
    }
}

}  // namespace
