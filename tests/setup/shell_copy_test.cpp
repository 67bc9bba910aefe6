// The shell copy and the plain copy on real files: results, the replace question, the folder made for the
// target, busy files, and a target that is never left half-written.
#include "platform/shell_copy.h"
#include "platform/file_copy.h"
#include "platform/msgbox.h"
#include "platform/runtime_error.h"
#include "support/program_environment.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>

namespace {

using namespace platform;

QByteArray Contents(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

void Write(const QString& path, const QByteArray& contents) {
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
    file.write(contents);
}

mode_t ModeOf(const QString& path) {
    struct stat status {};
    ::stat(QFile::encodeName(path).constData(), &status);
    return status.st_mode & 07777;
}

// A source larger than one chunk of the copy, so that progress is shown on the way.
QByteArray LargeContents() {
    QByteArray data;
    for (int i = 0; i < (3 << 20) / 16; ++i)
        data += QByteArray::number(i).rightJustified(16, '.');
    return data;
}

struct Paths {
    QString source;
    QString target;
};

struct CopyCase {
    const char* name;
    std::function<void(const Paths&)> prepare;
    std::deque<int> answers;
    int result;
    QByteArray targetAfter;  // "<missing>" when there is none
    int questions;           // replace questions asked
};

class ShellCopyTest : public ::testing::Test {
protected:
    testsupport::ProgramEnvironment env_;
};

TEST_F(ShellCopyTest, ResultsForEachCase) {
    const QByteArray large = LargeContents();
    const std::vector<CopyCase> cases = {
        {"into a missing folder",
         [&](const Paths& p) { Write(p.source, large); },
         {},
         kShellCopyOk,
         large,
         0},
        {"replacing a file when the user says Yes",
         [](const Paths& p) {
             Write(p.source, "new");
             Write(p.target, "old");
         },
         {vbYes},
         kShellCopyOk,
         "new",
         1},
        {"not replacing when the user says No",
         [](const Paths& p) {
             Write(p.source, "new");
             Write(p.target, "old");
         },
         {vbNo},
         kShellCopyCancelled,
         "old",
         1},
        {"a missing source", [](const Paths&) {}, {}, ENOENT, "<missing>", 0},
        {"a folder as the source",
         [](const Paths& p) { QDir().mkpath(p.source); },
         {},
         EISDIR,
         "<missing>",
         0},
        {"a target folder that is a file",
         [](const Paths& p) {
             Write(p.source, "data");
             Write(QFileInfo(p.target).path(), "in the way");
         },
         {},
         -1,
         "<missing>",
         0},
    };
    int n = 0;
    for (const CopyCase& c : cases) {
        SCOPED_TRACE(c.name);
        const QString dir = env_.Dir() + QStringLiteral("/case%1/").arg(n++);
        const Paths paths{dir + QStringLiteral("from/KS.MDB"), dir + QStringLiteral("to/deep/KS.mdb")};
        c.prepare(paths);
        auto answers = std::make_shared<ScriptedAnswerer>(c.answers);
        SetMessageBoxAnswerer(answers);

        const int result = ShellCopyFile(paths.source, paths.target);

        if (c.result < 0) {
            EXPECT_NE(result, kShellCopyOk);
            EXPECT_NE(result, kShellCopyCancelled);
        } else {
            EXPECT_EQ(result, c.result);
        }
        EXPECT_EQ(Contents(paths.target), c.targetAfter);
        EXPECT_EQ(static_cast<int>(answers->Shown().size()), c.questions);
        for (const MessageBoxRequest& box : answers->Shown()) {
            EXPECT_EQ(box.buttons, vbYesNo + vbQuestion);
            EXPECT_TRUE(box.text.contains(QStringLiteral("named 'KS.mdb'"))) << box.text.toStdString();
        }
        // Nothing but the target is left in its folder.
        const QStringList left =
            QDir(QFileInfo(paths.target).path()).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
        EXPECT_LE(left.size(), 1) << left.join(QLatin1Char(' ')).toStdString();
    }
}

TEST_F(ShellCopyTest, TheCopyKeepsTheSourcesModeAndTime) {
    const QString source = env_.Dir() + QStringLiteral("/cd/KS.MDB");
    const QString target = env_.Dir() + QStringLiteral("/disk/KS.mdb");
    Write(source, "initial data");
    const QDateTime modified = QFileInfo(source).lastModified().addDays(-30);
    QFile file(source);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    ASSERT_TRUE(file.setFileTime(modified, QFileDevice::FileModificationTime));
    file.close();
    ::chmod(QFile::encodeName(source).constData(), 0444);

    ASSERT_EQ(ShellCopyFile(source, target), kShellCopyOk);

    EXPECT_EQ(ModeOf(target), 0444u);
    EXPECT_EQ(QFileInfo(target).lastModified(), modified);
}

// An open file with a lock on it, as a program that works on the file holds it.
class HeldFile {
public:
    explicit HeldFile(const QString& path) : fd_(::open(QFile::encodeName(path).constData(), O_RDWR)) {
        struct flock lock {};
        lock.l_type = F_WRLCK;
        lock.l_whence = SEEK_SET;
        EXPECT_EQ(::fcntl(fd_, F_OFD_SETLK, &lock), 0) << path.toStdString();
    }
    ~HeldFile() { ::close(fd_); }

private:
    int fd_;
};

TEST_F(ShellCopyTest, ABusySourceOrTargetRaisesPermissionDenied) {
    const QString source = env_.Dir() + QStringLiteral("/cd/KS.MDB");
    const QString target = env_.Dir() + QStringLiteral("/disk/KS.mdb");
    Write(source, "new");
    Write(target, "old");
    for (const QString& busy : {source, target}) {
        SCOPED_TRACE(busy.toStdString());
        HeldFile held(busy);
        env_.Answers().Push(vbYes);
        try {
            ShellCopyFile(source, target);
            ADD_FAILURE() << "no error raised";
        } catch (const RuntimeError& error) {
            EXPECT_EQ(error.Number(), kErrPermissionDenied);
            EXPECT_EQ(error.Description(), QStringLiteral("Permission denied"));
        }
        EXPECT_EQ(Contents(target), "old");
    }
}

TEST_F(ShellCopyTest, ThePlainCopyRaisesTheStatementsErrors) {
    const QString source = env_.Dir() + QStringLiteral("/cd/KS.MDB");
    Write(source, "data");
    struct Case {
        QString source;
        QString target;
        int number;
    };
    const std::vector<Case> cases = {
        {env_.Dir() + QStringLiteral("/cd/none.mdb"), env_.Dir() + QStringLiteral("/x.mdb"), 53},
        {source, env_.Dir() + QStringLiteral("/no/folder/x.mdb"), 76},
    };
    for (const Case& c : cases) {
        try {
            FileCopy(c.source, c.target);
            ADD_FAILURE() << "no error for " << c.target.toStdString();
        } catch (const RuntimeError& error) {
            EXPECT_EQ(error.Number(), c.number);
        }
    }
    FileCopy(source, env_.Dir() + QStringLiteral("/plain.mdb"));
    EXPECT_EQ(Contents(env_.Dir() + QStringLiteral("/plain.mdb")), "data");
}

TEST_F(ShellCopyTest, StoppingTheCopyLeavesTheTargetAsItWas) {
    const QString source = env_.Dir() + QStringLiteral("/KS.MDB");
    const QString target = env_.Dir() + QStringLiteral("/KS.mdb.copy");
    Write(source, LargeContents());
    Write(target, "old");
    int chunks = 0;

    const int result = CopyFileInChunks(source, target, [&](int64_t copied, int64_t total) {
        ++chunks;
        EXPECT_LT(copied, total);
        return false;
    });

    EXPECT_EQ(result, ECANCELED);
    EXPECT_EQ(chunks, 1);
    EXPECT_EQ(Contents(target), "old");
    EXPECT_EQ(QDir(env_.Dir()).entryList(QDir::Files | QDir::Hidden).size(), 2);
}

}  // namespace
