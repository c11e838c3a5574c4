#pragma once

#include <QComboBox>
#include <string>
#include <vector>

#include "platform/mounts.h"

namespace keelpack::ui {

class FolderList;

// The drive list (`Drive1`): the mounted file systems that hold user files, by mount point.
class DriveList : public QComboBox {
  Q_OBJECT

 public:
  explicit DriveList(QWidget* parent = nullptr);

  // Reads the mount points again; the current drive stays when it is still mounted.
  void Reread();
  // The current drive's mount point.
  std::string CurrentDrive() const;
  // Shows the drive that holds `folder`, without raising driveChanged.
  void ShowDriveOf(const std::string& folder);

 signals:
  // The user picked another drive.
  void driveChanged();

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void Picked(int index);

  std::vector<platform::MountPoint> mounts_;
  int shownIndex_ = -1;
};

// What a drive list and its folder list do when the user picks another drive: the folder
// list opens the drive; when the drive cannot be read it stays where it was, and the drive
// list goes back to the drive of the folder list's folder.
void FollowDrive(DriveList& drives, FolderList& folders);

}  // namespace keelpack::ui
