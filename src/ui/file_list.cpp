#include "ui/file_list.h"

#include <QKeyEvent>
#include <algorithm>

#include "platform/listing.h"
#include "ui/list_item_delegate.h"
#include "ui/natural_order.h"
#include "ui/text.h"

namespace keelpack::ui {
namespace {
constexpr int kNameRole = Qt::UserRole;
}

FileList::FileList(QWidget* parent) : QListWidget(parent) {
  setObjectName("FileBox");
  setSelectionMode(QAbstractItemView::ExtendedSelection);
  setUniformItemSizes(true);
  new ListItemDelegate(this, -1, 0);
  // A selected-files run disables the list; the names it works on stay as readable as
  // before, rather than in the faint colours of a disabled list.
  QPalette colours = palette();
  for (QPalette::ColorRole role : {QPalette::Highlight, QPalette::HighlightedText}) {
    colours.setColor(QPalette::Disabled, role, colours.color(QPalette::Active, role));
  }
  setPalette(colours);
}

void FileList::SetFolder(const std::string& folder) {
  auto names = platform::ListFiles(folder);
  if (!names) return;
  SortNaturally(*names);
  folder_ = folder;
  clear();
  for (const std::string& name : *names) {
    auto* item = new QListWidgetItem(FromBytes(name), this);
    item->setData(kNameRole, BytesData(name));
    item->setToolTip(item->text());  // a long name is cut short in the list
  }
}

void FileList::Reread() { SetFolder(folder_); }

void FileList::Select(const std::vector<std::string>& names) {
  clearSelection();
  QListWidgetItem* first = nullptr;
  for (int i = 0; i < count(); ++i) {
    QListWidgetItem* entry = item(i);
    if (std::find(names.begin(), names.end(), DataBytes(entry->data(kNameRole))) == names.end())
      continue;
    entry->setSelected(true);
    if (first == nullptr) first = entry;
  }
  if (first == nullptr) return;
  setCurrentItem(first, QItemSelectionModel::NoUpdate);
  scrollToItem(first);
}

std::vector<std::string> FileList::SelectedNames() const {
  std::vector<std::string> names;
  for (int i = 0; i < count(); ++i) {
    if (item(i)->isSelected()) names.push_back(DataBytes(item(i)->data(kNameRole)));
  }
  return names;
}

QSize FileList::sizeHint() const {
  return designSize_.isValid() ? designSize_ : QListWidget::sizeHint();
}

void FileList::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_F5) {
    Reread();
    return;
  }
  QListWidget::keyPressEvent(event);
}

}  // namespace keelpack::ui
