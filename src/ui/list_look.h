#pragma once

#include <QStyledItemDelegate>
#include <string>
#include <vector>

class QListWidget;

namespace keelpack::ui {

// How the window's lists show their entries: a long name is cut short in its middle, where it
// differs least from its neighbours, and the entry that has the keyboard focus wears a frame
// thick enough to see at a glance. An entry may stand `indentRole` steps further in.
class ListLook : public QStyledItemDelegate {
 public:
  ListLook(QListWidget* list, int indentRole, int indentPixels);

  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override;
  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

 private:
  int Indent(const QModelIndex& index) const;

  int indentRole_;
  int indentPixels_;
};

// Names in the order people count them: "album2" before "album10", letter case aside. Names
// equal that way keep their byte order, so that the order is always the same.
void SortNaturally(std::vector<std::string>& names);

}  // namespace keelpack::ui
