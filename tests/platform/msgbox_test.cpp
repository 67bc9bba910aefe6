// Message boxes: the default answers, the scripted answerer, and, in a child process of this test program,
// the box without a display: with no terminal it takes the default button, on a terminal it asks.
#include "platform/msgbox.h"
#include "platform/application.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <string>

#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using namespace platform;

TEST(ScriptedAnswerer, AnswersInOrderThenTheDefaultAndRecordsEveryBox) {
    auto answers = std::make_shared<ScriptedAnswerer>(std::deque<int>{vbNo});
    SetMessageBoxAnswerer(answers);
    SetAppTitle(QStringLiteral("KSProcessDisqualificationsQueue"));
    EXPECT_EQ(MsgBox(QStringLiteral("Delete?"), vbYesNo + vbQuestion, QStringLiteral("Question")), vbNo);
    EXPECT_EQ(MsgBox(QStringLiteral("Again?"), vbYesNo), vbYes);
    EXPECT_EQ(MsgBox(QStringLiteral("Done")), vbOK);
    SetMessageBoxAnswerer(nullptr);
    SetAppTitle(QString());

    const std::vector<MessageBoxRequest>& shown = answers->Shown();
    ASSERT_EQ(shown.size(), 3u);
    EXPECT_EQ(shown[0].text, QStringLiteral("Delete?"));
    EXPECT_EQ(shown[0].buttons, vbYesNo + vbQuestion);
    EXPECT_EQ(shown[0].title, QStringLiteral("Question"));
    EXPECT_EQ(shown[1].title, QStringLiteral("KSProcessDisqualificationsQueue"));
}

// The child's part: one box from the environment, and its answer on standard output.
TEST(MsgBoxChild, DISABLED_ShowsOneBox) {
    if (!qEnvironmentVariableIsSet("KESTRANE_TEST_MSGBOX_BUTTONS"))
        GTEST_SKIP() << "runs only as a child";
    const int answer = MsgBox(qEnvironmentVariable("KESTRANE_TEST_MSGBOX_TEXT"),
                              qEnvironmentVariableIntValue("KESTRANE_TEST_MSGBOX_BUTTONS"),
                              qEnvironmentVariable("KESTRANE_TEST_MSGBOX_TITLE"));
    std::printf("answer=%d\n", answer);
    std::fflush(stdout);
}

struct Box {
    QString text;
    int buttons;
    QString title;
};

QStringList ChildArguments() {
    return {QStringLiteral("--gtest_also_run_disabled_tests"),
            QStringLiteral("--gtest_filter=MsgBoxChild.DISABLED_ShowsOneBox")};
}

QProcessEnvironment ChildEnvironment(const Box& box) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("KESTRANE_TEST_MSGBOX_TEXT"), box.text);
    env.insert(QStringLiteral("KESTRANE_TEST_MSGBOX_BUTTONS"), QString::number(box.buttons));
    env.insert(QStringLiteral("KESTRANE_TEST_MSGBOX_TITLE"), box.title);
    return env;
}

int AnswerIn(const QString& output) {
    const QRegularExpressionMatch match = QRegularExpression(QStringLiteral("answer=(\\d+)")).match(output);
    return match.hasMatch() ? match.captured(1).toInt() : -1;
}

struct NoTerminalCase {
    Box box;
    QStringList shown;  // texts the error stream must hold
    int answer;
};

