// Closing real windows: which others CloseForm unloads, and when it empties the closing one's reference.
#include "platform/window_closing.h"
#include "platform/form.h"
#include "platform/screen.h"
#include "support/program_environment.h"

#include <gtest/gtest.h>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

// A window whose unload event calls CloseForm with its own reference, as every window of the program does,
// and records "<name> unloaded (visible)" or "(hidden)".
class TestWindow : public platform::Form {
public:
    QString name;
    platform::FormRefBase* reference = nullptr;
    QStringList* events = nullptr;

protected:
    void Form_Unload(int& cancel) override {
        *events << name + (Visible() ? u" unloaded (visible)"_s : u" unloaded (hidden)"_s);
        platform::CloseForm(*reference);
    }
};

class WindowClosingTest : public ::testing::Test {
protected:
    void TearDown() override {
        for (platform::Form* form : std::vector<platform::Form*>(platform::Screen::Forms())) {
            if (form->IsLoaded())
                form->Unload();
        }
        for (auto& reference : references_)
            reference->Reset();
        platform::Screen::DoEvents();
    }

    // A new window reached through its own program-wide reference.
    TestWindow* NewWindow(const QString& name) {
        references_.push_back(std::make_unique<platform::FormRef<TestWindow>>());
        TestWindow* window = references_.back()->Get();
        window->name = name;
        window->reference = references_.back().get();
        window->events = &events_;
        return window;
    }
    platform::FormRef<TestWindow>& Reference(size_t index) { return *references_.at(index); }

    testsupport::ProgramEnvironment env_;  // a virtual clock, among others
    QStringList events_;
    std::vector<std::unique_ptr<platform::FormRef<TestWindow>>> references_;
};

struct CloseCase {
    const char* name;
    std::vector<bool> othersVisible;  // the other windows, loaded after the closing one, in load order
    const char* events;               // joined by "; "
    std::vector<bool> othersStillLoaded;
    bool referenceEmptied;
    int64_t sleptMs;
};
void PrintTo(const CloseCase& c, std::ostream* os) {
    *os << c.name;
}

class CloseFormTest : public WindowClosingTest, public ::testing::WithParamInterface<CloseCase> {};

// Catches hidden windows kept or visible ones unloaded, the reference emptied wrongly, pauses not 100 ms.
TEST_P(CloseFormTest, UnloadsHiddenWindowsOnlyWhenTheClosingOneIsTheLastVisible) {
    const CloseCase& c = GetParam();
    TestWindow* closing = NewWindow(u"main"_s);
    closing->Show();
    std::vector<TestWindow*> others;
    for (size_t i = 0; i < c.othersVisible.size(); ++i) {
        TestWindow* other = NewWindow(u"other%1"_s.arg(i + 1));
        c.othersVisible[i] ? other->Show() : other->Load();
        others.push_back(other);
    }

    closing->Unload();

    EXPECT_EQ(events_.join(u"; "_s), QString::fromUtf8(c.events));
    EXPECT_EQ(Reference(0).IsEmpty(), c.referenceEmptied);
    for (size_t i = 0; i < others.size(); ++i) {
        EXPECT_EQ(others[i]->IsLoaded(), c.othersStillLoaded[i]) << "other" << i + 1;
        EXPECT_EQ(Reference(i + 1).IsEmpty(), !c.othersStillLoaded[i]) << "other" << i + 1;
    }
    EXPECT_EQ(env_.Clock().TotalSleptMs(), c.sleptMs);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CloseFormTest,
    ::testing::Values(
        CloseCase{"OnlyWindow", {}, "main unloaded (visible)", {}, true, 100},
        // The hidden window is shown, then unloaded; its own CloseForm runs nested.
        CloseCase{
            "OneHidden", {false}, "main unloaded (visible); other1 unloaded (visible)", {false}, true, 200},
        CloseCase{"OneVisible", {true}, "main unloaded (visible)", {true}, true, 100},
        // Only the first hidden window goes, and the closing window's reference is left as it was.
        CloseCase{"TwoHidden",
                  {false, false},
                  "main unloaded (visible); other1 unloaded (visible)",
                  {false, true},
                  false,
                  200},
        CloseCase{"OneVisibleOneHidden", {true, false}, "main unloaded (visible)", {true, true}, true, 100}),
    [](const ::testing::TestParamInfo<CloseCase>& info) { return info.param.name; });

// Catches a window, hidden or shown, left loaded or referenced.
TEST_F(WindowClosingTest, UnloadAllFormsUnloadsEveryWindow) {
    NewWindow(u"first"_s)->Show();
    NewWindow(u"second"_s)->Load();
    NewWindow(u"third"_s)->Show();

    platform::UnloadAllForms();

    EXPECT_TRUE(platform::Screen::Forms().empty());
    for (size_t i = 0; i < 3; ++i)
        EXPECT_TRUE(Reference(i).IsEmpty()) << i;
}

}  // namespace
