// A window never gets smaller than its design size while it is in the normal state; what grew stays.
#include "app/frm_message.h"
#include "localrefresh/frm_setup_laptop.h"
#include "platform/screen.h"
#include "setup/get_data_path.h"
#include "support/program_environment.h"

#include <gtest/gtest.h>

namespace {

// Runs a window's resize event procedure as the window system does, in whatever state the window is.
struct ResizeProcedure : platform::Form {
    static void Run(platform::Form& window) { (window.*&ResizeProcedure::Form_Resize)(); }
};

struct WindowCase {
    const char* name;
    platform::Form* (*get)();  // creates the window when needed
    QSize design;              // pixels
    friend void PrintTo(const WindowCase& c, std::ostream* os) { *os << c.name; }  // names in test lists
};
template <class Window, platform::FormRef<Window>& reference>
platform::Form* Get() {
    return reference.Get();
}

class WindowSizeTest : public ::testing::TestWithParam<WindowCase> {
protected:
    void TearDown() override {
        GetParam().get()->Unload();  // which also releases the window
        platform::Screen::DoEvents();
    }
    testsupport::ProgramEnvironment env_;
};

TEST_P(WindowSizeTest, NeverSmallerThanItsDesignSizeInTheNormalState) {
    platform::Form& window = *GetParam().get();
    const QSize design = GetParam().design;
    // Minimised, it keeps the small size the window system gives it (catches a lost state check).
    window.Load();
    window.resize(20, 10);
    window.SetWindowState(platform::vbMinimized);
    ResizeProcedure::Run(window);
    EXPECT_EQ(window.size(), QSize(20, 10));
    window.SetWindowState(platform::vbNormal);
    window.Show(platform::vbModeless);
    platform::Screen::DoEvents();
    EXPECT_EQ(window.size(), design);
    // Each direction snaps back on its own (catches a lost, turned or swapped width or height check).
    for (const QSize change : {QSize(-100, 40), QSize(100, -40)}) {
        window.resize(design + change);
        platform::Screen::DoEvents();
        EXPECT_EQ(window.size(), design.expandedTo(design + change)) << change.width();
    }
    // The message window's status bar follows the bottom edge (315 twips high).
    if (auto* message = qobject_cast<app::frmMessage*>(&window)) {
        EXPECT_EQ(message->stsBar->geometry(), QRect(0, design.height() - 21, design.width() + 100, 21));
    }
}

const WindowCase kWindows[] = {
    {"MessageWindow", Get<app::frmMessage, app::gfrmMessage>, {421, 76}},
    {"DataPathDialog", Get<setup::GetDataPath, setup::gGetDataPath>, {520, 344}},
    {"LaptopWindow", Get<localrefresh::frmSetupLaptop, localrefresh::gfrmSetupLaptop>, {400, 240}},
};
INSTANTIATE_TEST_SUITE_P(Windows, WindowSizeTest, ::testing::ValuesIn(kWindows),
                         [](const ::testing::TestParamInfo<WindowCase>& info) { return info.param.name; });

}  // namespace
