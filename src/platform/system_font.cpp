#include "platform/system_font.h"

namespace platform {

QFont SystemFont(bool bold) {
    QFont font(kSystemFontFamily);
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(kSystemFontPixels);
    font.setBold(bold);
    return font;
}

}  // namespace platform
