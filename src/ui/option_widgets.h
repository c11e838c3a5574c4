#pragma once

#include <QCheckBox>
#include <QLabel>

class QMenu;

namespace keelpack::ui {

// The colour-profile box: clear (automatic), checked (keep all) or grayed (force removal).
// A left click only moves between clear and checked, as a two-state box does; the grayed
// state comes from its right-button menu or from the settings file.
class IccCheckBox : public QCheckBox {
  Q_OBJECT

 public:
  explicit IccCheckBox(const QString& text, QWidget* parent = nullptr);

 protected:
  void nextCheckState() override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  QMenu* menu_;  // "Force Removal (may corrupt files)"; design: iccmenu
};

// One label of the tab strip under the Safety and Target frames; a click or its access key
// (Alt with the underlined letter) shows its frame.
class TabLabel : public QLabel {
  Q_OBJECT

 public:
  TabLabel(int index, const QString& text, QWidget* parent = nullptr);

  // The label of the visible frame stands taller than the other.
  void SetRaised(bool raised);

 signals:
  void clicked(int index);

 protected:
  bool event(QEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void paintEvent(QPaintEvent* event) override;

 private:
  int index_;
  bool raised_ = false;
};

}  // namespace keelpack::ui
