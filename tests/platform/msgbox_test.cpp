// Message boxes without a display, in a child process: with no terminal, and on a terminal that answers.
#include "platform/msgbox.h"
#include "platform/application.h"
#include "support/child_process.h"
#include "support/terminal_process.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <cstdio>

namespace {

using namespace platform;

// The child's part: one box from the environment, and its answer on standard output.
TEST(MsgBoxChild, DISABLED_ShowsOneBox) {
    const int answer = MsgBox(qEnvironmentVariable("KESTRANE_TEST_MSGBOX_TEXT"),
                              qEnvironmentVariableIntValue("KESTRANE_TEST_MSGBOX_BUTTONS"),
                              qEnvironmentVariable("KESTRANE_TEST_MSGBOX_TITLE"));
    std::printf("answer=%d\n", answer);
    std::fflush(stdout);
}

// Catches a box without a display not written out, or answered other than by default or as typed.
TEST(MsgBoxWithoutDisplay, WritesTheBoxAndTakesTheDefaultOrTheTypedAnswer) {
    const QString program = QFileInfo(QCoreApplication::applicationFilePath()).fileName();
    // The box, what is typed at a terminal (nothing: no terminal), texts the output must hold, the answer,
    // and whether it asked again.
    // clang-format off
    const struct { const char* text; int buttons; const char* title; std::optional<QByteArray> typed;
                   QStringList shown; int answer; bool askedAgain; } cases[] = {
        // Every carriage return, alone or with a line feed on either side, becomes one line break.
        {"A\rB\r\nC\n\rD\r\rE", vbOKOnly + vbCritical, "Title", {},
         {"Title (critical)", "A\nB\nC\n\nD\n\nE", "-> OK (no terminal)"}, vbOK, false},
        {"Remove the entry?", vbYesNo + vbQuestion, "Question", {}, {"-> Yes (no terminal)"}, vbYes, false},
        {"Go on?", vbOKCancel, "", {}, {program, "-> OK (no terminal)"}, vbOK, false},
        {"a name in any case", vbOKCancel, "Question", "CANCEL\n", {}, vbCancel, false},
        {"a first letter", vbYesNo, "Question", "n\n", {}, vbNo, false},
        {"blanks around", vbYesNo, "Question", "  y  \n", {}, vbYes, false},
        {"an empty line takes the default", vbOKCancel, "Question", "\n", {}, vbOK, false},
        {"anything else asks again", vbYesNo, "Question", "maybe\nNo\n", {}, vbNo, true},
        {"end of input takes the default", vbYesNo, "Question", "x\n\x04", {}, vbYes, true},
    };
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("KESTRANE_TEST_MSGBOX_TEXT"), QString::fromUtf8(c.text));
        env.insert(QStringLiteral("KESTRANE_TEST_MSGBOX_BUTTONS"), QString::number(c.buttons));
        env.insert(QStringLiteral("KESTRANE_TEST_MSGBOX_TITLE"), QString::fromUtf8(c.title));
        const QStringList arguments{QStringLiteral("--gtest_also_run_disabled_tests"),
                                    QStringLiteral("--gtest_filter=MsgBoxChild.DISABLED_ShowsOneBox")};
        testsupport::ChildResult result =
            c.typed ? testsupport::RunBinaryOnTerminal(program, arguments, env, *c.typed)
                    : testsupport::RunBinary(program, arguments, env);  // standard input closed: no terminal
        if (c.typed)
            result.err = result.out;  // the terminal holds both
        EXPECT_EQ(result.exitCode, 0) << qPrintable(result.out);
        const QRegularExpression answer(QStringLiteral("answer=(\\d+)"));
        EXPECT_EQ(answer.match(result.out).captured(1).toInt(), c.answer) << qPrintable(result.out);
        for (const QString& text : c.shown + QStringList{QString::fromUtf8(c.text).section(u'\r', 0, 0)})
            EXPECT_TRUE(result.err.contains(text))
                << qPrintable(text) << " missing in: " << qPrintable(result.err);
        EXPECT_FALSE(result.err.contains(u'\r'));
        EXPECT_EQ(result.err.contains(QStringLiteral("Please answer")), c.askedAgain)
            << qPrintable(result.err);
    }
}

}  // namespace
