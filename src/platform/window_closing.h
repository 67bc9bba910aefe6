#pragma once
// Closing windows: every window's unload event calls CloseForm; the set-up dialog's Cancel calls
// UnloadAllForms.

#include "platform/form.h"

namespace platform {

// Called by a window's unload event with its program-wide reference. Makes sure hidden windows do not keep
// the program alive once the last visible window closes, then empties form (except in the early return when
// two or more hidden windows were found). An error of another window's unload event reaches the caller,
// with form left as it was.
void CloseForm(FormRefBase& form);

// Unloads every loaded window. An error of a window's unload event reaches the caller; the windows after it
// stay loaded.
void UnloadAllForms();

}  // namespace platform
