#include "ui/file_list.h"

#include <QKeyEvent>

#include "platform/listing.h"
#include "ui/text.h"

namespace keelpack::ui {
namespace {
constexpr int kNameRole = Qt::UserRole;
}

FileList::FileList(QWidget* parent) : QListWidget(parent) {
  setObjectName("FileBox");
  setSelectionMode(QAbstractItemView::ExtendedSelection);
  setUniformItemSizes(true);
}

void FileList::setFolder(const std::string& folder) {
  const auto names = platform::ListFiles(folder);
  if (!names) return;
  folder_ = folder;
  clear();
  for (const std::string& name : *names) {
    auto* item = new QListWidgetItem(FromBytes(name), this);
    item->setData(kNameRole, BytesData(name));
  }
}

void FileList::reread() { setFolder(folder_); }

std::vector<FileEntry> FileList::entries() const {
  std::vector<FileEntry> result;
  result.reserve(static_cast<size_t>(count()));
  for (int i = 0; i < count(); ++i) {
    const QListWidgetItem* entry = item(i);
    result.push_back({DataBytes(entry->data(kNameRole)), entry->isSelected()});
  }
  return result;
}

QSize FileList::sizeHint() const {
  return designSize_.isValid() ? designSize_ : QListWidget::sizeHint();
}

void FileList::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_F5) {
    reread();
    return;
  }
  QListWidget::keyPressEvent(event);
}

}  // namespace keelpack::ui
