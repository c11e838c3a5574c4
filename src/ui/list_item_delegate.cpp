#include "ui/list_item_delegate.h"

#include <QListWidget>
#include <QPainter>

namespace keelpack::ui {
namespace {
constexpr int kFocusFramePixels = 2;
}

ListItemDelegate::ListItemDelegate(QListWidget* list, int indentRole, int indentPixels)
    : QStyledItemDelegate(list), indentRole_(indentRole), indentPixels_(indentPixels) {
  list->setItemDelegate(this);
  list->setTextElideMode(Qt::ElideMiddle);
  // Entries are as wide as the list: a name too long for it is cut short, never hidden
  // beyond a scroll bar.
  list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
}

int ListItemDelegate::Indent(const QModelIndex& index) const {
  return indentRole_ < 0 ? 0 : index.data(indentRole_).toInt() * indentPixels_;
}

void ListItemDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                             const QModelIndex& index) const {
  QStyleOptionViewItem shifted(option);
  shifted.rect.setLeft(option.rect.left() + Indent(index));
  // The style's own dotted focus line is hardly visible; the frame below replaces it.
  const bool focused = (option.state & QStyle::State_HasFocus) != 0;
  shifted.state &= ~QStyle::State_HasFocus;
  QStyledItemDelegate::paint(painter, shifted, index);
  if (!focused) return;
  painter->save();
  const bool selected = (option.state & QStyle::State_Selected) != 0;
  QPen pen(option.palette.color(selected ? QPalette::HighlightedText : QPalette::Highlight));
  pen.setWidth(kFocusFramePixels);
  pen.setJoinStyle(Qt::MiterJoin);
  painter->setPen(pen);
  const int inset = kFocusFramePixels / 2;
  painter->drawRect(shifted.rect.adjusted(inset, inset, -inset - 1, -inset - 1));
  painter->restore();
}

QSize ListItemDelegate::sizeHint(const QStyleOptionViewItem& option,
                                 const QModelIndex& index) const {
  QSize size = QStyledItemDelegate::sizeHint(option, index);
  // Room above and below for the focus frame.
  size.rheight() += kFocusFramePixels;
  // As wide as the indent and an icon: the list gives the entry its whole width.
  size.setWidth(Indent(index) + option.decorationSize.width());
  return size;
}

}  // namespace keelpack::ui
