// Message boxes: the default answers, the scripted answerer, and, in a child process of this test program,
// the box without a display: with no terminal it takes the default button, on a terminal it asks.
#include "platform/msgbox.h"
#include "platform/application.h"
#include "support/terminal_process.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

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
    const testsupport::ChildResult result = testsupport::RunOnTerminal(
        QCoreApplication::applicationFilePath(), ChildArguments(), ChildEnvironment(box), input);
    EXPECT_EQ(result.exitCode, 0) << result.out.toStdString();
    return result.out;
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
