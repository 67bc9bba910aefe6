#pragma once
// Controls whose caption changes are painted at once (no message loop runs during the program's work).

#include <QLabel>
#include <QStatusBar>

namespace platform {

// A label. SetCaption sets the text and repaints it at once; a mirrored label also writes the caption as a
// status line on standard output when the program is headless. Neither fails.
class Label : public QLabel {
    Q_OBJECT
public:
    explicit Label(QWidget* parent = nullptr) : QLabel(parent) {}
    void SetCaption(const QString& caption);
    QString Caption() const { return text(); }
    void SetMirrored(bool mirrored) { mirrored_ = mirrored; }

private:
    bool mirrored_ = false;
};

// The common-controls status bar in its simple style: one text across the bar.
class StatusBar : public QStatusBar {
    Q_OBJECT
public:
    explicit StatusBar(QWidget* parent = nullptr) : QStatusBar(parent) { setSizeGripEnabled(false); }
    // Sets the text and repaints the bar at once; a mirrored bar also writes it as a status line when the
    // program is headless. Never fails.
    void SetSimpleText(const QString& text);
    QString SimpleText() const { return currentMessage(); }
    void SetMirrored(bool mirrored) { mirrored_ = mirrored; }

private:
    bool mirrored_ = false;
};

}  // namespace platform
