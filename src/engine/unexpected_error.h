#pragma once
// The "Unexpected error" path: the error is shown in a fixed message and the program ends at once.

#include "platform/runtime_error.h"

namespace engine {

// The two wordings of the message: the rebuilds write "Error: " and "terminated", the creation of an entry
// writes "Error " and "termincated".
enum class UnexpectedErrorWording { Rebuild, BlacklistEntry };

// Shows the error's number and description with the "Unexpected error" ending of wording (OK button, no icon)
// and throws platform::EndProgram. Never returns.
[[noreturn]] void EndWithUnexpectedError(const platform::RuntimeError& error, UnexpectedErrorWording wording);

}  // namespace engine
