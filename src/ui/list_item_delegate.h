#pragma once

#include <QStyledItemDelegate>

class QListWidget;

namespace keelpack::ui {

// How the window's lists show their entries: a long name is cut short in its middle, where it
// differs least from its neighbours, and the entry that has the keyboard focus wears a frame
// thick enough to see at a glance. An entry may stand `indentRole` steps further in.
class ListItemDelegate : public QStyledItemDelegate {
 public:
  ListItemDelegate(QListWidget* list, int indentRole, int indentPixels);

  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override;
  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

 private:
  int Indent(const QModelIndex& index) const;

  int indentRole_;
  int indentPixels_;
};

}  // namespace keelpack::ui
