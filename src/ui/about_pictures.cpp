#include "ui/about_pictures.h"

#include <QFont>
#include <QFontMetricsF>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <QRadialGradient>
#include <QString>
#include <cmath>
#include <numbers>
#include <random>

namespace keelpack::ui {
namespace {

// The see-through colour. Everything else stays clear of it on purpose.
const QColor kSeeThrough(0, 0, 0);
// Dark backgrounds of the hidden pictures: they must show, so they are not pure black.
const QColor kDeepNavy(11, 22, 38);
const QColor kTerminal(16, 20, 24);

const QColor kHull(232, 131, 58);
const QColor kHullShade(184, 88, 36);
const QColor kSail(244, 239, 226);
const QColor kSailBlock(159, 211, 240);
const QColor kSeaTop(13, 51, 84);
const QColor kSeaBottom(6, 24, 42);
const QColor kWave(70, 140, 190);
const QColor kMoon(243, 233, 198);

// The boat is designed on a 100 x 50 grid and scaled to the box it is painted into.
constexpr double kBoatGridWidth = 100.0;
constexpr double kBoatGridHeight = 50.0;
// Size of one picture block on the sails, in grid units.
constexpr double kSailBlockSize = 4.0;

// Fixed seeds: the sky and the waves look the same every time the screen opens.
constexpr unsigned kStarSeed = 7;
constexpr unsigned kWaveSeed = 11;
constexpr int kStarCount = 70;
constexpr int kWaveRows = 9;

// `size` in the layout's pixels; the image holds `ratio` times as many in each direction and
// is painted in layout pixels all the same.
QImage BlankImage(QSize size, qreal ratio, const QColor& fill) {
  QImage image(size * ratio, QImage::Format_ARGB32_Premultiplied);
  image.setDevicePixelRatio(ratio);
  image.fill(fill);
  return image;
}

QFont SansFont(double pixelSize, bool bold) {
  QFont font(QStringLiteral("Sans Serif"));
  font.setStyleHint(QFont::SansSerif);
  font.setPixelSize(std::max(1, static_cast<int>(std::lround(pixelSize))));
  font.setBold(bold);
  return font;
}

QFont MonoFont(double pixelSize) {
  QFont font(QStringLiteral("Monospace"));
  font.setStyleHint(QFont::TypeWriter);
  font.setFixedPitch(true);
  font.setPixelSize(std::max(1, static_cast<int>(std::lround(pixelSize))));
  return font;
}

// The Keelpack boat: hull with its keel, mast, main sail and jib. With `blocks` the sails
// show the picture blocks the program is about; a silhouette passes one colour for all.
void PaintBoat(QPainter& painter, const QRectF& box, const QColor& hull, const QColor& hullShade,
               const QColor& sail, const QColor* sailBlock) {
  painter.save();
  painter.translate(box.topLeft());
  painter.scale(box.width() / kBoatGridWidth, box.height() / kBoatGridHeight);
  painter.setPen(Qt::NoPen);

  const QPolygonF hullShape({{6, 29}, {94, 29}, {82, 41}, {18, 41}});
  const QPolygonF keel({{44, 40}, {56, 40}, {50, 49}});
  painter.setBrush(hullShade);
  painter.drawPolygon(keel);
  painter.setBrush(hull);
  painter.drawPolygon(hullShape);
  painter.setBrush(hullShade);
  painter.drawRect(QRectF(13, 33, 74, 2.5));

  QPainterPath sails;
  sails.addPolygon(QPolygonF({{52.5, 3}, {52.5, 27}, {86, 27}}));
  sails.closeSubpath();
  sails.addPolygon(QPolygonF({{47.5, 7}, {47.5, 27}, {20, 27}}));
  sails.closeSubpath();
  painter.fillPath(sails, sail);
  if (sailBlock != nullptr) {
    painter.setClipPath(sails);
    for (double y = 3; y < 27; y += kSailBlockSize) {
      for (double x = 20; x < 86; x += kSailBlockSize) {
        const int column = static_cast<int>(x / kSailBlockSize);
        const int row = static_cast<int>(y / kSailBlockSize);
        if ((column + row) % 2 == 0) {
          painter.fillRect(QRectF(x, y, kSailBlockSize, kSailBlockSize), *sailBlock);
        }
      }
    }
    painter.setClipping(false);
  }
  painter.setBrush(hullShade);
  painter.drawRect(QRectF(49, 1.5, 2, 28));
  painter.restore();
}

// Wave crests on a sea band: short arcs, sparse and thin near the horizon and longer towards
// the viewer, which is all the perspective a small picture needs.
void PaintWaves(QPainter& painter, const QRectF& sea, const QColor& colour, unsigned seed) {
  std::mt19937 random(seed);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  for (int row = 0; row < kWaveRows; ++row) {
    const double depth = (row + 1.0) / kWaveRows;
    // The crests rise a few pixels: the first row stays clear of the sky above the horizon.
    constexpr double kCrestRoom = 5;
    const double y = sea.top() + kCrestRoom + (sea.height() - kCrestRoom) * depth * depth * 0.95;
    const double length = 6.0 + 26.0 * depth;
    const int count = 5 + row;
    QColor crest = colour;
    crest.setAlphaF(static_cast<float>(0.35 + 0.5 * depth));
    painter.setPen(QPen(crest, 0.8 + 1.2 * depth, Qt::SolidLine, Qt::RoundCap));
    for (int i = 0; i < count; ++i) {
      const double x = sea.left() + sea.width() * (i + unit(random)) / count;
      QPainterPath arc;
      arc.moveTo(x, y);
      arc.quadTo(x + length / 2, y - 2.0 - 2.0 * depth, x + length, y);
      painter.drawPath(arc);
    }
  }
}

}  // namespace

QImage DrawBoatLogo(QSize size, qreal ratio) {
  // Clear around the boat, so that the sea behind it shows.
  QImage image = BlankImage(size, ratio, Qt::transparent);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  PaintBoat(painter, QRectF(QPointF(0, 0), size), kHull, kHullShade, kSail, &kSailBlock);
  return image;
}

QImage DrawNightSea(QSize size, int horizonY, QRect keepClear, qreal ratio) {
  QImage image = BlankImage(size, ratio, kSeeThrough);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  const double width = size.width();
  const double height = size.height();

  // Stars are crisp squares of one or two pixels: soft edges would fade towards the
  // see-through black and leave dark rims where the desktop shows.
  std::mt19937 random(kStarSeed);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  for (int i = 0; i < kStarCount; ++i) {
    const QPoint star(static_cast<int>(width * unit(random)),
                      static_cast<int>((horizonY - 12.0) * unit(random)));
    const int side = unit(random) < 0.3 ? 2 : 1;
    const float brightness = static_cast<float>(0.45 + 0.55 * unit(random));
    if (keepClear.adjusted(-6, -6, 6, 6).contains(star)) continue;
    painter.fillRect(QRect(star, QSize(side, side)),
                     QColor::fromRgbF(0.85f * brightness, 0.9f * brightness, brightness));
  }

  // A crescent: the moon with a see-through disc taken out of it.
  const double moonRadius = 0.05 * std::min(width, height);
  const QPointF moon(width * 0.92, height * 0.1);  // clear of the lettering
  painter.setBrush(kMoon);
  painter.drawEllipse(moon, moonRadius, moonRadius);
  painter.setBrush(kSeeThrough);
  painter.drawEllipse(moon + QPointF(moonRadius * 0.45, -moonRadius * 0.2), moonRadius * 0.85,
                      moonRadius * 0.85);

  const QRectF sea(0, horizonY, width, height - horizonY);
  QLinearGradient water(sea.topLeft(), sea.bottomLeft());
  water.setColorAt(0, kSeaTop);
  water.setColorAt(1, kSeaBottom);
  painter.fillRect(sea, water);

  QLinearGradient horizon(0, 0, width, 0);
  horizon.setColorAt(0, QColor(74, 143, 192, 40));
  horizon.setColorAt(0.5, QColor(120, 190, 235, 220));
  horizon.setColorAt(1, QColor(74, 143, 192, 40));
  painter.fillRect(QRectF(0, horizonY, width, 1.2), horizon);

  // The moon's path on the water.
  for (int i = 0; i < 7; ++i) {
    const double y = horizonY + 5.0 + i * (sea.height() - 8.0) / 7.0;
    const double half = 3.0 + 2.5 * i;
    QColor glint = kMoon;
    glint.setAlphaF(static_cast<float>(0.8 - 0.08 * i));
    painter.fillRect(QRectF(moon.x() - half, y, 2 * half, 1.0), glint);
  }
  PaintWaves(painter, sea, kWave, kWaveSeed);
  return image;
}

QImage DrawWordMark(QSize size, qreal ratio) {
  QImage image = BlankImage(size, ratio, Qt::transparent);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);

