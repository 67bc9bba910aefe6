// The message window never becomes smaller than its design size while it is in the normal state.
#include "app/frm_message.h"
#include "platform/clock.h"
#include "platform/screen.h"

#include <QDateTime>

#include <memory>

#include <gtest/gtest.h>

#include <ostream>

namespace {

class FrmMessageTest : public ::testing::Test {
protected:
    void SetUp() override {
        platform::SetClock(
            std::make_shared<platform::VirtualClock>(QDateTime(QDate(2024, 3, 1), QTime(9, 0))));
        app::gfrmMessage->Show();
        platform::Screen::DoEvents();
        designWidth_ = app::gfrmMessage->Width();
        designHeight_ = app::gfrmMessage->Height();
    }
    void TearDown() override {
        if (!app::gfrmMessage.IsEmpty())
            app::gfrmMessage->Unload();
        platform::Screen::DoEvents();
        platform::SetClock(nullptr);
    }
    // Resizes the window by the given twips and lets the resize events run.
    void ResizeBy(int widthTwips, int heightTwips) {
        app::gfrmMessage->SetWidth(designWidth_ + widthTwips);
        app::gfrmMessage->SetHeight(designHeight_ + heightTwips);
        platform::Screen::DoEvents();
    }

    int designWidth_ = 0;
    int designHeight_ = 0;
};

TEST_F(FrmMessageTest, DesignSizeIsTheClientAreaOfTheWindow) {
    EXPECT_EQ(app::gfrmMessage->width(), 6315 / 15);
    EXPECT_EQ(app::gfrmMessage->height(), 1140 / 15);
    EXPECT_FALSE(app::gfrmMessage->stsBar->isVisible());
}

struct ResizeCase {
    const char* name;
    int widthChange;  // twips
    int heightChange;
    int expectedWidthChange;
    int expectedHeightChange;
};
// Test names show the case by its name.
void PrintTo(const ResizeCase& c, std::ostream* os) {
    *os << c.name;
}

class FrmMessageResizeTest : public FrmMessageTest, public ::testing::WithParamInterface<ResizeCase> {};

TEST_P(FrmMessageResizeTest, SnapsBackToTheDesignSizeInTheDirectionThatShrank) {
    const ResizeCase& c = GetParam();
    ResizeBy(c.widthChange, c.heightChange);
    EXPECT_EQ(app::gfrmMessage->Width(), designWidth_ + c.expectedWidthChange);
    EXPECT_EQ(app::gfrmMessage->Height(), designHeight_ + c.expectedHeightChange);
}

INSTANTIATE_TEST_SUITE_P(Cases, FrmMessageResizeTest,
                         ::testing::Values(ResizeCase{"Narrower", -900, 0, 0, 0},
                                           ResizeCase{"Lower", 0, -300, 0, 0},
                                           ResizeCase{"NarrowerAndTaller", -900, 600, 0, 600},
                                           ResizeCase{"WiderAndLower", 1500, -300, 1500, 0},
                                           ResizeCase{"Larger", 1500, 600, 1500, 600}),
                         [](const ::testing::TestParamInfo<ResizeCase>& info) { return info.param.name; });

TEST_F(FrmMessageTest, StatusBarStaysAlongTheBottomEdge) {
    app::gfrmMessage->stsBar->show();
    ResizeBy(1500, 600);
    const QRect bar = app::gfrmMessage->stsBar->geometry();
    EXPECT_EQ(bar.bottom(), app::gfrmMessage->height() - 1);
    EXPECT_EQ(bar.width(), app::gfrmMessage->width());
}

// The message window with its resize event procedure at hand, to give it the small size that a window system
// gives a minimised window.
class ReachableMessage : public app::frmMessage {
public:
    using app::frmMessage::Form_Resize;
};

struct StateCase {
    const char* name;
    int windowState;
    bool snapsBack;
};
// Test names show the case by its name.
void PrintTo(const StateCase& c, std::ostream* os) {
    *os << c.name;
}

class FrmMessageStateTest : public FrmMessageTest, public ::testing::WithParamInterface<StateCase> {};

TEST_P(FrmMessageStateTest, SnapsBackOnlyInTheNormalState) {
    ReachableMessage window;
    window.Load();
    window.resize(200, 40);
    window.SetWindowState(GetParam().windowState);

    window.Form_Resize();

    const bool snapped = window.width() == 6315 / 15 && window.height() == 1140 / 15;
    EXPECT_EQ(snapped, GetParam().snapsBack) << window.width() << " x " << window.height();
    window.Unload();
}

INSTANTIATE_TEST_SUITE_P(Cases, FrmMessageStateTest,
                         ::testing::Values(StateCase{"Normal", platform::vbNormal, true},
                                           StateCase{"Minimised", platform::vbMinimized, false},
                                           StateCase{"Maximised", platform::vbMaximized, false}),
                         [](const ::testing::TestParamInfo<StateCase>& info) { return info.param.name; });

TEST_F(FrmMessageTest, ANewInstanceKeepsItsOwnDesignSize) {
    app::gfrmMessage->Unload();
    EXPECT_TRUE(app::gfrmMessage.IsEmpty());

    app::gfrmMessage->Show();
    platform::Screen::DoEvents();
    ResizeBy(-900, -300);
    EXPECT_EQ(app::gfrmMessage->Width(), designWidth_);
    EXPECT_EQ(app::gfrmMessage->Height(), designHeight_);
}

}  // namespace
