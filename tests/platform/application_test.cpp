// Process-wide facts and the status-line mirror of labels and status bars.
#include "platform/application.h"
#include "platform/clock.h"
#include "platform/controls.h"
#include "scoped_environment.h"
#include "support/free_display.h"

#include <QTemporaryFile>

#include <gtest/gtest.h>

#include <cstdio>

#include <unistd.h>

namespace {

using namespace platform;

TEST(ChooseQtPlatform, OffscreenOnlyWithoutADisplayThatOpensOrAChoice) {
    struct Case {
        const char* what;
        std::optional<QByteArray> display;
        std::optional<QByteArray> wayland;
        std::optional<QByteArray> chosen;
        std::optional<QByteArray> expected;
    };
    const QByteArray nobody = testsupport::FreeDisplay();
    std::vector<Case> cases = {
        {"nothing set", std::nullopt, std::nullopt, std::nullopt, QByteArray("offscreen")},
        {"empty display", QByteArray(""), QByteArray(""), std::nullopt, QByteArray("offscreen")},
        {"X display nobody answers on", nobody, std::nullopt, std::nullopt, QByteArray("offscreen")},
        {"Wayland display", std::nullopt, QByteArray("wayland-0"), std::nullopt, std::nullopt},
        {"platform chosen", std::nullopt, std::nullopt, QByteArray("minimal"), QByteArray("minimal")},
        {"platform chosen, dead display", nobody, std::nullopt, QByteArray("xcb"), QByteArray("xcb")},
    };
    // The X server the tests run under, when there is one.
    const QByteArray live = qgetenv("DISPLAY");
    if (!live.isEmpty() && DisplayOpens(live))
        cases.push_back({"X display that opens", live, std::nullopt, std::nullopt, std::nullopt});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const ScopedEnvironment display("DISPLAY", c.display);
        const ScopedEnvironment wayland("WAYLAND_DISPLAY", c.wayland);
        const ScopedEnvironment chosen("QT_QPA_PLATFORM", c.chosen);
        ChooseQtPlatform();
        EXPECT_EQ(qEnvironmentVariableIsSet("QT_QPA_PLATFORM"), c.expected.has_value());
        if (c.expected) {
            EXPECT_EQ(qgetenv("QT_QPA_PLATFORM"), *c.expected);
        }
    }
}

TEST(TerminalText, EveryCarriageReturnBecomesOneLineBreak) {
    const std::vector<std::pair<QString, QString>> cases = {
        {QStringLiteral("a\r\nb"), QStringLiteral("a\nb")},
        {QStringLiteral("a\rb"), QStringLiteral("a\nb")},
        {QStringLiteral("a\r\rb"), QStringLiteral("a\n\nb")},
        {QStringLiteral("a\n\rb"), QStringLiteral("a\n\nb")},
        {QStringLiteral("plain"), QStringLiteral("plain")},
    };
    for (const auto& [text, expected] : cases) {
        EXPECT_EQ(TerminalText(text), expected);
    }
}

// Captures what the process writes to standard output while it lives.
class StandardOutputCapture {
public:
    StandardOutputCapture() {
        file_.open();
        std::fflush(stdout);
        saved_ = dup(STDOUT_FILENO);
        dup2(file_.handle(), STDOUT_FILENO);
    }
    ~StandardOutputCapture() { Restore(); }

    QString Text() {
        Restore();
        file_.seek(0);
        return QString::fromUtf8(file_.readAll());
    }

private:
    void Restore() {
        if (saved_ < 0)
            return;
        std::fflush(stdout);
        dup2(saved_, STDOUT_FILENO);
        close(saved_);
        saved_ = -1;
    }

    QTemporaryFile file_;
    int saved_ = -1;
};

TEST(Controls, MirroredCaptionsBecomeStatusLines) {
    Label label;
    StatusBar bar;
    StandardOutputCapture output;
    label.SetCaption(QStringLiteral("not mirrored"));
    label.SetMirrored(true);
    label.SetCaption(QStringLiteral("Checking the schedule..."));
    bar.SetSimpleText(QStringLiteral("quiet"));
    bar.SetMirrored(true);
    bar.SetSimpleText(QStringLiteral("Total of 1 processed.\rDone"));
    EXPECT_EQ(output.Text(), QStringLiteral("Checking the schedule...\nTotal of 1 processed.\nDone\n"));
    EXPECT_EQ(label.Caption(), QStringLiteral("Checking the schedule..."));
    EXPECT_EQ(bar.SimpleText(), QStringLiteral("Total of 1 processed.\rDone"));
}

// Under the journal a line carries its priority and is one line; elsewhere it is as a terminal shows it.
TEST(LogLine, PriorityAndOneLineUnderTheJournal) {
    struct Case {
        std::optional<QByteArray> journal;
        Severity severity;
        QString expected;
    };
    const QString text = QStringLiteral("Run-time error '94':\r\n\r\nInvalid use of Null");
    const std::vector<Case> cases = {
        {std::nullopt, Severity::Error, QStringLiteral("Run-time error '94':\n\nInvalid use of Null")},
        {QByteArray("8:1234"), Severity::Error,
         QStringLiteral("<3>Run-time error '94': Invalid use of Null")},
        {QByteArray("8:1234"), Severity::Warning,
         QStringLiteral("<4>Run-time error '94': Invalid use of Null")},
        {QByteArray("8:1234"), Severity::Status,
         QStringLiteral("<6>Run-time error '94': Invalid use of Null")},
    };
    for (const Case& c : cases) {
        const ScopedEnvironment journal("JOURNAL_STREAM", c.journal);
        EXPECT_EQ(LogLine(text, c.severity), c.expected);
    }
}

// A status line that does not change is written once, and again once an hour while it stays.
TEST(WriteStatusLine, WritesAChangeOrAnHourlyRepeat) {
    auto clock = std::make_shared<VirtualClock>(QDateTime(QDate(2024, 3, 1), QTime(9, 0, 0)));
    SetClock(clock);
    StandardOutputCapture output;
    for (int i = 0; i < 721; ++i) {  // two hours of a wait that shows its line every ten seconds
        WriteStatusLine(QStringLiteral("Waiting for 01/03/2024 11:00:00"));
        Sleep(10000);
    }
    WriteStatusLine(QStringLiteral("Rebuild began at 01/03/2024 11:00:00"));
    SetClock(nullptr);
    EXPECT_EQ(output.Text(),
              QStringLiteral("Waiting for 01/03/2024 11:00:00\nWaiting for 01/03/2024 11:00:00\n"
                             "Waiting for 01/03/2024 11:00:00\nRebuild began at 01/03/2024 11:00:00\n"));
}

}  // namespace
