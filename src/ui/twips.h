#pragma once

#include <QWidget>
#include <cmath>

namespace keelpack::ui {

// The window's design sizes are in twips: 15 twips make one pixel on a 96 DPI screen.
inline constexpr double kTwipsPerPixelAt96Dpi = 15;
inline constexpr double kReferenceDpi = 96;

// The space between the main window's blocks of controls.
inline constexpr int kWindowSpacingTwips = 105;

inline int TwipsToPixels(double twips, double logicalDpi) {
  return static_cast<int>(std::lround(twips / kTwipsPerPixelAt96Dpi * logicalDpi / kReferenceDpi));
}

// A design size in pixels on the screen the widget is on.
inline int Twips(const QWidget* widget, int twips) {
  return TwipsToPixels(twips, widget->logicalDpiY());
}

}  // namespace keelpack::ui
