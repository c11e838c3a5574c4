#include "ui/output_folder_dialog.h"

#include <QGridLayout>
#include <QInputDialog>
#include <QPushButton>

#include "platform/files.h"
#include "platform/folders.h"
#include "ui/drive_list.h"
#include "ui/folder_list.h"
#include "ui/text.h"
#include "ui/twips.h"

namespace keelpack::ui {
namespace {

// The chooser's designed sizes, in twips.
constexpr int kFolderListWidthTwips = 3375;
constexpr int kFolderListHeightTwips = 2490;
constexpr int kMarginTwips = 120;
constexpr int kMinimumWidthTwips = 3615;
constexpr int kMinimumHeightTwips = 3600;

QPushButton* MakeButton(const QString& caption, const char* name, QWidget* parent) {
  auto* button = new QPushButton(caption, parent);
  button->setObjectName(name);
  return button;
}

}  // namespace

OutputFolderDialog::OutputFolderDialog(QWidget* parent) : QDialog(parent) {
  setObjectName("cdForm");
  setWindowTitle(QStringLiteral("Choose Directory"));

  driveList_ = new DriveList(this);
  folderList_ = new FolderList(FolderList::Extras::kNone, this);
  folderList_->SetDesignSize(
      QSize(Twips(this, kFolderListWidthTwips), Twips(this, kFolderListHeightTwips)));
  newFolderButton_ = MakeButton(QStringLiteral("&New..."), "newCommand", this);
  okButton_ = MakeButton(QStringLiteral("&OK"), "okCommand", this);
  cancelButton_ = MakeButton(QStringLiteral("&Cancel"), "cancelCommand", this);

  auto* layout = new QGridLayout(this);
  const int margin = Twips(this, kMarginTwips);
  layout->setContentsMargins(margin, margin, margin, margin);
  layout->addWidget(driveList_, 0, 0, 1, 4);
  layout->addWidget(folderList_, 1, 0, 1, 4);
  layout->addWidget(newFolderButton_, 2, 0);
  layout->setColumnStretch(1, 1);
  layout->addWidget(okButton_, 2, 2);
  layout->addWidget(cancelButton_, 2, 3);
  setMinimumSize(Twips(this, kMinimumWidthTwips), Twips(this, kMinimumHeightTwips));
  setTabOrder(driveList_, folderList_);
  setTabOrder(folderList_, newFolderButton_);
  setTabOrder(newFolderButton_, okButton_);
  setTabOrder(okButton_, cancelButton_);

  connect(driveList_, &DriveList::driveChanged, this,
          [this] { FollowDrive(*driveList_, *folderList_); });
  connect(newFolderButton_, &QPushButton::clicked, this, &OutputFolderDialog::NewFolder);
  connect(okButton_, &QPushButton::clicked, this, &QDialog::accept);
  connect(cancelButton_, &QPushButton::clicked, this, &QDialog::reject);

  if (const auto here = platform::CurrentFolder(); !here || !folderList_->setPath(*here))
    folderList_->setPath("/");
  driveList_->ShowDriveOf(folderList_->path());
}

std::string OutputFolderDialog::FolderPath() const { return folderList_->path(); }

void OutputFolderDialog::NewFolder() {
  std::string base = folderList_->path();
  if (base.empty() || base.back() != '/') base += '/';
  const QString answer = QInputDialog::getText(
      this, QStringLiteral("New Directory"),
      QStringLiteral("Please enter the name of the new directory to place in ") + FromBytes(base));
  // Every failure is silent: an empty or cancelled answer names the base itself, which
  // exists, and an invalid or existing name leaves the list at the base.
  const std::string folder = base + ToBytes(answer);
  (void)platform::MakeFolder(folder);
  folderList_->Reread();
  folderList_->setPath(folder);
}

}  // namespace keelpack::ui
