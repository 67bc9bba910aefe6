#pragma once
// The system font of the windows, "MS Sans Serif" 8.25 pt, and its stand-in on Linux.

#include <QFont>
#include <QString>

namespace platform {

// Liberation Sans (Debian's fonts-liberation), a plain sans-serif narrow enough at this size that every
// caption of the program fits the control the system sized for it (tests/app/captions_fit_test.cpp measures
// each one).
inline const QString kSystemFontFamily = QStringLiteral("Liberation Sans");
// 8.25 pt at the 96 dots per inch that 15 twips to the pixel stand for. The size is in pixels, so that a
// display of another resolution cannot make the text outgrow the controls, which are sized in pixels too.
inline constexpr int kSystemFontPixels = 11;

// The stand-in for "MS Sans Serif" 8.25 pt, bold when asked; every window carries it as its default font.
QFont SystemFont(bool bold = false);

}  // namespace platform
