#include "ui/drive_list.h"

#include <QKeyEvent>
#include <QStyle>

#include "ui/folder_list.h"
#include "ui/text.h"
#include "ui/twips.h"

namespace keelpack::ui {

constexpr int kDesignHeightTwips = 330;

DriveList::DriveList(QWidget* parent) : QComboBox(parent) {
  setObjectName("Drive1");
  setMinimumHeight(Twips(this, kDesignHeightTwips));
  Reread();
  connect(this, &QComboBox::activated, this, &DriveList::Picked);
}

void DriveList::Reread() {
  const std::string current = CurrentDrive();
  mounts_ = platform::MountPoints();
  const QIcon icon = style()->standardIcon(QStyle::SP_DriveHDIcon);
  QSignalBlocker quiet(this);
  clear();
  for (const platform::MountPoint& mount : mounts_) {
    QString text = FromBytes(mount.path);
    if (!mount.label.empty()) text += QStringLiteral("  (%1)").arg(FromBytes(mount.label));
    addItem(icon, text, BytesData(mount.path));
  }
  shownIndex_ = -1;
  if (!current.empty()) ShowDriveOf(current);
}

std::string DriveList::CurrentDrive() const {
  return currentIndex() < 0 ? std::string() : DataBytes(currentData());
}

void DriveList::ShowDriveOf(const std::string& folder) {
  const int index = platform::MountPointOf(mounts_, folder);
  if (index < 0) return;
  QSignalBlocker quiet(this);
  setCurrentIndex(index);
  shownIndex_ = index;
}

void DriveList::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_F5) {
    Reread();
    return;
  }
  QComboBox::keyPressEvent(event);
}

void DriveList::Picked(int index) {
  // Picking the drive already shown is no change.
  if (index == shownIndex_) return;
  shownIndex_ = index;
  emit driveChanged();
}

void FollowDrive(DriveList& drives, FolderList& folders) {
  folders.setPath(drives.CurrentDrive());
  drives.ShowDriveOf(folders.path());
}

}  // namespace keelpack::ui
