// Process-wide facts and the status-line mirror of labels and status bars.
#include "platform/application.h"
#include "platform/clock.h"
#include "platform/controls.h"
#include "scoped_environment.h"
#include "support/free_display.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace {

using namespace platform;

// Catches offscreen chosen over a display that answers or over the user's choice, or not chosen without one.
TEST(ChooseQtPlatform, OffscreenOnlyWithoutADisplayThatOpensOrAChoice) {
    using Value = std::optional<QByteArray>;
    // clang-format off
    struct Case { const char* what; Value display, wayland, chosen, expected; };
    const QByteArray nobody = testsupport::FreeDisplay();
    std::vector<Case> cases = {
        {"nothing set", {}, {}, {}, "offscreen"},
        {"empty display", "", "", {}, "offscreen"},
        {"X display nobody answers on", nobody, {}, {}, "offscreen"},
        {"Wayland display", {}, "wayland-0", {}, {}},
        {"platform chosen", {}, {}, "minimal", "minimal"},
        {"platform chosen, dead display", nobody, {}, "xcb", "xcb"},
    };
    // clang-format on
    const QByteArray live = qgetenv("DISPLAY");  // the X server the tests run under, when there is one
    if (!live.isEmpty() && DisplayOpens(live))
        cases.push_back({"X display that opens", live, {}, {}, {}});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const ScopedEnvironment display("DISPLAY", c.display), wayland("WAYLAND_DISPLAY", c.wayland),
            chosen("QT_QPA_PLATFORM", c.chosen);
        ChooseQtPlatform();
        EXPECT_EQ(qEnvironmentVariableIsSet("QT_QPA_PLATFORM") ? Value(qgetenv("QT_QPA_PLATFORM")) : Value(),
                  c.expected);
    }
}

// What the process wrote to standard output since CaptureStdout.
QString CapturedOutput() {
    std::fflush(stdout);
    return QString::fromStdString(::testing::internal::GetCapturedStdout());
}

// Catches a caption written before mirroring is on, a lost line break, or the control's own text changed.
TEST(Controls, MirroredCaptionsBecomeStatusLines) {
    Label label;
    StatusBar bar;
    ::testing::internal::CaptureStdout();
    label.SetCaption(QStringLiteral("not mirrored"));
    label.SetMirrored(true);
    label.SetCaption(QStringLiteral("Checking the schedule..."));
    bar.SetSimpleText(QStringLiteral("quiet"));
    bar.SetMirrored(true);
    bar.SetSimpleText(QStringLiteral("Total of 1 processed.\rDone"));
    EXPECT_EQ(CapturedOutput(), QStringLiteral("Checking the schedule...\nTotal of 1 processed.\nDone\n"));
    EXPECT_EQ(label.Caption(), QStringLiteral("Checking the schedule..."));
    EXPECT_EQ(bar.SimpleText(), QStringLiteral("Total of 1 processed.\rDone"));
}

// Catches a wrong priority under the journal, a line split there, or a priority outside it.
TEST(LogLine, PriorityAndOneLineUnderTheJournal) {
    const QString text = QStringLiteral("Run-time error '94':\r\n\r\nInvalid use of Null");
    // clang-format off
    const struct { std::optional<QByteArray> journal; Severity severity; const char* expected; } cases[] = {
        {std::nullopt, Severity::Error, "Run-time error '94':\n\nInvalid use of Null"},
        {"8:1234", Severity::Error, "<3>Run-time error '94': Invalid use of Null"},
        {"8:1234", Severity::Warning, "<4>Run-time error '94': Invalid use of Null"},
        {"8:1234", Severity::Status, "<6>Run-time error '94': Invalid use of Null"},
    };
    // clang-format on
    for (const auto& c : cases) {
        const ScopedEnvironment journal("JOURNAL_STREAM", c.journal);
        EXPECT_EQ(LogLine(text, c.severity), QString::fromUtf8(c.expected));
    }
}

// Catches an unchanged status line written every time, never again, or other than once an hour.
TEST(WriteStatusLine, WritesAChangeOrAnHourlyRepeat) {
    SetClock(std::make_shared<VirtualClock>(QDateTime(QDate(2024, 3, 1), QTime(9, 0, 0))));
    ::testing::internal::CaptureStdout();
    for (int i = 0; i < 721; ++i) {  // two hours of a wait that shows its line every ten seconds
        WriteStatusLine(QStringLiteral("Waiting for 01/03/2024 11:00:00"));
        Sleep(10000);
    }
    WriteStatusLine(QStringLiteral("Rebuild began at 01/03/2024 11:00:00"));
    SetClock(nullptr);
    EXPECT_EQ(CapturedOutput(), QStringLiteral("Waiting for 01/03/2024 11:00:00\n").repeated(3) +
                                    QStringLiteral("Rebuild began at 01/03/2024 11:00:00\n"));
}

}  // namespace
