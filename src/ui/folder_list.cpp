#include "ui/folder_list.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QStyle>
#include <filesystem>

#include "platform/listing.h"
#include "ui/list_item_delegate.h"
#include "ui/natural_order.h"
#include "ui/text.h"
#include "ui/twips.h"

namespace keelpack::ui {
namespace {

constexpr int kPathRole = Qt::UserRole;
constexpr int kDepthRole = Qt::UserRole + 1;
constexpr int kIndentTwips = 180;

// "/a/b" gives "/", "/a", "/a/b".
std::vector<std::string> Chain(const std::string& path) {
  std::vector<std::string> chain{"/"};
  for (size_t slash = path.find('/', 1); chain.back() != path; slash = path.find('/', slash + 1)) {
    chain.push_back(path.substr(0, slash));
    if (slash == std::string::npos) break;
  }
  return chain;
}

std::string LastName(const std::string& path) {
  return path == "/" ? path : path.substr(path.rfind('/') + 1);
}

}  // namespace

std::string CleanFolderPath(const std::string& path, const std::string& base) {
  std::filesystem::path full(path);
  if (full.is_relative()) full = std::filesystem::path(base) / full;
  std::string clean = full.lexically_normal().string();
  while (clean.size() > 1 && clean.back() == '/') clean.pop_back();
  return clean;
}

FolderList::FolderList(Extras extras, QWidget* parent) : QListWidget(parent), extras_(extras) {
  setObjectName("Dir1");
  new ListItemDelegate(this, kDepthRole, Twips(this, kIndentTwips));
  setSelectionMode(QAbstractItemView::SingleSelection);
  setUniformItemSizes(true);
  connect(this, &QListWidget::itemDoubleClicked, this, &FolderList::OpenHighlighted);
}

bool FolderList::setPath(const std::string& folder) {
  const std::string clean = CleanFolderPath(folder, path_.empty() ? "/" : path_);
  auto subfolders = platform::ListSubfolders(clean);
  if (!subfolders) return false;
  SortNaturally(*subfolders);
  const bool changed = clean != path_;
  path_ = clean;
  Fill(*subfolders);
  if (changed) emit pathChanged();
  return true;
}

void FolderList::Reread() {
  if (auto subfolders = platform::ListSubfolders(path_)) {
    SortNaturally(*subfolders);
    Fill(*subfolders);
  }
}

std::string FolderList::HighlightedPath() const {
  const QListWidgetItem* item = currentItem();
  return item == nullptr ? std::string() : DataBytes(item->data(kPathRole));
}

QSize FolderList::sizeHint() const {
  return designSize_.isValid() ? designSize_ : QListWidget::sizeHint();
}

void FolderList::Fill(const std::vector<std::string>& subfolders) {
  const QIcon open = style()->standardIcon(QStyle::SP_DirOpenIcon);
  const QIcon closed = style()->standardIcon(QStyle::SP_DirClosedIcon);
  clear();
  auto add = [this](const std::string& folder, int depth, const QIcon& icon) {
    auto* item = new QListWidgetItem(icon, FromBytes(LastName(folder)), this);
    item->setData(kPathRole, BytesData(folder));
    item->setData(kDepthRole, depth);
    item->setToolTip(FromBytes(folder));
    return item;
  };
  const std::vector<std::string> chain = Chain(path_);
  QListWidgetItem* openFolder = nullptr;
  for (size_t depth = 0; depth < chain.size(); ++depth) {
    openFolder = add(chain[depth], static_cast<int>(depth), open);
  }
  for (const std::string& subfolder : subfolders) {
    add(subfolder, static_cast<int>(chain.size()), closed);
  }
  setCurrentItem(openFolder);
  scrollToItem(openFolder, QAbstractItemView::PositionAtTop);
}

void FolderList::OpenHighlighted() {
  const std::string highlighted = HighlightedPath();
  // Failures are ignored: a highlighted folder that has vanished leaves the list as it is.
  if (!highlighted.empty()) setPath(highlighted);
}

void FolderList::keyPressEvent(QKeyEvent* event) {
  const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
  // The chooser's list opens by double click only; its Enter must not travel on to the
  // dialog's default button either.
  if (enter && extras_ == Extras::kNone) return;
  if (extras_ == Extras::kNavigator) {
    if (enter) {
      OpenHighlighted();
      return;
    }
    if (event->key() == Qt::Key_F5) {
      Reread();
      return;
    }
  }
  QListWidget::keyPressEvent(event);
}

void FolderList::mousePressEvent(QMouseEvent* event) {
  if (extras_ == Extras::kNavigator && event->button() == Qt::RightButton) {
    emit customPathRequested();
    return;
  }
  QListWidget::mousePressEvent(event);
}

}  // namespace keelpack::ui
