#include "ui/progress_status_bar.h"

#include <QLabel>
#include <cmath>

#include "ui/twips.h"

namespace keelpack::ui {
namespace {

constexpr int kHeightTwips = 375;
constexpr int kOpeningFillTwips = 15;  // a sliver of blue before the first run

const QString kStyle = QStringLiteral(
    "QFrame#backFrame { background: rgb(224, 224, 224); border: 1px solid rgb(150, 150, 150); }"
    "QFrame#FrontFrame { background: rgb(0, 128, 255); border: 1px solid rgb(0, 96, 200); }"
    "QLabel#backLabel { color: black; background: transparent; border: none; }"
    "QLabel#frontLabel { color: white; background: transparent; border: none; }");

QLabel* MakeLabel(const char* name, QWidget* parent) {
  auto* label = new QLabel(parent);
  label->setObjectName(name);
  label->setAlignment(Qt::AlignCenter);
  label->setTextFormat(Qt::PlainText);
  return label;
}

}  // namespace

ProgressStatusBar::ProgressStatusBar(QWidget* parent) : QFrame(parent) {
  setObjectName("backFrame");
  setStyleSheet(kStyle);
  backLabel_ = MakeLabel("backLabel", this);
  frontFrame_ = new QFrame(this);
  frontFrame_->setObjectName("FrontFrame");
  frontLabel_ = MakeLabel("frontLabel", frontFrame_);
  setFixedHeight(Twips(this, kHeightTwips));
  setMinimumWidth(Twips(this, 3000));
  frontFrame_->setGeometry(0, 0, Twips(this, kOpeningFillTwips), height());
}

void ProgressStatusBar::setText(const QString& text) {
  backLabel_->setText(text);
  frontLabel_->setText(text);
  emit textChanged(text);
}

QString ProgressStatusBar::text() const { return backLabel_->text(); }

void ProgressStatusBar::setPercent(float percent) {
  if (percent < 0) return;
  percent_ = percent;
  PlaceFrontLayer();
}

int ProgressStatusBar::filledWidth() const { return frontFrame_->width(); }

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
