// The shell copy and the plain copy on real files.
#include "platform/shell_copy.h"
#include "platform/file_copy.h"
#include "platform/msgbox.h"
#include "platform/runtime_error.h"
#include "support/program_environment.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <functional>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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

// A source larger than one chunk of the copy, so that progress is shown on the way.
QByteArray LargeContents() {
    QByteArray data;
    for (int i = 0; i < (3 << 20) / 16; ++i)
        data += QByteArray::number(i).rightJustified(16, '.');
    return data;
}

class ShellCopyTest : public ::testing::Test {
protected:
    testsupport::ProgramEnvironment env_;
};

// Catches a wrong result, a target replaced unasked or against a No, or a temporary file left behind.
TEST_F(ShellCopyTest, ResultsForEachCase) {
    const QByteArray large = LargeContents();
    // The source ("": none; "<folder>": a folder), the target ("": none; "<in the way>": a file where its
    // folder should be), the answers to the replace question, the result (-1: any failure), the target after.
    // clang-format off
    const struct { const char* name; QByteArray source, target; std::deque<int> answers; int result;
                   QByteArray targetAfter; } cases[] = {
        {"into a missing folder", large, "", {}, kShellCopyOk, large},
        {"replacing a file when the user says Yes", "new", "old", {vbYes}, kShellCopyOk, "new"},
        {"not replacing when the user says No", "new", "old", {vbNo}, kShellCopyCancelled, "old"},
        {"a missing source", "", "", {}, ENOENT, "<missing>"},
        {"a folder as the source", "<folder>", "", {}, EISDIR, "<missing>"},
        {"a target folder that is a file", "data", "<in the way>", {}, -1, "<missing>"},
    };
    // clang-format on
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const QString dir = env_.Dir() + QStringLiteral("/case%1/").arg(n++);
        const QString source = dir + QStringLiteral("from/KS.MDB");
        const QString target = dir + QStringLiteral("to/deep/KS.mdb");
        if (c.source == "<folder>")
            QDir().mkpath(source);
        else if (!c.source.isEmpty())
            Write(source, c.source);
        if (c.target == "<in the way>")
            Write(QFileInfo(target).path(), "in the way");
        else if (!c.target.isEmpty())
            Write(target, c.target);
        auto answers = std::make_shared<ScriptedAnswerer>(c.answers);
        SetMessageBoxAnswerer(answers);
        const int result = ShellCopyFile(source, target);
        if (c.result >= 0)
            EXPECT_EQ(result, c.result);
        else
            EXPECT_TRUE(result != kShellCopyOk && result != kShellCopyCancelled) << result;
        EXPECT_EQ(Contents(target), c.targetAfter);
        EXPECT_EQ(answers->Shown().size(), c.answers.size());  // its text: the set-up and refresh tests
        const QStringList left =
            QDir(QFileInfo(target).path()).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
        EXPECT_LE(left.size(), 1) << left.join(u' ').toStdString();
    }
}

// The run-time error that run raises, as "number description", or "none".
QString Raised(const std::function<void()>& run) {
    try {
        run();
    } catch (const RuntimeError& error) {
        return QString::number(error.Number()) + u' ' + error.Description();
    }
    return QStringLiteral("none");
}

// Catches a copy that does not keep the source's mode and time, a file locked by another program (as a
// database engine) copied anyway or misreported, and the plain copy raising other errors than 53 and 76.
TEST_F(ShellCopyTest, TheCopyKeepsModeAndTimeAndRaisesTheStatementsErrors) {
    const QString source = env_.Dir() + QStringLiteral("/cd/KS.MDB"),
                  target = env_.Dir() + QStringLiteral("/disk/KS.mdb");
    Write(source, "initial data");
    const QDateTime modified = QFileInfo(source).lastModified().addDays(-30);
    QFile file(source);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite) &&
                file.setFileTime(modified, QFileDevice::FileModificationTime));
    file.close();
    ::chmod(QFile::encodeName(source).constData(), 0640);
    ASSERT_EQ(ShellCopyFile(source, target), kShellCopyOk);
    struct stat status {};
    ::stat(QFile::encodeName(target).constData(), &status);
    EXPECT_EQ(status.st_mode & 07777, 0640u);
    EXPECT_EQ(QFileInfo(target).lastModified(), modified);

    Write(source, "new");
    for (const QString& busy : {source, target}) {
        const int fd = ::open(QFile::encodeName(busy).constData(), O_RDWR);
        struct flock lock {};
        lock.l_type = F_WRLCK;
        ASSERT_EQ(::fcntl(fd, F_OFD_SETLK, &lock), 0);
        env_.Answers().Push(vbYes);
        EXPECT_EQ(Raised([&] { ShellCopyFile(source, target); }), QStringLiteral("70 Permission denied"));
        ::close(fd);
        EXPECT_EQ(Contents(target), "initial data");
    }

    const QString plain = env_.Dir() + QStringLiteral("/plain.mdb");
    EXPECT_EQ((QStringList{Raised([&] { FileCopy(source + u'x', plain); }),
                           Raised([&] { FileCopy(source, env_.Dir() + QStringLiteral("/no/folder/x.mdb")); }),
                           Raised([&] { FileCopy(source, plain); })}),
              (QStringList{QStringLiteral("53 File not found"), QStringLiteral("76 Path not found"),
                           QStringLiteral("none")}));
    EXPECT_EQ(Contents(plain), "new");
}

// Catches a stopped copy that goes on, or leaves the target half-written or a temporary file behind.
TEST_F(ShellCopyTest, StoppingTheCopyLeavesTheTargetAsItWas) {
    const QString source = env_.Dir() + QStringLiteral("/KS.MDB"), target = source + QStringLiteral(".copy");
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
