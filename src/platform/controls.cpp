#include "platform/controls.h"

#include "platform/application.h"

namespace platform {

void Label::SetCaption(const QString& caption) {
    setText(caption);
    repaint();
    if (mirrored_)
        WriteStatusLine(caption);
}

void StatusBar::SetSimpleText(const QString& text) {
    // A rebuild sets the counter thousands of times a second: the bar is painted with the next events (at
    // most a few milliseconds later), not at every setting.
    showMessage(text);
    if (mirrored_)
        WriteStatusLine(text);
}

}  // namespace platform
