#pragma once
// The server password: read from a file or at a prompt, never from the command line, and kept only in a
// settings file that its owner alone can read.

#include <QString>

namespace tools {

// The first line of file ("-": standard input), without its line end. Raises CommandFailed (kExitNoInput)
// when it cannot be read.
QString ReadPasswordFile(const QString& file);

// Writes prompt to standard error and reads one line from the terminal without showing it. Returns the line
// ("" when the person only presses Enter, or at the end of input).
QString PromptPassword(const QString& prompt);

// True when someone other than its owner may read file (group or others have read permission).
bool ReadableByOthers(const QString& file);

// Makes file readable and writable by its owner only, creating it empty (with its folder) when it does not
// exist, so that what is written into it later is never readable by others. Raises CommandFailed
// (kExitCannotWrite) when that fails.
void MakeOwnerOnly(const QString& file);

}  // namespace tools
