#pragma once
// Process-wide facts: the application title, whether there is a display, and the lines an administrator
// reads: the status-line mirror, warnings and errors. None of these fails: a line that cannot be written is
// lost. Under the journal (JOURNAL_STREAM set, as systemd sets it for a service's output) each line begins
// with its priority ("<3>" error, "<4>" warning, "<6>" status) and a text of several lines is written as one.

#include <QByteArray>
#include <QString>

namespace platform {

// The title that message boxes without a title of their own carry; empty until SetAppTitle.
QString AppTitle();
void SetAppTitle(const QString& title);

// How much a line matters to whoever reads the log.
enum class Severity { Error = 3, Warning = 4, Status = 6 };

// Chooses Qt's offscreen platform when QT_QPA_PLATFORM is not given and there is no display: neither DISPLAY
// nor WAYLAND_DISPLAY is set, or no X server answers on DISPLAY (which is then said once on standard error
// and unset). Call before the QApplication is created.
void ChooseQtPlatform();

// True when an X server accepts a connection on display (":0", "host:1.0").
bool DisplayOpens(const QByteArray& display);

// True when the windows are drawn offscreen (no display): message boxes and dialogs then use the terminal.
bool IsHeadless();

// True when standard input is a terminal a person can answer at (the program is not a background job).
bool HasTerminal();

// True when the program's output goes to the journal: JOURNAL_STREAM is set.
bool WritesToJournal();

// line as it is written: under the journal, the priority of severity and the text on one line; otherwise the
// text as a terminal shows it.
QString LogLine(const QString& line, Severity severity);

// Writes one status line to standard output when the program is headless, and flushes it. A line equal to the
// last one written is left out, unless an hour has passed on the program's clock since it was written: a long
// wait shows one line an hour.
void WriteStatusLine(const QString& line);

// Writes one line to standard output, display or not, and flushes it: the run's closing lines.
void WriteOutputLine(const QString& line, Severity severity = Severity::Status);

// Writes one line to standard error, display or not, and flushes it: what an administrator must read.
void WriteErrorLine(const QString& line, Severity severity = Severity::Error);

// The text as a terminal shows it: each CR LF pair and each lone CR becomes one line feed.
QString TerminalText(const QString& text);

}  // namespace platform
