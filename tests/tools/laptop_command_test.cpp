// kestrane-admin laptop, run as a person runs it: without a terminal it closes the window without OK; at a
// terminal it asks, refreshes the local copies when told to, and prints where the data now is.
#include "admin_fixture.h"

#include "platform/settings.h"
#include "support/terminal_process.h"

#include <QDir>
#include <QFile>

#include <fcntl.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

using LaptopCommandTest = admintest::AdminTest;

// The contents of the files in folder, in name order: each file of the remote folder holds its own name.
QString Contents(const QString& folder) {
    QStringList contents;
    for (const QString& name : QDir(folder).entryList(QDir::Files)) {
        QFile file(folder + name);
        contents << (file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : name + u"?"_s);
    }
    return contents.join(u", "_s);
}

TEST_F(LaptopCommandTest, AsksAtATerminalRefreshesAndReports) {
    const QString remote = temp_.filePath(u"remote"_s) + u'/';
    const QString local = temp_.filePath(u"local"_s) + u'/';
    ASSERT_TRUE(QDir().mkpath(remote));
    for (const QString& name : {u"KS.mdb"_s, u"KS_users.mdb"_s, u"KS_lists.mdb"_s, u"KS_sands.mdb"_s}) {
        QFile file(remote + name);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(name.toUtf8());
    }
    platform::SaveSetting(u"KS"_s, u"Data"_s, u"KS Data Path"_s, local);
    platform::SaveSetting(u"KS"_s, u"Data"_s, u"Remote KS Data Path"_s, remote);
    struct Case {
        const char* what;
        const char* typed;  // nullptr: no terminal
        bool busyMain;      // another program holds the remote main file locked
        int exitCode;
        QString report;  // the last lines; empty when the program ended before reporting
        QString copies;
    };
    // clang-format off
    const Case cases[] = {
        {"no terminal", nullptr, false, 0, u"Data path: <local>\nLocal data used: no\n"_s, QString()},
        {"local with a refresh", "local\nyes\n", false, 0, u"Data path: <local>\nLocal data used: yes\n"_s,
         u"KS.mdb, KS_sands.mdb, KS_users.mdb"_s},
        {"remote without a refresh", "r\nn\n", false, 0, u"Data path: <remote>\nLocal data used: no\n"_s, QString()},
        {"a busy file, then Cancel", "l\ny\ncancel\n", true, 2, QString(), QString()},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QDir(local).removeRecursively();
        ASSERT_TRUE(QDir().mkpath(local));
        const int lock =
            c.busyMain ? ::open(QFile::encodeName(remote + u"KS.mdb"_s).constData(), O_RDWR) : -1;
        struct flock range {};
        range.l_type = F_WRLCK;
        ASSERT_TRUE(lock < 0 || ::fcntl(lock, F_OFD_SETLK, &range) == 0);

        const testsupport::ChildResult result =
            c.typed
                ? testsupport::RunBinaryOnTerminal(u"kestrane-admin"_s, {u"laptop"_s}, environment_, c.typed)
                : Admin({u"laptop"_s});
        ::close(lock);

        EXPECT_EQ(result.exitCode, c.exitCode) << result.out.toStdString() << result.err.toStdString();
        EXPECT_EQ(result.out.contains(u"Select Directory: (Remote, Local, Cancel) [Remote]"_s),
                  c.typed != nullptr)
            << result.out.toStdString();
        const QString report = QString(c.report).replace(u"<local>"_s, local).replace(u"<remote>"_s, remote);
        EXPECT_TRUE(report.isEmpty() ? !result.out.contains(u"Data path:"_s) : result.out.endsWith(report))
            << result.out.toStdString();
        EXPECT_EQ(result.out.contains(u"File cannot be copied because it is in use."_s), c.busyMain)
            << result.out.toStdString();
        EXPECT_EQ(Contents(local), c.copies);
    }
}

}  // namespace
