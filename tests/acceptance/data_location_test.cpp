// Whole runs whose data goes missing while they wait for the scheduled time: the data-location dialog asks at
// the terminal, and the answer (a folder, or the release CD) lets the run and the next runs find their files.
// Start-up opens its databases directly, so the files go only after its checks: the run is on the real clock
// with the rebuild a few seconds ahead, and the folder goes when "Waiting for ..." shows. The queue work meets
// the missing users database at its first activity-log line, through AdoOpenConnection.
#include "ado/connection.h"
#include "ado/provider.h"
#include "support/child_process.h"
#include "support/query_rows.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace Qt::StringLiterals;

namespace {

const QString kProgram = u"KSProcessDisqualificationsQueue"_s;
constexpr int kRunTimeoutMs = 90000;

// The program on a terminal of its own (script(1) gives it one), as a person at a terminal runs it.
class TerminalRun {
public:
    TerminalRun(const QProcessEnvironment& environment, const QString& workingFolder) {
        process_.setProcessEnvironment(environment);
        process_.setWorkingDirectory(workingFolder);
        process_.start(u"script"_s, {u"-qfec"_s, QStringLiteral(KESTRANE_BIN_DIR "/") + kProgram, u"/dev/null"_s});
    }
    ~TerminalRun() {
        process_.kill();
        process_.waitForFinished();
    }
    // Reads until text shows after what was already taken; true when it did. Moves past it.
    bool WaitFor(const QString& text) {
        for (const QDeadlineTimer deadline(kRunTimeoutMs);;) {
            const qsizetype at = output_.indexOf(text, mark_);
            if (at >= 0) {
                mark_ = at + text.size();
                return true;
            }
            if (!ReadSome(deadline))
                return false;
        }
    }
    void Type(const QByteArray& line) { process_.write(line + '\n'); }
    // Reads to the end, answering the dialog's prompts with folderAnswer and every message box with its default
    // button; returns the exit status (-1 when the program did not end by itself).
    int Finish(const QByteArray& folderAnswer) {
        static const QRegularExpression kBoxPrompt(u"\\? \\[[A-Za-z]+\\] $"_s);
        const QDeadlineTimer deadline(kRunTimeoutMs);
        do {
            const QString pending = output_.mid(mark_);
            const bool folder = pending.endsWith(u"Folder? "_s) || pending.endsWith(u"Folder? [ok] "_s);
            if (folder || kBoxPrompt.match(pending).hasMatch()) {
                mark_ = output_.size();
                folderPrompts_ += folder ? 1 : 0;
                Type(folder ? folderAnswer : QByteArray());
            }
        } while (ReadSome(deadline));
        EXPECT_FALSE(deadline.hasExpired()) << "the program did not end; it wrote: " << output_.toStdString();
        process_.waitForFinished(1000);  // false when it had already ended
        return process_.state() == QProcess::NotRunning && process_.exitStatus() == QProcess::NormalExit
                   ? process_.exitCode()
                   : -1;
    }
    const QString& Output() const { return output_; }
    int FolderPrompts() const { return folderPrompts_; }

private:
    // Reads what the program wrote; false at its end or at the deadline.
    bool ReadSome(const QDeadlineTimer& deadline) {
        if (process_.bytesAvailable() == 0 && !process_.waitForReadyRead(int(deadline.remainingTime())))
            return false;
        output_ += QString::fromUtf8(process_.readAll()).remove(u'\r');
        return true;
    }

    QProcess process_;
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
        realClock_ = testsupport::ChildEnvironment(configHome_);
        realClock_.remove(u"KESTRANE_VIRTUAL_CLOCK"_s);
    }
    void TearDown() override { ado::ClearConnectionPool(); }

    void Admin(const QStringList& arguments) {
        const testsupport::ChildResult result =
            testsupport::RunBinary(u"kestrane-admin"_s, arguments, testsupport::ChildEnvironment(configHome_));
        ASSERT_EQ(result.exitCode, 0) << arguments.join(u' ').toStdString() << "\n" << result.err.toStdString();
    }
    // The product's databases in dataPath, named in the settings, with this workstation, one user, a client
    // request queued and the rebuild scheduled a few seconds ahead.
    void MakeScheduledData(const QString& dataPath) {
        Admin({u"init"_s, u"--data-path"_s, dataPath});
        Admin({u"configure"_s, u"--data-path"_s, dataPath, u"--workstation"_s, u"WS-SETUP-01"_s});
        Admin({u"add-user"_s, u"planner"_s});
        Admin({u"add-workstation"_s, u"WS-SETUP-01"_s});
        Admin({u"enqueue"_s, u"client"_s, u"1"_s, u"--force"_s});
        Admin({u"schedule"_s, u"--user"_s, u"1"_s, u"--in"_s, u"3"_s});
    }
    QString SettingsText(const QString& application) const {
        QFile file(configHome_ + u"/Kestrane/"_s + application + u".ini"_s);
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }
    // The number that "SELECT COUNT(*) AS n ..." counts on the embedded database file.
    static int Count(const QString& file, const QString& sql) {
        const int count =
            testsupport::QueryRows(u"Provider=Microsoft.Jet.OLEDB.4.0;Data Source="_s + file + u";"_s, sql,
                                   {u"n"_s})[0][0]
                .toInt();
        ado::ClearConnectionPool();
        return count;
    }
    // The next run, on the settings the dialog wrote, works the queue off and logs its end.
    void ExpectTheNextRunWorksTheQueueOff(const QString& dataPath, const QString& firstRun) {
        const testsupport::ChildResult next =
            testsupport::RunBinary(kProgram, {}, testsupport::ChildEnvironment(configHome_));
        EXPECT_EQ(next.exitCode, 0) << next.out.toStdString() << next.err.toStdString();
        EXPECT_EQ(Count(dataPath + u"KS.mdb"_s, u"SELECT COUNT(*) AS n FROM Disqualifications_Queue"_s), 0)
            << firstRun.toStdString() << "\n--\n" << next.out.toStdString();
        EXPECT_EQ(Count(dataPath + u"KS.mdb"_s, u"SELECT COUNT(*) AS n FROM [Parameters] WHERE "
                                                u"Next_Disqualifications_Rebuild IS NULL"_s),
                  1);
        EXPECT_GE(Count(dataPath + u"KS_users.mdb"_s,
                        u"SELECT COUNT(*) AS n FROM [Activity Log] WHERE Notes LIKE '% finished at %'"_s),
                  1);
    }

