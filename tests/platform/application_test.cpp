// Process-wide facts and the status-line mirror of labels and status bars.
#include "platform/application.h"
#include "platform/controls.h"
#include "scoped_environment.h"

#include <QTemporaryFile>

#include <gtest/gtest.h>

#include <cstdio>

#include <unistd.h>

namespace {

using namespace platform;

TEST(ChooseQtPlatform, OffscreenOnlyWithoutDisplayOrChoice) {
    struct Case {
        const char* what;
        std::optional<QByteArray> display;
        std::optional<QByteArray> wayland;
        std::optional<QByteArray> chosen;
        std::optional<QByteArray> expected;
    };
    const std::vector<Case> cases = {
        {"nothing set", std::nullopt, std::nullopt, std::nullopt, QByteArray("offscreen")},
        {"empty display", QByteArray(""), QByteArray(""), std::nullopt, QByteArray("offscreen")},
        {"X display", QByteArray(":0"), std::nullopt, std::nullopt, std::nullopt},
        {"Wayland display", std::nullopt, QByteArray("wayland-0"), std::nullopt, std::nullopt},
        {"platform chosen", std::nullopt, std::nullopt, QByteArray("minimal"), QByteArray("minimal")},
    };
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

}  // namespace
