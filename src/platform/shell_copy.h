#pragma once
// A file copy with the shell's behaviour: a progress window (progress lines on standard output without a
// display), a question before replacing an existing file, the target folder created when missing.

#include <QString>

class QWidget;

namespace platform {

inline constexpr int kShellCopyOk = 0;
inline constexpr int kShellCopyCancelled = 7;

// Copies source to target. Returns 0 on success, 7 when the user cancelled (declined to replace the target,
// or cancelled the progress window), another number for any other failure (e.g. 2 when the source is missing).
// A file that cannot be opened because it is busy or access is denied raises RuntimeError 70
// ("Permission denied"). owner, when given, owns the progress window.
int ShellCopyFile(const QString& source, const QString& target, QWidget* owner = nullptr);

}  // namespace platform
