// Closing windows: the hidden-window walk that keeps hidden windows from holding the program alive, and the
// unloading of every window.
#include "platform/window_closing.h"

#include "platform/clock.h"
#include "platform/screen.h"

#include <algorithm>
#include <vector>

namespace platform {

namespace {

// The windows that are loaded and not visible, in load order.
int HiddenCount(const std::vector<Form*>& forms) {
    return static_cast<int>(
        std::count_if(forms.begin(), forms.end(), [](const Form* form) { return !form->Visible(); }));
}

}  // namespace

void CloseForm(FormRefBase& form) {
    Sleep(100);

    // Unloading a window changes the collection, so the walk goes over a copy.
    const std::vector<Form*> loaded = Screen::Forms();
    if (loaded.size() != 1) {
        const int hiddenCount = HiddenCount(loaded);
        if (hiddenCount == static_cast<int>(loaded.size()) - 1) {
            for (Form* other : loaded) {
                if (!other->IsLoaded() || other->Visible())
                    continue;
                other->Show(vbModeless);
                other->Unload();
                if (hiddenCount != 1)
                    return;
            }
        }
    }
    form.Reset();
}

void UnloadAllForms() {
    Sleep(100);
    const std::vector<Form*> loaded = Screen::Forms();
    for (Form* form : loaded) {
        if (form->IsLoaded())
            form->Unload();
    }
}

}  // namespace platform
