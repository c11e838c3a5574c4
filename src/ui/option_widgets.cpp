#include "ui/option_widgets.h"

#include <QMenu>
#include <QMouseEvent>
#include <QPainter>

namespace keelpack::ui {
namespace {
constexpr int kPaddingPixels = 8;  // between a tab's caption and its sides
}

IccCheckBox::IccCheckBox(const QString& text, QWidget* parent) : QCheckBox(text, parent) {
  setTristate(true);
  menu_ = new QMenu(QStringLiteral("ICC"), this);
  menu_->setObjectName("iccmenu");
  QAction* forceRemoval = menu_->addAction(QStringLiteral("Force Removal (may corrupt files)"));
  forceRemoval->setObjectName("forceiccremoval");
  connect(forceRemoval, &QAction::triggered, this, [this] { setCheckState(Qt::PartiallyChecked); });
}

void IccCheckBox::nextCheckState() {
  // From grayed, a click checks the box, as a two-state box does with any state but checked.
  setCheckState(checkState() == Qt::Checked ? Qt::Unchecked : Qt::Checked);
}

void IccCheckBox::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::RightButton && rect().contains(event->position().toPoint())) {
    menu_->exec(mapToGlobal(QPoint(0, height())));
    return;
  }
  QCheckBox::mouseReleaseEvent(event);
}

TabLabel::TabLabel(int index, const QString& text, QWidget* parent)
    : QLabel(text, parent), index_(index) {
  setAlignment(Qt::AlignCenter);
  setCursor(Qt::PointingHandCursor);
  setContentsMargins(kPaddingPixels, 0, kPaddingPixels, 0);
}

void TabLabel::SetRaised(bool raised) {
  raised_ = raised;
  update();
}

// Drawn here rather than by a style sheet: a widget with a style sheet keeps the font it had
// when the sheet was applied and no longer follows the window's font.
void TabLabel::paintEvent(QPaintEvent* event) {
  {
    // Raised: joined to the frame above it, in the frame's colour; lowered: a recessed tab.
    QPainter painter(this);
    const QRect edge = rect().adjusted(0, 0, -1, -1);
    painter.fillRect(rect(), palette().color(raised_ ? QPalette::Window : QPalette::Button));
    painter.setPen(palette().color(QPalette::Mid));
    painter.drawPolyline(
        QPolygon({edge.topLeft(), edge.bottomLeft(), edge.bottomRight(), edge.topRight()}));
    if (!raised_) painter.drawLine(edge.topLeft(), edge.topRight());
  }
  QLabel::paintEvent(event);
}

bool TabLabel::event(QEvent* event) {
  // A plain label hands its access key on to its buddy, and clicks the buddy when that is a
  // button: a check box on a hidden frame would be ticked unseen. The key shows the frame.
  if (event->type() == QEvent::Shortcut) {
    emit clicked(index_);
    return true;
  }
  return QLabel::event(event);
}

void TabLabel::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) {
    emit clicked(index_);
    return;
  }
  QLabel::mouseReleaseEvent(event);
}

}  // namespace keelpack::ui
