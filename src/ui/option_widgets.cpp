#include "ui/option_widgets.h"

#include <QMouseEvent>

namespace keelpack::ui {

IccCheckBox::IccCheckBox(const QString& text, QWidget* parent) : QCheckBox(text, parent) {
  setTristate(true);
}

void IccCheckBox::nextCheckState() {
  // From grayed, a click checks the box, as a two-state box does with any state but checked.
  setCheckState(checkState() == Qt::Checked ? Qt::Unchecked : Qt::Checked);
}

void IccCheckBox::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::RightButton && rect().contains(event->position().toPoint())) {
    emit menuRequested();
    return;
  }
  QCheckBox::mouseReleaseEvent(event);
}

TabLabel::TabLabel(int index, const QString& text, QWidget* parent)
    : QLabel(text, parent), index_(index) {
  setAlignment(Qt::AlignCenter);
  setCursor(Qt::PointingHandCursor);
  setRaised(false);
}

void TabLabel::setRaised(bool raised) {
  // Raised: joined to the frame above it, in the frame's colour; lowered: a recessed tab.
  setStyleSheet(raised ? QStringLiteral("QLabel { border: 1px solid palette(mid); border-top: none;"
                                        " background: palette(window); padding: 0 8px; }")
                       : QStringLiteral("QLabel { border: 1px solid palette(mid);"
                                        " background: palette(button); padding: 0 8px; }"));
}

void TabLabel::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) {
    emit clicked(index_);
    return;
  }
  QLabel::mouseReleaseEvent(event);
}

}  // namespace keelpack::ui
