#pragma once

#include <QImage>
#include <QRect>
#include <QSize>

// The pictures of the about screen, painted at run time so that no image file has to ship
// with the program. Sizes are in the layout's pixels; `ratio` device pixels make one of them,
// so that the pictures stay sharp on a high-density screen. Pure black (0, 0, 0) is the see-through
// colour: the pictures use it only where the desktop may show through, and a near-black wherever
// they mean dark.

namespace keelpack::ui {

// The logo that sails off towards the horizon: a small boat whose sail is made of picture
// blocks.
QImage DrawBoatLogo(QSize size, qreal ratio = 1);

// The night behind everything: black sky with a few stars and a moon, the sea below the
// horizon at `horizonY`. No star is put inside `keepClear`, where the credits scroll.
QImage DrawNightSea(QSize size, int horizonY, QRect keepClear, qreal ratio = 1);

// The program's name as a lettering, shown above the credits.
QImage DrawWordMark(QSize size, qreal ratio = 1);

// The three hidden pictures behind the code words.
QImage DrawBlockShapes(QSize size, qreal ratio = 1);  // the 64 patterns blocks are mixed of
QImage DrawSunset(QSize size, qreal ratio = 1);       // the boat at sunset
QImage DrawCommentDump(QSize size, qreal ratio = 1);  // a comment segment, byte by byte

}  // namespace keelpack::ui