  constexpr double kDesignPixelSize = 100.0;
  QPainterPath lettering;
  lettering.addText(0, 0, SansFont(kDesignPixelSize, true), QStringLiteral("Keelpack"));
  const QRectF bounds = lettering.boundingRect();
  const double scale =
      std::min(size.width() * 0.92 / bounds.width(), size.height() * 0.72 / bounds.height());
  const QPointF origin((size.width() - bounds.width() * scale) / 2 - bounds.left() * scale,
                       size.height() * 0.06 - bounds.top() * scale);

  painter.translate(origin);
  painter.scale(scale, scale);
  QLinearGradient fill(0, bounds.top(), 0, bounds.bottom());
  fill.setColorAt(0, QColor(222, 245, 255));
  fill.setColorAt(0.55, QColor(128, 196, 240));
  fill.setColorAt(1, QColor(52, 132, 204));
  painter.setPen(QPen(QColor(14, 44, 78), 1.8 / scale));  // 1.8 pixels once scaled
  painter.setBrush(fill);
  painter.drawPath(lettering);
  painter.resetTransform();

  // A wave under the name, in the hull's colour.
  const double baseline = size.height() * 0.9;
  QPainterPath wave;
  const double left = size.width() * 0.2;
  const double right = size.width() * 0.8;
  wave.moveTo(left, baseline);
  constexpr int kWaveSteps = 80;
  for (int i = 1; i <= kWaveSteps; ++i) {
    const double t = static_cast<double>(i) / kWaveSteps;
    wave.lineTo(left + (right - left) * t,
                baseline + std::sin(t * 6 * std::numbers::pi) * size.height() * 0.03);
  }
  painter.setPen(QPen(kHull, std::max(1.5, size.height() * 0.035), Qt::SolidLine, Qt::RoundCap));
  painter.setBrush(Qt::NoBrush);
  painter.drawPath(wave);
  return image;
}

