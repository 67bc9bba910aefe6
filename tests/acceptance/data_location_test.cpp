// Whole runs of the program whose data goes missing while it waits for the scheduled time: the data-location
// dialog asks at the terminal, and the answer (a folder, or the release CD) lets the run and the next runs
// find their files.
//
// Start-up opens its databases directly, so the files go missing only after its checks: the run is on the
// real clock with the rebuild a few seconds ahead, and the folder goes when "Waiting for ..." shows. The
// queue work then meets the missing users database when it writes its first activity-log line, through
// AdoOpenConnection.
#include "ado/connection.h"
#include "ado/provider.h"
#include "ado/recordset.h"
#include "support/child_process.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>
#include <string>
#include <vector>

#include <poll.h>
#include <pty.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

const QString kProgram = u"KSProcessDisqualificationsQueue"_s;
const QString kAdmin = u"kestrane-admin"_s;
const QString kWorkstation = u"WS-SETUP-01"_s;
constexpr int kRunTimeoutMs = 90000;

// The program on a pseudo-terminal of its own, as a person at a terminal runs it.
class TerminalRun {
public:
    TerminalRun(const QProcessEnvironment& environment, const QString& workingFolder) {
        // Everything the child needs is built before the fork: after it, the child only changes folder and
        // calls execve.
        program_ = QStringLiteral(KESTRANE_BIN_DIR "/").toStdString() + kProgram.toStdString();
        for (const QString& entry : environment.toStringList())
            environment_.push_back(entry.toStdString());
        folder_ = QFile::encodeName(workingFolder).toStdString();
        std::vector<char*> argv = {program_.data(), nullptr};
        std::vector<char*> envp;
        for (std::string& entry : environment_)
            envp.push_back(entry.data());
        envp.push_back(nullptr);
        pid_ = forkpty(&master_, nullptr, nullptr, nullptr);
        if (pid_ == 0) {
            if (chdir(folder_.c_str()) != 0)
                _exit(126);
            execve(argv[0], argv.data(), envp.data());
            _exit(127);
        }
        EXPECT_GT(pid_, 0) << "forkpty failed";
    }
    ~TerminalRun() {
        if (pid_ > 0 && !finished_) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        if (master_ >= 0)
            close(master_);
    }

