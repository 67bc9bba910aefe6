// Whole runs whose data goes missing while they wait for the scheduled time: the data-location dialog asks at
// the terminal, and the answer (a folder, or the release CD) lets the run and the next runs find their files.
// Start-up opens its databases directly, so the files go only after its checks: the run is on the real clock
// with the rebuild a few seconds ahead, and the folder goes when "Waiting for ..." shows. The queue work
// meets the missing users database at its first activity-log line, through AdoOpenConnection.
#include "acceptance/queue_run_fixture.h"
#include "support/terminal_process.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>

#include <sys/stat.h>

using namespace Qt::StringLiterals;

namespace {

using acceptance::ChildResult;
using acceptance::kProgram;
using testsupport::TerminalRun;

// Answers the dialog's folder prompts with folder, counting them, and every message box with its default
// button.
TerminalRun::Answer Answering(const QByteArray& folder, int* folderPrompts) {
    return [=](const QString& pending) -> std::optional<QByteArray> {
        static const QRegularExpression kBoxPrompt(u"\\? \\[[A-Za-z]+\\] $"_s);
        if (pending.endsWith(u"Folder? "_s) || pending.endsWith(u"Folder? [ok] "_s)) {
            ++*folderPrompts;
            return folder + '\n';
        }
        return kBoxPrompt.match(pending).hasMatch() ? std::optional<QByteArray>("\n") : std::nullopt;
    };
}

class DataLocationRunTest : public acceptance::RunFixture {
protected:
    // The product's databases in dataPath, named in the settings, with this workstation, one user, a client
    // request queued and the rebuild scheduled a few seconds ahead on the real clock.
    void MakeScheduledData(const QString& dataPath) {
        UseFolder({}, QString());
        dataPath_ = dataPath;
        Init();
        Admin({u"add-user"_s, u"planner"_s});
        Admin({u"add-workstation"_s, acceptance::kWorkstation});
        Admin({u"enqueue"_s, u"client"_s, u"1"_s, u"--force"_s});
        Admin({u"schedule"_s, u"--user"_s, u"1"_s, u"--in"_s, u"3"_s});
    }
    QString SettingsText(const QString& application) const {
        QFile file(config_ + u"/Kestrane/"_s + application + u".ini"_s);
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }
    qsizetype LogRows(const QString& like) const {
        return Rows(u"SELECT * FROM [Activity Log] WHERE Notes LIKE '%1'"_s.arg(like), {u"ID"_s},
                    UsersString())
            .size();
    }
    // The data found in dataPath, the run logged its start there; the next run, on the settings the dialog
    // wrote (on the virtual clock), works the queue off and logs its end.
    void ExpectTheNextRunWorksTheQueueOff(const QString& dataPath, const QString& firstRun) {
        dataPath_ = dataPath;
        EXPECT_TRUE(SettingsText(u"KS"_s).contains(u"KS Data Path="_s + dataPath)) << firstRun.toStdString();
        EXPECT_GE(LogRows(u"% began at %"_s), 1) << firstRun.toStdString();
        environment_.insert(u"KESTRANE_VIRTUAL_CLOCK"_s, u"now"_s);
        const ChildResult next = Run();
        EXPECT_EQ(next.exitCode, 0) << next.out.toStdString() << next.err.toStdString();
        EXPECT_EQ(Rows(u"SELECT * FROM Disqualifications_Queue"_s, {u"ID"_s}), QStringList())
            << firstRun.toStdString() << "\n--\n"
            << next.out.toStdString();
        EXPECT_EQ(Rows(u"SELECT * FROM [Parameters]"_s, {u"Next_Disqualifications_Rebuild"_s}),
                  QStringList{u"Null"_s});
        EXPECT_GE(LogRows(u"% finished at %"_s), 1);
    }
};

TEST_F(DataLocationRunTest, AMovedDataFolderIsAskedForAtTheTerminalAndFound) {
    const QString dataPath = temp_.filePath(u"data"_s) + u'/';
    const QString movedPath = temp_.filePath(u"moved/data"_s) + u'/';
    ASSERT_NO_FATAL_FAILURE(MakeScheduledData(dataPath));
    QDir().mkpath(temp_.filePath(u"moved"_s));

    TerminalRun run(testsupport::BinaryPath(kProgram), {}, environment_, temp_.path());
    ASSERT_TRUE(run.WaitFor(u"Waiting for "_s)) << run.Output().toStdString();
    ASSERT_TRUE(QDir().rename(dataPath, movedPath));
    ASSERT_TRUE(run.WaitFor(u"== Get KS_users.mdb Database Location =="_s)) << run.Output().toStdString();
    ASSERT_TRUE(run.WaitFor(u"Folder? "_s)) << run.Output().toStdString();
    run.Type(movedPath.chopped(1).toUtf8() + '\n');
    int folderPrompts = 0;
    run.Finish(Answering(movedPath.toUtf8(), &folderPrompts));

    EXPECT_FALSE(QFileInfo::exists(dataPath));
    // The run opened the main database in the folder of its start, so it may have stopped there.
    ExpectTheNextRunWorksTheQueueOff(movedPath, run.Output());
}

TEST_F(DataLocationRunTest, WithoutATerminalTheDialogTakesItsCancelPathAndTheRunEnds) {
    const QString dataPath = temp_.filePath(u"data"_s) + u'/';
    ASSERT_NO_FATAL_FAILURE(MakeScheduledData(dataPath));

    QProcess run;
    testsupport::StartBinary(run, kProgram, environment_);
    QByteArray out;
    while (!out.contains("Waiting for ") && run.waitForReadyRead(60000))
        out += run.readAllStandardOutput();
    ASSERT_TRUE(out.contains("Waiting for ")) << out.toStdString();
    ASSERT_TRUE(QDir().rename(dataPath, temp_.filePath(u"elsewhere"_s)));
    ASSERT_TRUE(run.waitForFinished(60000));
    const QString err = QString::fromLocal8Bit(run.readAllStandardError());

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
    const std::pair<QString, QString> burnt[] = {
        {u"KS.mdb"_s, u"KS Initialized Data Files/KS.MDB"_s},
        {u"KS_users.mdb"_s, u"KS Initialized Data Files/KS_USERS.MDB"_s},
        {u"KS_sands.mdb"_s, u"KS Initialized Data Files/KS_SANDS.MDB"_s},
        {u"KS_lists.mdb"_s, u"ZO Initialized Data Files/HVSYS.MDB"_s}};
    for (const auto& [from, to] : burnt) {
        ASSERT_TRUE(QFile::copy(productFolder + from, release + to)) << to.toStdString();
        ::chmod(QFile::encodeName(release + to).constData(), 0444);
    }
    environment_.insert(u"KESTRANE_DRIVES"_s, drive + u"=fixed;"_s + medium + u"=cdrom"_s);

    TerminalRun run(testsupport::BinaryPath(kProgram), {}, environment_, drive);
    ASSERT_TRUE(run.WaitFor(u"Waiting for "_s)) << run.Output().toStdString();
    ASSERT_TRUE(QDir(drive + u"Halvermoor Software"_s).removeRecursively());
    ASSERT_TRUE(run.WaitFor(u"Folder? "_s)) << run.Output().toStdString();
    run.Type("cd\n");
    ASSERT_TRUE(
        run.WaitFor(u"Insert your KSProcessDisqualificationsQueue release CD into your computer now."_s))
        << run.Output().toStdString();
    int folderPrompts = 0;
    EXPECT_EQ(run.Finish(Answering("cancel", &folderPrompts)), 0) << run.Output().toStdString();

    EXPECT_EQ(folderPrompts, 0) << run.Output().toStdString();
    for (const QString& file : {productFolder + u"KS.mdb"_s, productFolder + u"KS_users.mdb"_s,
                                productFolder + u"KS_sands.mdb"_s, systemFolder + u"HVSYS.MDB"_s}) {
        EXPECT_TRUE(QFileInfo(file).isFile()) << file.toStdString();
        EXPECT_TRUE(QFileInfo(file).isWritable()) << file.toStdString();
    }
    EXPECT_TRUE(SettingsText(u"ZO"_s).contains(u"ZO Data Path="_s + systemFolder));
    // The queue is worked off on the installed files, by this run or, where it still held the files of its
    // start open, by the next one.
    ExpectTheNextRunWorksTheQueueOff(productFolder, run.Output());
}

}  // namespace