QImage DrawBlockShapes(QSize size, qreal ratio) {
  QImage image = BlankImage(size, ratio, kDeepNavy);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  constexpr int kBlock = 8;
  constexpr double kGap = 3.0;
  const double captionHeight = size.height() * 0.14;
  const double side = std::min(size.width() * 0.9, size.height() - 2.5 * captionHeight);
  const double cell = (side - (kBlock - 1) * kGap) / kBlock;
  const double sample = cell / kBlock;
  const QPointF origin((size.width() - side) / 2, captionHeight);

  const QColor low(14, 46, 77);
  const QColor high(232, 246, 255);
  for (int v = 0; v < kBlock; ++v) {
    for (int u = 0; u < kBlock; ++u) {
      const QPointF corner = origin + QPointF(u * (cell + kGap), v * (cell + kGap));
      for (int y = 0; y < kBlock; ++y) {
        for (int x = 0; x < kBlock; ++x) {
          const double value = std::cos((2 * x + 1) * u * std::numbers::pi / 16) *
                               std::cos((2 * y + 1) * v * std::numbers::pi / 16);
          const double t = (value + 1) / 2;
          const QColor colour = QColor::fromRgbF(
              static_cast<float>(low.redF() + (high.redF() - low.redF()) * t),
              static_cast<float>(low.greenF() + (high.greenF() - low.greenF()) * t),
              static_cast<float>(low.blueF() + (high.blueF() - low.blueF()) * t));
          // A hair larger than a sample, so that no seam of the background shows through.
          painter.fillRect(
              QRectF(corner.x() + x * sample, corner.y() + y * sample, sample + 0.5, sample + 0.5),
              colour);
        }
      }
    }
  }

  painter.setPen(QColor(159, 198, 230));
  painter.setFont(SansFont(captionHeight * 0.38, true));
  painter.drawText(QRectF(0, 0, size.width(), captionHeight), Qt::AlignCenter,
                   QStringLiteral("64 patterns"));
  painter.setFont(SansFont(captionHeight * 0.28, false));
  painter.drawText(QRectF(0, origin.y() + side, size.width(), size.height() - origin.y() - side),
                   Qt::AlignCenter,
                   QStringLiteral("Every 8 x 8 block of a JPEG is a mix of these.\n"
                                  "Keelpack never touches the mix."));
  return image;
}