    QTemporaryDir temp_;
    QString configHome_;
    QProcessEnvironment realClock_;
};

TEST_F(DataLocationRunTest, AMovedDataFolderIsAskedForAtTheTerminalAndFound) {
    const QString dataPath = temp_.filePath(u"data"_s) + u'/';
    const QString movedPath = temp_.filePath(u"moved/data"_s) + u'/';
    ASSERT_NO_FATAL_FAILURE(MakeScheduledData(dataPath));
    QDir().mkpath(temp_.filePath(u"moved"_s));

    TerminalRun run(realClock_, temp_.path());
    ASSERT_TRUE(run.WaitFor(u"Waiting for "_s)) << run.Output().toStdString();
    ASSERT_TRUE(QDir().rename(dataPath, movedPath));
    ASSERT_TRUE(run.WaitFor(u"== Get KS_users.mdb Database Location =="_s)) << run.Output().toStdString();
    ASSERT_TRUE(run.WaitFor(u"Folder? "_s)) << run.Output().toStdString();
    run.Type(movedPath.chopped(1).toUtf8());
    run.Finish(movedPath.toUtf8());

    EXPECT_TRUE(SettingsText(u"KS"_s).contains(u"KS Data Path="_s + movedPath)) << SettingsText(u"KS"_s).toStdString();
    EXPECT_GE(Count(movedPath + u"KS_users.mdb"_s,
                    u"SELECT COUNT(*) AS n FROM [Activity Log] WHERE Notes LIKE '% began at %'"_s),
              1)
        << run.Output().toStdString();
    EXPECT_FALSE(QFileInfo::exists(dataPath));
    // The run opened the main database in the folder of its start, so it may have stopped there.
    ExpectTheNextRunWorksTheQueueOff(movedPath, run.Output());
}

TEST_F(DataLocationRunTest, WithoutATerminalTheDialogTakesItsCancelPathAndTheRunEnds) {
    const QString dataPath = temp_.filePath(u"data"_s) + u'/';
    ASSERT_NO_FATAL_FAILURE(MakeScheduledData(dataPath));

    QProcess run;
    run.setProcessEnvironment(realClock_);
    run.setStandardInputFile(QProcess::nullDevice());
    run.start(QStringLiteral(KESTRANE_BIN_DIR "/") + kProgram);
    QByteArray out;
    const QDeadlineTimer deadline(kRunTimeoutMs);
    while (!out.contains("Waiting for ") && run.waitForReadyRead(int(deadline.remainingTime())))
        out += run.readAllStandardOutput();
    ASSERT_TRUE(out.contains("Waiting for ")) << out.toStdString();
    ASSERT_TRUE(QDir().rename(dataPath, temp_.filePath(u"elsewhere"_s)));
    const bool finished = run.waitForFinished(kRunTimeoutMs);
    const QString err = QString::fromLocal8Bit(run.readAllStandardError());

    ASSERT_TRUE(finished) << err.toStdString();
    EXPECT_EQ(run.exitCode(), 2) << err.toStdString();
    EXPECT_TRUE(err.contains(u"== Halvermoor Software Solutions Setup (critical) ==\n"_s
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
    const std::pair<QString, QString> burnt[] = {
        {u"KS.mdb"_s, u"KS Initialized Data Files/KS.MDB"_s},
        {u"KS_users.mdb"_s, u"KS Initialized Data Files/KS_USERS.MDB"_s},
        {u"KS_sands.mdb"_s, u"KS Initialized Data Files/KS_SANDS.MDB"_s},
        {u"KS_lists.mdb"_s, u"ZO Initialized Data Files/HVSYS.MDB"_s}};
    for (const auto& [from, to] : burnt) {
        ASSERT_TRUE(QFile::copy(productFolder + from, release + to)) << to.toStdString();
        ::chmod(QFile::encodeName(release + to).constData(), 0444);
    }
    QProcessEnvironment environment = realClock_;
    environment.insert(u"KESTRANE_DRIVES"_s, drive + u"=fixed;"_s + medium + u"=cdrom"_s);

    TerminalRun run(environment, drive);
    ASSERT_TRUE(run.WaitFor(u"Waiting for "_s)) << run.Output().toStdString();
    ASSERT_TRUE(QDir(drive + u"Halvermoor Software"_s).removeRecursively());
    ASSERT_TRUE(run.WaitFor(u"Folder? "_s)) << run.Output().toStdString();
    run.Type("cd");
    ASSERT_TRUE(run.WaitFor(u"Insert your KSProcessDisqualificationsQueue release CD into your computer now."_s))
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
    ExpectTheNextRunWorksTheQueueOff(productFolder, run.Output());
}

}  // namespace
