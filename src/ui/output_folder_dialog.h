#pragma once

#include <QDialog>
#include <string>

class QPushButton;

namespace keelpack::ui {

class DriveList;
class FolderList;

// "Choose Directory": picks or creates the output folder. A fresh dialog each time, opening
// at the process's current folder; OK takes the folder that is open, not a merely
// highlighted entry.
// design: cdForm (its Qt object name)
class OutputFolderDialog : public QDialog {
  Q_OBJECT

 public:
  explicit OutputFolderDialog(QWidget* parent = nullptr);

  // The open folder, the dialog's answer once it is accepted.
  std::string FolderPath() const;

 private slots:
  void NewFolder();

 private:
  DriveList* driveList_;          // design: Drive1
  FolderList* folderList_;        // design: Dir1
  QPushButton* newFolderButton_;  // design: newCommand
  QPushButton* okButton_;         // design: okCommand
  QPushButton* cancelButton_;     // design: cancelCommand
};

}  // namespace keelpack::ui
