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
    showMessage(text);
    repaint();
    if (mirrored_)
        WriteStatusLine(text);
}

}  // namespace platform
