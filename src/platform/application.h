#pragma once
// Process-wide facts: the application title, whether there is a display, and the status-line mirror. None of
// these fails: a line that cannot be written is lost.

#include <QString>

namespace platform {

// The title that message boxes without a title of their own carry; empty until SetAppTitle.
QString AppTitle();
void SetAppTitle(const QString& title);

// Chooses Qt's offscreen platform when neither DISPLAY nor WAYLAND_DISPLAY is set and QT_QPA_PLATFORM is not
// given. Call before the QApplication is created.
void ChooseQtPlatform();

// True when the windows are drawn offscreen (no display): message boxes and dialogs then use the terminal.
bool IsHeadless();

// True when standard input is a terminal a person can answer at (the program is not a background job).
bool HasTerminal();

// Writes one status line to standard output when the program is headless, and flushes it.
void WriteStatusLine(const QString& line);

// Writes one line to standard error, display or not, and flushes it: what an administrator must read.
void WriteErrorLine(const QString& line);

// The text as a terminal shows it: each CR LF pair and each lone CR becomes one line feed.
QString TerminalText(const QString& text);

}  // namespace platform
