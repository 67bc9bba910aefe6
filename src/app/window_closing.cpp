// Closing windows: the hidden-window walk that keeps hidden windows from holding the program alive, and the
// unloading of every window.
#include "app/window_closing.h"

#include "platform/clock.h"
#include "platform/screen.h"

#include <algorithm>
#include <vector>

namespace app {

namespace {

// The windows that are loaded and not visible, in load order.
int HiddenCount(const std::vector<platform::Form*>& forms) {
    return static_cast<int>(std::count_if(forms.begin(), forms.end(),
                                          [](const platform::Form* form) { return !form->Visible(); }));
}

}  // namespace

void CloseForm(platform::FormRefBase& form) {
    platform::Sleep(100);

    // Unloading a window changes the collection, so the walk goes over a copy.
    const std::vector<platform::Form*> loaded = platform::Screen::Forms();
    if (loaded.size() != 1) {
        const int hiddenCount = HiddenCount(loaded);
        if (hiddenCount == static_cast<int>(loaded.size()) - 1) {
            for (platform::Form* other : loaded) {
                if (!other->IsLoaded() || other->Visible())
                    continue;
                other->Show(platform::vbModeless);
                other->Unload();
                if (hiddenCount != 1)
                    return;
            }
        }
    }
    form.Reset();
}

void UnloadAllForms() {
    platform::Sleep(100);
    const std::vector<platform::Form*> loaded = platform::Screen::Forms();
    for (platform::Form* form : loaded) {
        if (form->IsLoaded())
            form->Unload();
    }
}

}  // namespace app