    // Reads until text shows after what was already taken; true when it did. Moves past it.
    bool WaitFor(const QString& text, int timeoutMs = kRunTimeoutMs) {
        const QDeadlineTimer deadline(timeoutMs);
        for (;;) {
            const qsizetype at = output_.indexOf(text, mark_);
            if (at >= 0) {
                mark_ = at + text.size();
                return true;
            }
            if (!ReadSome(deadline))
                return false;
        }
    }
    void Type(const QByteArray& line) {
        const QByteArray typed = line + '\n';
        EXPECT_EQ(write(master_, typed.constData(), typed.size()), typed.size());
    }
    // Reads to the end, answering the dialog's prompts with folderAnswer and every message box with its
    // default button; returns the exit status (-1 when the program did not end by itself).
    int Finish(const QByteArray& folderAnswer) {
        const QDeadlineTimer deadline(kRunTimeoutMs);
        static const QRegularExpression kBoxPrompt(QStringLiteral("\\? \\[[A-Za-z]+\\] $"));
        for (;;) {
            const QString pending = output_.mid(mark_);
            if (pending.endsWith(QStringLiteral("Folder? ")) ||
                pending.endsWith(QStringLiteral("Folder? [ok] "))) {
                mark_ = output_.size();
                ++folderPrompts_;
                Type(folderAnswer);
            } else if (kBoxPrompt.match(pending).hasMatch()) {
                mark_ = output_.size();
                Type(QByteArray());
            }
            if (!ReadSome(deadline))
                break;
        }
        if (deadline.hasExpired()) {
            ADD_FAILURE() << "the program did not end; it wrote: " << output_.toStdString();
            kill(pid_, SIGKILL);
        }
        int status = 0;
        finished_ = waitpid(pid_, &status, 0) == pid_;
        return finished_ && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    const QString& Output() const { return output_; }
    int FolderPrompts() const { return folderPrompts_; }

private:
    // Reads what the program wrote; false at its end or at the deadline.
    bool ReadSome(const QDeadlineTimer& deadline) {
        pollfd fd{master_, POLLIN, 0};
        if (poll(&fd, 1, static_cast<int>(std::max<qint64>(deadline.remainingTime(), 0))) <= 0)
            return false;
        char buffer[4096];
        const ssize_t n = read(master_, buffer, sizeof buffer);
        if (n <= 0)
            return false;  // EIO once the program has closed the terminal
        output_ += QString::fromUtf8(buffer, n).remove(u'\r');
        return true;
    }

    std::string program_;
    std::string folder_;
    std::vector<std::string> environment_;
    pid_t pid_ = -1;
    int master_ = -1;
    bool finished_ = false;
    QString output_;
    qsizetype mark_ = 0;
    int folderPrompts_ = 0;
};

class DataLocationRunTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(temp_.isValid());
        configHome_ = temp_.filePath(u"config"_s);
        ado::provider::RegisterBuiltInProviders();
    }
    void TearDown() override { ado::ClearConnectionPool(); }

    // The environment of a run on the real clock.
    QProcessEnvironment RealClockEnvironment() const {
        QProcessEnvironment environment = testsupport::ChildEnvironment(configHome_);
        environment.remove(u"KESTRANE_VIRTUAL_CLOCK"_s);
        return environment;
    }
    void Admin(const QStringList& arguments) {
        const testsupport::ChildResult result =
            testsupport::RunBinary(kAdmin, arguments, testsupport::ChildEnvironment(configHome_));
        ASSERT_EQ(result.exitCode, 0) << arguments.join(u' ').toStdString() << "\n"
                                      << result.err.toStdString();
    }
    // A product database in dataPath with this workstation, one user, a client request in the queue and the
    // rebuild scheduled a few seconds ahead; the settings name the folder.
    void MakeScheduledData(const QString& dataPath) {
        Admin({u"init"_s, u"--data-path"_s, dataPath});
        Admin({u"configure"_s, u"--data-path"_s, dataPath, u"--workstation"_s, kWorkstation});
        Admin({u"add-user"_s, u"planner"_s});
        Admin({u"add-workstation"_s, kWorkstation});
        Admin({u"enqueue"_s, u"client"_s, u"1"_s, u"--force"_s});
        Admin({u"schedule"_s, u"--user"_s, u"1"_s, u"--in"_s, u"3"_s});
    }
    QString SettingsText(const QString& application) const {
        QFile file(configHome_ + u"/Kestrane/"_s + application + u".ini"_s);
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }
    // The number of rows that a query on the embedded database file counts.
    static int Count(const QString& file, const QString& sql) {
        ado::Connection connection;
        connection.Open(u"Provider=Microsoft.Jet.OLEDB.4.0;Data Source="_s + file + u";"_s);
        ado::Recordset rows;
        rows.Open(sql, connection);
        const int count = rows.Fields(u"n"_s).ToLong();
        rows.Close();
        connection.Close();
        ado::ClearConnectionPool();
        return count;
    }

    QTemporaryDir temp_;
    QString configHome_;
};