QImage DrawSunset(QSize size, qreal ratio) {
  QImage image = BlankImage(size, ratio, kDeepNavy);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  const double width = size.width();
  const double height = size.height();
  const double horizon = height * 0.62;

  QLinearGradient sky(0, 0, 0, horizon);
  sky.setColorAt(0, QColor(29, 17, 71));
  sky.setColorAt(0.55, QColor(168, 50, 110));
  sky.setColorAt(1, QColor(245, 154, 60));
  painter.fillRect(QRectF(0, 0, width, horizon), sky);

  const double sunRadius = height * 0.16;
  const QPointF sun(width * 0.5, horizon + sunRadius * 0.25);
  QRadialGradient glow(sun, sunRadius * 2.6);
  glow.setColorAt(0, QColor(255, 214, 120, 160));
  glow.setColorAt(1, QColor(255, 214, 120, 0));
  painter.fillRect(QRectF(0, 0, width, horizon), glow);
  painter.save();
  painter.setClipRect(QRectF(0, 0, width, horizon));
  painter.setPen(Qt::NoPen);
  painter.setBrush(QColor(255, 211, 107));
  painter.drawEllipse(sun, sunRadius, sunRadius);
  painter.restore();

  const QRectF sea(0, horizon, width, height - horizon);
  QLinearGradient water(sea.topLeft(), sea.bottomLeft());
  water.setColorAt(0, QColor(92, 36, 80));
  water.setColorAt(1, QColor(20, 11, 36));
  painter.fillRect(sea, water);
  for (int i = 0; i < 10; ++i) {
    const double y = horizon + 3 + i * sea.height() / 10.5;
    const double half = sunRadius * (1.0 - i * 0.08) * (i % 2 == 0 ? 1.0 : 0.7);
    painter.fillRect(QRectF(sun.x() - half, y, 2 * half, 2.2), QColor(255, 200, 110, 170 - 12 * i));
  }

  const QColor silhouette(22, 10, 30);
  const double boatWidth = width * 0.3;
  PaintBoat(painter, QRectF(width * 0.2, horizon - boatWidth * 0.36, boatWidth, boatWidth * 0.5),
            silhouette, silhouette, silhouette, nullptr);

  painter.setPen(QColor(255, 222, 170));
  painter.setFont(SansFont(height * 0.055, false));
  painter.drawText(QRectF(0, height * 0.86, width * 0.95, height * 0.12),
                   Qt::AlignRight | Qt::AlignVCenter, QStringLiteral("Fair winds."));
  return image;
}

