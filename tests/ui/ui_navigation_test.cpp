// The drive, folder and file lists of the main window and the typed-path entry.
#include <QComboBox>
#include <QDir>
#include <QInputDialog>
#include <QListWidget>
#include <QTest>

#include "platform/files.h"
#include "ui/file_list.h"
#include "ui/folder_list.h"
#include "ui/form1.h"
#include "ui_support.h"

using keelpack::test::Bytes;
using keelpack::test::Child;
using keelpack::test::TempDir;
using keelpack::test::TempUserFolders;
using keelpack::test::WhenDialogOpens;
using keelpack::ui::FileList;
using keelpack::ui::FolderList;
using keelpack::ui::Form1;

namespace {

QStringList Texts(const QListWidget* list) {
  QStringList texts;
  for (int i = 0; i < list->count(); ++i) texts << list->item(i)->text();
  return texts;
}

// The chain from the root down to `folder`, one entry per folder, as the folder list shows it.
QStringList ChainTo(const std::string& folder) {
  QStringList chain{"/"};
  chain += QString::fromStdString(folder).split('/', Qt::SkipEmptyParts);
  return chain;
}

void MakeFolder(const std::string& path) { QVERIFY(QDir().mkpath(QString::fromStdString(path))); }

void Touch(const std::string& path) { keelpack::test::WriteFile(path, Bytes{0xFF, 0xD8}); }

QPoint Centre(QListWidget* list, const QString& text) {
  const auto found = list->findItems(text, Qt::MatchExactly);
  if (found.size() != 1) qFatal("no single entry %s", qPrintable(text));
  return list->visualItemRect(found.first()).center();
}

}  // namespace

class NavigationTest : public QObject {
  Q_OBJECT

 private slots:
  void init();
  void cleanup();

  void listsOpenAtTheCurrentFolder();
  void folderListOpensByDoubleClickOrEnter();
  void f5RereadsEachList();
  void typedPathOpensHiddenFolders();

 private:
  std::unique_ptr<TempUserFolders> folders_;
  std::unique_ptr<TempDir> tree_;
  std::unique_ptr<keelpack::test::ScopedCurrentFolder> here_;
  std::unique_ptr<Form1> form_;
  FolderList* dir1_ = nullptr;
  FileList* fileBox_ = nullptr;
};

void NavigationTest::init() {
  folders_ = std::make_unique<TempUserFolders>();
  tree_ = std::make_unique<TempDir>();
  MakeFolder(tree_->File("top/beta/inner"));
  MakeFolder(tree_->File("top/Alpha"));
  MakeFolder(tree_->File("top/.hidden/photos"));
  Touch(tree_->File("top/photo.JPG"));
  Touch(tree_->File("top/notes.txt"));
  Touch(tree_->File("top/.x.jpe"));
  Touch(tree_->File("top/b.jfif"));
  Touch(tree_->File("top/a.jif"));
  Touch(tree_->File("top/.hidden/secret.jpeg"));
  here_ = std::make_unique<keelpack::test::ScopedCurrentFolder>(tree_->File("top"));
  form_ = std::make_unique<Form1>();
  form_->show();
  QVERIFY(QTest::qWaitForWindowExposed(form_.get()));
  dir1_ = Child<FolderList>(form_.get(), "Dir1");
  fileBox_ = Child<FileList>(form_.get(), "FileBox");
}

void NavigationTest::cleanup() {
  form_.reset();
  here_.reset();
  tree_.reset();
  folders_.reset();
}

void NavigationTest::listsOpenAtTheCurrentFolder() {
  const std::string top = tree_->File("top");
  QCOMPARE(form_->FolderPath(), top);
  // The chain, then the subfolders in name order; hidden folders are not offered.
  QCOMPARE(Texts(dir1_), ChainTo(top) + QStringList({"Alpha", "beta"}));
  QCOMPARE(dir1_->currentItem()->text(), QString("top"));
  // JPEG names in any letter case, hidden files too, in name order.
  QCOMPARE(Texts(fileBox_), QStringList({".x.jpe", "a.jif", "photo.JPG"}));
  QCOMPARE(fileBox_->selectionMode(), QAbstractItemView::ExtendedSelection);
  QVERIFY(fileBox_->selectedItems().isEmpty());
  // The drive list shows the drive that holds the folder.
  QVERIFY(Child<QComboBox>(form_.get(), "Drive1")->currentText().startsWith("/"));

  // Extended selection: Ctrl+click adds to the selection, a plain click starts a new one.
  QTest::mouseClick(fileBox_->viewport(), Qt::LeftButton, {}, Centre(fileBox_, ".x.jpe"));
  QTest::mouseClick(fileBox_->viewport(), Qt::LeftButton, Qt::ControlModifier,
                    Centre(fileBox_, "photo.JPG"));
  auto selected = [this] {
    std::vector<std::string> names;
    for (const auto& entry : form_->FileEntries()) {
      if (entry.selected) names.push_back(entry.name);
    }
    return names;
  };
  QCOMPARE(selected(), std::vector<std::string>({".x.jpe", "photo.JPG"}));
  QTest::mouseClick(fileBox_->viewport(), Qt::LeftButton, {}, Centre(fileBox_, "a.jif"));
  QCOMPARE(selected(), std::vector<std::string>({"a.jif"}));
}