TEST_F(DataLocationRunTest, AMovedDataFolderIsAskedForAtTheTerminalAndFound) {
    const QString dataPath = temp_.filePath(u"data"_s) + u'/';
    const QString movedPath = temp_.filePath(u"moved/data"_s) + u'/';
    ASSERT_NO_FATAL_FAILURE(MakeScheduledData(dataPath));
    QDir().mkpath(temp_.filePath(u"moved"_s));

    TerminalRun run(RealClockEnvironment(), temp_.path());
    ASSERT_TRUE(run.WaitFor(u"Waiting for "_s)) << run.Output().toStdString();
    ASSERT_TRUE(QDir().rename(dataPath, movedPath));
    ASSERT_TRUE(run.WaitFor(u"== Get KS_users.mdb Database Location =="_s)) << run.Output().toStdString();
    ASSERT_TRUE(run.WaitFor(u"Folder? "_s)) << run.Output().toStdString();
    run.Type(movedPath.chopped(1).toUtf8());
    run.Finish(movedPath.toUtf8());
    const QString firstRun = run.Output();

    EXPECT_TRUE(SettingsText(u"KS"_s).contains(u"KS Data Path="_s + movedPath))
        << SettingsText(u"KS"_s).toStdString();
    EXPECT_GE(Count(movedPath + u"KS_users.mdb"_s,
                    u"SELECT COUNT(*) AS n FROM [Activity Log] WHERE Notes LIKE '% began at %'"_s),
              1)
        << firstRun.toStdString();
    EXPECT_FALSE(QFileInfo::exists(dataPath));

    // The main database of the run was opened with the folder of its start, so the queue may have stopped
    // there; the next run reads the new settings and works the queue off.
    const testsupport::ChildResult next =
        testsupport::RunBinary(kProgram, {}, testsupport::ChildEnvironment(configHome_));
    EXPECT_EQ(next.exitCode, 0) << next.out.toStdString() << next.err.toStdString();
    EXPECT_EQ(Count(movedPath + u"KS.mdb"_s, u"SELECT COUNT(*) AS n FROM Disqualifications_Queue"_s), 0)
        << firstRun.toStdString() << "\n--\n"
        << next.out.toStdString();
    EXPECT_EQ(Count(movedPath + u"KS.mdb"_s,
                    u"SELECT COUNT(*) AS n FROM [Parameters] WHERE Next_Disqualifications_Rebuild IS NULL"_s),
              1);
}

TEST_F(DataLocationRunTest, WithoutATerminalTheDialogTakesItsCancelPathAndTheRunEnds) {
    const QString dataPath = temp_.filePath(u"data"_s) + u'/';
    ASSERT_NO_FATAL_FAILURE(MakeScheduledData(dataPath));

    QProcess run;
    run.setProcessEnvironment(RealClockEnvironment());
    run.setStandardInputFile(QProcess::nullDevice());
    run.start(QStringLiteral(KESTRANE_BIN_DIR "/") + kProgram);
    QByteArray out;
    const QDeadlineTimer deadline(kRunTimeoutMs);
    while (!out.contains("Waiting for ") && run.waitForReadyRead(static_cast<int>(deadline.remainingTime())))
        out += run.readAllStandardOutput();
    ASSERT_TRUE(out.contains("Waiting for ")) << out.toStdString();
    ASSERT_TRUE(QDir().rename(dataPath, temp_.filePath(u"elsewhere"_s)));
    const bool finished = run.waitForFinished(kRunTimeoutMs);
    if (!finished)
        run.kill();
    const QString err = QString::fromLocal8Bit(run.readAllStandardError());

    ASSERT_TRUE(finished) << err.toStdString();
    EXPECT_EQ(run.exitCode(), 2) << err.toStdString();
    EXPECT_TRUE(
        err.contains(u"== Halvermoor Software Solutions Setup (critical) ==\n"_s
                     u"This must be set up before you may use the application.\n-> OK (no terminal)"_s))
        << err.toStdString();
}

