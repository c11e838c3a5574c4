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

  Drive1 = new DriveList(this);
  Dir1 = new FolderList(FolderList::Extras::kNone, this);
  Dir1->SetDesignSize(
      QSize(Twips(this, kFolderListWidthTwips), Twips(this, kFolderListHeightTwips)));
  newCommand = MakeButton(QStringLiteral("&New..."), "newCommand", this);
  okCommand = MakeButton(QStringLiteral("&OK"), "okCommand", this);
  cancelCommand = MakeButton(QStringLiteral("&Cancel"), "cancelCommand", this);

  auto* layout = new QGridLayout(this);
  const int margin = Twips(this, kMarginTwips);
  layout->setContentsMargins(margin, margin, margin, margin);
  layout->addWidget(Drive1, 0, 0, 1, 4);
  layout->addWidget(Dir1, 1, 0, 1, 4);
  layout->addWidget(newCommand, 2, 0);
  layout->setColumnStretch(1, 1);
  layout->addWidget(okCommand, 2, 2);
  layout->addWidget(cancelCommand, 2, 3);
  setMinimumSize(Twips(this, kMinimumWidthTwips), Twips(this, kMinimumHeightTwips));
  setTabOrder(Drive1, Dir1);
  setTabOrder(Dir1, newCommand);
  setTabOrder(newCommand, okCommand);
  setTabOrder(okCommand, cancelCommand);

  connect(Drive1, &DriveList::driveChanged, this, [this] { FollowDrive(*Drive1, *Dir1); });
  connect(newCommand, &QPushButton::clicked, this, &OutputFolderDialog::NewFolder);
  connect(okCommand, &QPushButton::clicked, this, &QDialog::accept);
  connect(cancelCommand, &QPushButton::clicked, this, &QDialog::reject);

  if (const auto here = platform::CurrentFolder(); !here || !Dir1->setPath(*here))
    Dir1->setPath("/");
  Drive1->ShowDriveOf(Dir1->path());
}

std::string OutputFolderDialog::FolderPath() const { return Dir1->path(); }

void OutputFolderDialog::NewFolder() {
  std::string base = Dir1->path();
  if (base.empty() || base.back() != '/') base += '/';
  const QString answer = QInputDialog::getText(
      this, QStringLiteral("New Directory"),
      QStringLiteral("Please enter the name of the new directory to place in ") + FromBytes(base));
  // Every failure is silent: an empty or cancelled answer names the base itself, which
  // exists, and an invalid or existing name leaves the list at the base.
  const std::string folder = base + ToBytes(answer);
  platform::MakeFolder(folder);
  Dir1->Reread();
  Dir1->setPath(folder);
}

}  // namespace keelpack::ui
