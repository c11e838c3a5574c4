#include "ui/progress_status_bar.h"

#include <QLabel>
#include <cmath>

#include "ui/twips.h"

namespace keelpack::ui {
namespace {

constexpr int kHeightTwips = 375;
constexpr int kMinimumWidthTwips = 3000;
constexpr int kOpeningFillTwips = 15;  // a sliver of blue before the first run

// Colours set by palette rather than by a style sheet: a widget with a style sheet keeps the
// font it had when the sheet was applied and no longer follows the window's font.
void Colour(QWidget* widget, QColor fill, QColor text) {
  QPalette colours = widget->palette();
  if (fill.isValid()) colours.setColor(QPalette::Window, fill);
  colours.setColor(QPalette::WindowText, text);
  widget->setPalette(colours);
  widget->setAutoFillBackground(fill.isValid());
}

// A flat box with a one-pixel outline in the text colour.
void Outline(QFrame* frame) { frame->setFrameStyle(QFrame::Box | QFrame::Plain); }

QLabel* MakeLabel(const char* name, QColor text, QWidget* parent) {
  auto* label = new QLabel(parent);
  Colour(label, QColor(), text);
  label->setObjectName(name);
  label->setAlignment(Qt::AlignCenter);
  label->setTextFormat(Qt::PlainText);
  return label;
}

}  // namespace

ProgressStatusBar::ProgressStatusBar(QWidget* parent) : QFrame(parent) {
  setObjectName("backFrame");
  Outline(this);
  Colour(this, QColor(224, 224, 224), QColor(150, 150, 150));
  backLabel_ = MakeLabel("backLabel", Qt::black, this);
  frontFrame_ = new QFrame(this);
  frontFrame_->setObjectName("FrontFrame");
  Outline(frontFrame_);
  Colour(frontFrame_, QColor(0, 128, 255), QColor(0, 96, 200));
  frontLabel_ = MakeLabel("frontLabel", Qt::white, frontFrame_);
  setFixedHeight(Twips(this, kHeightTwips));
  setMinimumWidth(Twips(this, kMinimumWidthTwips));
  frontFrame_->setGeometry(0, 0, Twips(this, kOpeningFillTwips), height());
}

void ProgressStatusBar::setText(const QString& text) {
  backLabel_->setText(text);
  frontLabel_->setText(text);
  emit textChanged(text);
}

QString ProgressStatusBar::text() const { return backLabel_->text(); }

void ProgressStatusBar::SetPercent(float percent) {
  if (percent < 0) return;
  percent_ = percent;
  PlaceFrontLayer();
}

int ProgressStatusBar::FilledWidth() const { return frontFrame_->width(); }

void ProgressStatusBar::resizeEvent(QResizeEvent* event) {
  QFrame::resizeEvent(event);
  // Both labels cover the whole bar, so the two copies of the text lie exactly on each other.
  backLabel_->setGeometry(rect());
  frontLabel_->setGeometry(rect());
  if (percent_ >= 0) {
    PlaceFrontLayer();
  } else {
    frontFrame_->resize(frontFrame_->width(), height());
  }
}

void ProgressStatusBar::PlaceFrontLayer() {
  // nearbyint rounds halves to the even neighbour in the default rounding mode.
  const double filled = std::nearbyint(static_cast<double>(width()) * percent_ / 100.0);
  frontFrame_->setGeometry(0, 0, static_cast<int>(filled), height());
}

}  // namespace keelpack::ui