void NavigationTest::folderListOpensByDoubleClickOrEnter() {
  const std::string top = tree_->File("top");
  // A single click only highlights.
  QTest::mouseClick(dir1_->viewport(), Qt::LeftButton, {}, Centre(dir1_, "beta"));
  QCOMPARE(form_->FolderPath(), top);
  QCOMPARE(dir1_->highlightedPath(), tree_->File("top/beta"));
  // Enter opens the highlighted entry; the file list follows, empty here.
  QTest::keyClick(dir1_, Qt::Key_Return);
  QCOMPARE(form_->FolderPath(), tree_->File("top/beta"));
  QCOMPARE(Texts(dir1_), ChainTo(tree_->File("top/beta")) + QStringList({"inner"}));
  QCOMPARE(fileBox_->count(), 0);
  // A double click on a folder of the chain goes back up.
  keelpack::test::DoubleClick(dir1_->viewport(), Centre(dir1_, "top"));
  QCOMPARE(form_->FolderPath(), top);
  QCOMPARE(fileBox_->count(), 3);
  // Enter on the open folder itself changes nothing.
  QTest::keyClick(dir1_, Qt::Key_Enter);
  QCOMPARE(form_->FolderPath(), top);
}

void NavigationTest::f5RereadsEachList() {
  MakeFolder(tree_->File("top/gamma"));
  Touch(tree_->File("top/new.jpeg"));
  QVERIFY(!Texts(dir1_).contains("gamma"));
  QVERIFY(!Texts(fileBox_).contains("new.jpeg"));

  fileBox_->item(0)->setSelected(true);
  QTest::keyClick(fileBox_, Qt::Key_F5);
  QCOMPARE(Texts(fileBox_), QStringList({".x.jpe", "a.jif", "new.jpeg", "photo.JPG"}));
  QVERIFY(fileBox_->selectedItems().isEmpty());
  QVERIFY(!Texts(dir1_).contains("gamma"));  // the other lists are untouched

  QTest::keyClick(dir1_, Qt::Key_F5);
  QCOMPARE(Texts(dir1_), ChainTo(tree_->File("top")) + QStringList({"Alpha", "beta", "gamma"}));
  QCOMPARE(form_->FolderPath(), tree_->File("top"));

  // A file list that cannot read its folder keeps what it shows.
  const std::string gone = tree_->File("top/beta/inner");
  fileBox_->setFolder(gone + "/missing");
  QCOMPARE(fileBox_->count(), 4);
}

void NavigationTest::typedPathOpensHiddenFolders() {
  QString title, prompt;
  auto answer = [&](const QString& text, bool accept) {
    auto watch = WhenDialogOpens([&, text, accept](QWidget* widget) {
      auto* input = static_cast<QInputDialog*>(widget);
      title = input->windowTitle();
      prompt = input->labelText();
      input->setTextValue(text);
      accept ? input->accept() : input->reject();
    });
    QTest::mouseClick(dir1_->viewport(), Qt::RightButton, {}, QPoint(10, 10));
  };

  answer(QString::fromStdString(tree_->File("top/.hidden")), true);
  QCOMPARE(title, QString("Keelpack"));
  QCOMPARE(prompt, QString("Enter custom path (network or hidden directory):"));
  QCOMPARE(form_->FolderPath(), tree_->File("top/.hidden"));
  QCOMPARE(Texts(dir1_), ChainTo(tree_->File("top/.hidden")) + QStringList({"photos"}));
  QCOMPARE(Texts(fileBox_), QStringList({"secret.jpeg"}));
  QCOMPARE(form_->focusWidget(), dir1_);

  // Cancelled, empty or not a folder: nothing changes.
  answer(QString::fromStdString(tree_->File("top")), false);
  QCOMPARE(form_->FolderPath(), tree_->File("top/.hidden"));
  answer("", true);
  QCOMPARE(form_->FolderPath(), tree_->File("top/.hidden"));
  answer(QString::fromStdString(tree_->File("top/notes.txt")), true);
  QCOMPARE(form_->FolderPath(), tree_->File("top/.hidden"));

  // A relative path is taken from the open folder.
  answer("../beta/", true);
  QCOMPARE(form_->FolderPath(), tree_->File("top/beta"));
}

QTEST_MAIN(NavigationTest)
#include "ui_navigation_test.moc"