TEST_F(DataLocationRunTest, AnEmptiedWorkstationIsInstalledFromTheReleaseCdAndRunsItsQueue) {
    // The workstation's data lives in the product's folder of the fixed tree on drive "c".
    const QString drive = temp_.filePath(u"c"_s) + u'/';
    const QString medium = temp_.filePath(u"cd"_s) + u'/';
    const QString productFolder = drive + u"Halvermoor Software/KS/"_s;
    const QString systemFolder = drive + u"Halvermoor Software/ZO/"_s;
    ASSERT_NO_FATAL_FAILURE(MakeScheduledData(productFolder));
    // The release medium carries the same data, named in capitals and read-only.
    const QString release = medium + kProgram + u" Release/"_s;
    QDir().mkpath(release + u"KS Initialized Data Files"_s);
    QDir().mkpath(release + u"ZO Initialized Data Files"_s);
    const std::vector<std::pair<QString, QString>> burnt = {
        {productFolder + u"KS.mdb"_s, release + u"KS Initialized Data Files/KS.MDB"_s},
        {productFolder + u"KS_users.mdb"_s, release + u"KS Initialized Data Files/KS_USERS.MDB"_s},
        {productFolder + u"KS_sands.mdb"_s, release + u"KS Initialized Data Files/KS_SANDS.MDB"_s},
        {productFolder + u"KS_lists.mdb"_s, release + u"ZO Initialized Data Files/HVSYS.MDB"_s}};
    for (const auto& [from, to] : burnt) {
        ASSERT_TRUE(QFile::copy(from, to)) << to.toStdString();
        ::chmod(QFile::encodeName(to).constData(), 0444);
    }
    QProcessEnvironment environment = RealClockEnvironment();
    environment.insert(u"KESTRANE_DRIVES"_s, drive + u"=fixed;"_s + medium + u"=cdrom"_s);

    TerminalRun run(environment, drive);
    ASSERT_TRUE(run.WaitFor(u"Waiting for "_s)) << run.Output().toStdString();
    ASSERT_TRUE(QDir(drive + u"Halvermoor Software"_s).removeRecursively());
    ASSERT_TRUE(run.WaitFor(u"Folder? "_s)) << run.Output().toStdString();
    run.Type("cd");
    ASSERT_TRUE(
        run.WaitFor(u"Insert your KSProcessDisqualificationsQueue release CD into your computer now."_s))
        << run.Output().toStdString();
    const int status = run.Finish("cancel");

    EXPECT_EQ(status, 0) << run.Output().toStdString();
    EXPECT_EQ(run.FolderPrompts(), 0) << run.Output().toStdString();
    for (const QString& file : {productFolder + u"KS.mdb"_s, productFolder + u"KS_users.mdb"_s,
                                productFolder + u"KS_sands.mdb"_s, systemFolder + u"HVSYS.MDB"_s}) {
        EXPECT_TRUE(QFileInfo(file).isFile()) << file.toStdString();
        EXPECT_TRUE(QFileInfo(file).isWritable()) << file.toStdString();
    }
    EXPECT_TRUE(SettingsText(u"KS"_s).contains(u"KS Data Path="_s + productFolder));
    EXPECT_TRUE(SettingsText(u"ZO"_s).contains(u"ZO Data Path="_s + systemFolder));
    EXPECT_GE(Count(productFolder + u"KS_users.mdb"_s,
                    u"SELECT COUNT(*) AS n FROM [Activity Log] WHERE Notes LIKE '% began at %'"_s),
              1);

    // The queue is worked off on the installed files, by this run or, where it still held the files of its
    // start open, by the next one.
    const testsupport::ChildResult next =
        testsupport::RunBinary(kProgram, {}, testsupport::ChildEnvironment(configHome_));
    EXPECT_EQ(next.exitCode, 0) << next.out.toStdString() << next.err.toStdString();
    EXPECT_EQ(Count(productFolder + u"KS.mdb"_s, u"SELECT COUNT(*) AS n FROM Disqualifications_Queue"_s), 0)
        << run.Output().toStdString() << "\n--\n"
        << next.out.toStdString();
    EXPECT_GE(Count(productFolder + u"KS_users.mdb"_s,
                    u"SELECT COUNT(*) AS n FROM [Activity Log] WHERE Notes LIKE '% finished at %'"_s),
              1);
}

}  // namespace
