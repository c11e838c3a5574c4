#pragma once

#include <QImage>
#include <QRegion>

class QWidget;

// Window translucency: a window's constant alpha, and pure black made see-through. Both are
// effects only; where the platform cannot show them, callers skip them and nothing else
// changes.

namespace keelpack::ui {

// Whether setting a window's opacity shows on this platform: on X11 only while a
// compositing manager runs; never on the offscreen and minimal platforms or on Wayland.
bool WindowOpacityAvailable();

// Gives the top-level window a constant alpha from 0 (invisible) to 255 (opaque).
void MakeWindowTransparent(QWidget* window, int alpha);

// Makes the window's pure-black pixels see-through, as the window looks now: the window is
// shaped to its other pixels. Call it again whenever what the window shows has changed.
void MakeBlackTransparent(QWidget* window);

// The pixels of `image` that are not pure black (alpha ignored).
QRegion NonBlackRegion(const QImage& image);

}  // namespace keelpack::ui
