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

    testsupport::ProgramEnvironment env_;  // a virtual clock, among others
    QStringList events_;
    std::vector<std::unique_ptr<platform::FormRef<TestWindow>>> references_;
};

// Catches hidden windows kept or visible ones unloaded, the reference emptied wrongly, pauses not 100 ms.
TEST_F(WindowClosingTest, CloseFormUnloadsHiddenWindowsOnlyWhenTheClosingOneIsTheLastVisible) {
    // The other windows, loaded after the closing one ("v" visible, "h" hidden), the unload events, which of
    // the others are still loaded ("1"), whether the closing window's reference is emptied, the time slept.
    // clang-format off
    struct Case { const char* others; const char* events; const char* stillLoaded; bool emptied; int64_t sleptMs; };
    const Case cases[] = {
        {"", "main unloaded (visible)", "", true, 100},
        // The hidden window is shown, then unloaded; its own CloseForm runs nested.
        {"h", "main unloaded (visible); other1 unloaded (visible)", "0", true, 200},
        // Only the first hidden window goes, and the closing window's reference is left as it was.
        {"hh", "main unloaded (visible); other1 unloaded (visible)", "01", false, 200},
        {"vh", "main unloaded (visible)", "11", true, 100},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.others);
        TearDown();
        events_.clear();
        references_.clear();
        const int64_t sleptBefore = env_.Clock().TotalSleptMs();
        NewWindow(u"main"_s)->Show();
        for (const char visible : std::string(c.others)) {
            TestWindow* other = NewWindow(u"other%1"_s.arg(references_.size()));
            visible == 'v' ? other->Show() : other->Load();
        }

        references_[0]->Peek()->Unload();

        EXPECT_EQ(events_.join(u"; "_s), QString::fromUtf8(c.events));
        EXPECT_EQ(references_[0]->IsEmpty(), c.emptied);
        QString stillLoaded;
        for (size_t i = 1; i < references_.size(); ++i)
            stillLoaded += references_[i]->IsEmpty()            ? u'0'
                           : references_[i]->Peek()->IsLoaded() ? u'1'
                                                                : u'x';
        EXPECT_EQ(stillLoaded, QString::fromUtf8(c.stillLoaded));
        EXPECT_EQ(env_.Clock().TotalSleptMs() - sleptBefore, c.sleptMs);
    }
}

// Catches a window, hidden or shown, left loaded or referenced.
TEST_F(WindowClosingTest, UnloadAllFormsUnloadsEveryWindow) {
    NewWindow(u"first"_s)->Show();
    NewWindow(u"second"_s)->Load();
    NewWindow(u"third"_s)->Show();

    platform::UnloadAllForms();

    EXPECT_TRUE(platform::Screen::Forms().empty());
    for (size_t i = 0; i < 3; ++i)
        EXPECT_TRUE(references_[i]->IsEmpty()) << i;
}

}  // namespace