TEST(MsgBoxWithoutTerminal, WritesTheBoxAndTakesTheDefaultButton) {
    const QString program = QFileInfo(QCoreApplication::applicationFilePath()).fileName();
    const std::vector<NoTerminalCase> cases = {
        {{QStringLiteral("First line\rSecond line\r\nThird line"), vbOKOnly + vbCritical,
          QStringLiteral("Title")},
         {QStringLiteral("Title (critical)"), QStringLiteral("First line\nSecond line\nThird line"),
          QStringLiteral("-> OK (no terminal)")},
         vbOK},
        {{QStringLiteral("Remove the entry?"), vbYesNo + vbQuestion, QStringLiteral("Question")},
         {QStringLiteral("Remove the entry?"), QStringLiteral("-> Yes (no terminal)")},
         vbYes},
        {{QStringLiteral("Go on?"), vbOKCancel, QString()},
         {program, QStringLiteral("Go on?"), QStringLiteral("-> OK (no terminal)")},
         vbOK},
    };
    for (const NoTerminalCase& c : cases) {
        SCOPED_TRACE(c.box.text.toStdString());
        QProcess child;
        child.setProcessEnvironment(ChildEnvironment(c.box));
        child.setStandardInputFile(QProcess::nullDevice());
        child.start(QCoreApplication::applicationFilePath(), ChildArguments());
        ASSERT_TRUE(child.waitForFinished(60000));
        const QString out = QString::fromUtf8(child.readAllStandardOutput());
        const QString err = QString::fromUtf8(child.readAllStandardError());
        EXPECT_EQ(child.exitCode(), 0) << qPrintable(out);
        EXPECT_EQ(AnswerIn(out), c.answer) << qPrintable(out);
        for (const QString& text : c.shown) {
            EXPECT_TRUE(err.contains(text)) << "missing: " << qPrintable(text) << "\nin: " << qPrintable(err);
        }
        EXPECT_FALSE(err.contains(u'\r')) << qPrintable(err);
    }
}

// Runs the child on a new pseudo-terminal, types input at it, and returns all it wrote there.
QString RunOnTerminal(const Box& box, const QByteArray& input) {
    // Everything the child needs is built before the fork: after it, the child only calls execve.
    const std::string program = QCoreApplication::applicationFilePath().toStdString();
    std::vector<std::string> args = {program};
    for (const QString& arg : ChildArguments())
        args.push_back(arg.toStdString());
    std::vector<std::string> env;
    for (const QString& entry : ChildEnvironment(box).toStringList())
        env.push_back(entry.toStdString());
    std::vector<char*> argv;
    for (std::string& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (std::string& entry : env)
        envp.push_back(entry.data());
    envp.push_back(nullptr);

    int master = -1;
    const pid_t pid = forkpty(&master, nullptr, nullptr, nullptr);
    if (pid == 0) {
        execve(argv[0], argv.data(), envp.data());
        _exit(127);
    }
    EXPECT_GT(pid, 0) << "forkpty failed";
    if (pid < 0)
        return {};
    EXPECT_EQ(write(master, input.constData(), input.size()), input.size());

    QByteArray output;
    const QDeadlineTimer deadline(60000);
    for (;;) {
        pollfd fd{master, POLLIN, 0};
        const int ready = poll(&fd, 1, static_cast<int>(std::max<qint64>(deadline.remainingTime(), 0)));
        if (ready <= 0) {
            ADD_FAILURE() << "the child did not finish; it wrote: " << output.toStdString();
            kill(pid, SIGKILL);
            break;
        }
        char buffer[4096];
        const ssize_t n = read(master, buffer, sizeof buffer);
        if (n <= 0)
            break;  // EIO once the child has closed the terminal
        output.append(buffer, n);
    }
    close(master);
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << output.toStdString();
    return QString::fromUtf8(output);
}

struct TerminalCase {
    const char* what;
    int buttons;
    QByteArray input;
    int answer;
    bool askedAgain;
};

TEST(MsgBoxOnTerminal, ReadsTheAnswer) {
    const std::vector<TerminalCase> cases = {
        {"a name in any case", vbOKCancel, "CANCEL\n", vbCancel, false},
        {"a first letter", vbYesNo, "n\n", vbNo, false},
        {"blanks around", vbYesNo, "  y  \n", vbYes, false},
        {"an empty line takes the default", vbOKCancel, "\n", vbOK, false},
        {"anything else asks again", vbYesNo, "maybe\nNo\n", vbNo, true},
        {"end of input takes the default", vbYesNo, "x\n\x04", vbYes, true},
    };
    for (const TerminalCase& c : cases) {
        SCOPED_TRACE(c.what);
        const QString output =
            RunOnTerminal({QStringLiteral("Carry on?"), c.buttons, QStringLiteral("Question")}, c.input);
        EXPECT_TRUE(output.contains(QStringLiteral("Carry on?"))) << qPrintable(output);
        EXPECT_EQ(AnswerIn(output), c.answer) << qPrintable(output);
        EXPECT_EQ(output.contains(QStringLiteral("Please answer")), c.askedAgain) << qPrintable(output);
    }
}

}  // namespace