QImage DrawCommentDump(QSize size, qreal ratio) {
  QImage image = BlankImage(size, ratio, kTerminal);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::TextAntialiasing);

  // A file that is nothing but a comment segment: start of image, FF FE with its length, the
  // text, end of image. Exactly the kind of segment the program drops first.
  const QByteArray message =
      "Keelpack was here. Smaller files, same pictures. If you can read this, you are "
      "reading the bytes!";
  QByteArray bytes("\xFF\xD8\xFF\xFE", 4);
  const int segmentLength = static_cast<int>(message.size()) + 2;
  bytes.append(static_cast<char>(segmentLength >> 8));
  bytes.append(static_cast<char>(segmentLength & 0xFF));
  bytes.append(message);
  bytes.append("\xFF\xD9", 2);

  constexpr int kBytesPerLine = 8;
  const int lineCount = static_cast<int>((bytes.size() + kBytesPerLine - 1) / kBytesPerLine);
  const double margin = size.width() * 0.05;
  // offset, two blanks, eight "xx ", a blank, eight characters
  constexpr int kColumns = 8 + 2 + 3 * kBytesPerLine + 1 + kBytesPerLine;
  // Sized so that the dump fills the width and its lines, with the title, the height.
  constexpr double kProbeSize = 20;
  constexpr double kLineGap = 1.12;
  QFont font = MonoFont(kProbeSize);
  const QFontMetricsF probe(font);
  const double top = size.height() * 0.16;
  const double byWidth =
      (size.width() - 2 * margin) / (kColumns * probe.horizontalAdvance(QLatin1Char('0')));
  const double byHeight =
      (size.height() - top - margin) / ((lineCount + 0.5) * probe.height() * kLineGap);
  font.setPixelSize(std::max(1, static_cast<int>(kProbeSize * std::min(byWidth, byHeight))));
  painter.setFont(font);
  const QFontMetricsF metrics(font);
  const double charWidth = metrics.horizontalAdvance(QLatin1Char('0'));
  const double lineHeight = metrics.height() * kLineGap;

  painter.setPen(QColor(159, 179, 200));
  painter.drawText(QRectF(margin, 0, size.width() - 2 * margin, top), Qt::AlignVCenter,
                   QStringLiteral("keelpack.jpg, a comment and nothing else"));

  const QColor offsetColour(93, 115, 136);
  const QColor byteColour(126, 224, 138);
  const QColor markerColour(232, 131, 58);
  const QColor textColour(255, 210, 122);
  for (int line = 0; line < lineCount; ++line) {
    const double y = top + (line + 1) * lineHeight;
    painter.setPen(offsetColour);
    painter.drawText(QPointF(margin, y),
                     QStringLiteral("%1").arg(line * kBytesPerLine, 8, 16, QLatin1Char('0')));
    for (int i = 0; i < kBytesPerLine; ++i) {
      const int at = line * kBytesPerLine + i;
      if (at >= bytes.size()) break;
      const auto byte = static_cast<unsigned char>(bytes[at]);
      const bool marker = at < 6 || at >= bytes.size() - 2;
      painter.setPen(marker ? markerColour : byteColour);
      painter.drawText(QPointF(margin + (10 + 3 * i) * charWidth, y),
                       QStringLiteral("%1").arg(byte, 2, 16, QLatin1Char('0')).toUpper());
      painter.setPen(textColour);
      const QChar shown = byte >= 0x20 && byte < 0x7F ? QChar(byte) : QChar('.');
      painter.drawText(QPointF(margin + (10 + 3 * kBytesPerLine + 1 + i) * charWidth, y), shown);
    }
  }
  return image;
}

}  // namespace keelpack::ui
