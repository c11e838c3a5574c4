// The main window's drive, folder and file lists and the typed-path entry.
#include <QComboBox>
#include <QDir>
#include <QInputDialog>
#include <QTest>

#include "ui/file_list.h"
#include "ui/folder_list.h"
#include "ui/form1.h"
#include "ui_support.h"

using keelpack::test::Child;

namespace {

QStringList Texts(const QListWidget* list) {
  QStringList texts;
  for (int i = 0; i < list->count(); ++i) texts << list->item(i)->text();
  return texts;
}

// What the folder list shows for `folder`: the chain from the root, then `subfolders`.
QStringList Shown(const std::string& folder, const QStringList& subfolders) {
  return QStringList{"/"} + QString::fromStdString(folder).split('/', Qt::SkipEmptyParts) +
         subfolders;
}

QPoint Centre(QListWidget* list, const QString& text) {
  return list->visualItemRect(list->findItems(text, Qt::MatchExactly).value(0)).center();
}

}  // namespace

class NavigationTest : public QObject {
  Q_OBJECT

 private slots:
  void init();
  void cleanup();

  void listsOpenAtTheCurrentFolder();
  void folderListOpensByDoubleClickOrEnterAndRereadsOnF5();
  void typedPathOpensHiddenFolders();

 private:
  std::string Top(const std::string& below = "") const { return tree_->File("top" + below); }
  void Touch(const std::string& name) { keelpack::test::WriteFile(Top(name), {0xFF, 0xD8}); }

  std::unique_ptr<keelpack::test::TempUserFolders> folders_;
  std::unique_ptr<keelpack::test::TempDir> tree_;
  std::unique_ptr<keelpack::test::ScopedCurrentFolder> here_;
  std::unique_ptr<keelpack::ui::Form1> form_;
  keelpack::ui::FolderList* dir1_ = nullptr;
  keelpack::ui::FileList* fileBox_ = nullptr;
};

void NavigationTest::init() {
  folders_ = std::make_unique<keelpack::test::TempUserFolders>();
  tree_ = std::make_unique<keelpack::test::TempDir>();
  for (const char* folder : {"/beta/inner", "/Alpha", "/.hidden/photos"}) {
    QVERIFY(QDir().mkpath(QString::fromStdString(Top(folder))));
  }
  for (const char* file : {"/photo.JPG", "/notes.txt", "/.x.jpe", "/b.jfif", "/a.jif"}) Touch(file);
  Touch("/.hidden/secret.jpeg");
  here_ = std::make_unique<keelpack::test::ScopedCurrentFolder>(Top());
  form_ = std::make_unique<keelpack::ui::Form1>();
  form_->show();
  QVERIFY(QTest::qWaitForWindowExposed(form_.get()));
  dir1_ = Child<keelpack::ui::FolderList>(form_.get(), "Dir1");
  fileBox_ = Child<keelpack::ui::FileList>(form_.get(), "FileBox");
}

void NavigationTest::cleanup() {
  form_.reset();
  here_.reset();
  tree_.reset();
  folders_.reset();
}

void NavigationTest::listsOpenAtTheCurrentFolder() {
  QCOMPARE(form_->FolderPath(), Top());
  QCOMPARE(Texts(dir1_), Shown(Top(), {"Alpha", "beta"}));  // no hidden folder
  QCOMPARE(dir1_->currentItem()->text(), QString("top"));
  // JPEG names in any letter case, hidden files too, in name order.
  QCOMPARE(Texts(fileBox_), QStringList({".x.jpe", "a.jif", "photo.JPG"}));
  QVERIFY(Child<QComboBox>(form_.get(), "Drive1")->currentText().startsWith("/"));

  // Extended selection: Ctrl+click adds to the selection, a plain click starts a new one.
  auto selected = [this] {
    std::vector<std::string> names;
    for (const auto& entry : form_->FileEntries()) {
      if (entry.selected) names.push_back(entry.name);
    }
    return names;
  };
  QTest::mouseClick(fileBox_->viewport(), Qt::LeftButton, {}, Centre(fileBox_, ".x.jpe"));
  QTest::mouseClick(fileBox_->viewport(), Qt::LeftButton, Qt::ControlModifier,
                    Centre(fileBox_, "photo.JPG"));
  QCOMPARE(selected(), std::vector<std::string>({".x.jpe", "photo.JPG"}));
  QTest::mouseClick(fileBox_->viewport(), Qt::LeftButton, {}, Centre(fileBox_, "a.jif"));
  QCOMPARE(selected(), std::vector<std::string>({"a.jif"}));
}

void NavigationTest::folderListOpensByDoubleClickOrEnterAndRereadsOnF5() {
  QTest::mouseClick(dir1_->viewport(), Qt::LeftButton, {}, Centre(dir1_, "beta"));
  QCOMPARE(form_->FolderPath(), Top());  // a single click only highlights
  QTest::keyClick(dir1_, Qt::Key_Return);
  QCOMPARE(form_->FolderPath(), Top("/beta"));
  QCOMPARE(Texts(dir1_), Shown(Top("/beta"), {"inner"}));
  QCOMPARE(fileBox_->count(), 0);  // the file list follows
  keelpack::test::DoubleClick(dir1_->viewport(), Centre(dir1_, "top"));
  QCOMPARE(form_->FolderPath(), Top());
  QCOMPARE(fileBox_->count(), 3);

  // F5 re-reads the list it is pressed in, and only that one.
  QVERIFY(QDir().mkpath(QString::fromStdString(Top("/gamma"))));
  Touch("/new.jpeg");
  fileBox_->item(0)->setSelected(true);
  QTest::keyClick(fileBox_, Qt::Key_F5);
  QCOMPARE(Texts(fileBox_), QStringList({".x.jpe", "a.jif", "new.jpeg", "photo.JPG"}));
  QVERIFY(fileBox_->selectedItems().isEmpty());
  QCOMPARE(Texts(dir1_), Shown(Top(), {"Alpha", "beta"}));
  QTest::keyClick(dir1_, Qt::Key_F5);
  QCOMPARE(Texts(dir1_), Shown(Top(), {"Alpha", "beta", "gamma"}));
}

void NavigationTest::typedPathOpensHiddenFolders() {
  QString asked;
  auto type = [&](const QString& text, bool accept) {
    auto watch = keelpack::test::WhenDialogOpens([&](QWidget* widget) {
      auto* input = static_cast<QInputDialog*>(widget);
      asked = input->windowTitle() + ": " + input->labelText();
      input->setTextValue(text);
      accept ? input->accept() : input->reject();
    });
    QTest::mouseClick(dir1_->viewport(), Qt::RightButton, {}, QPoint(10, 10));
  };
  type(QString::fromStdString(Top("/.hidden")), true);
  QCOMPARE(asked, QString("Keelpack: Enter custom path (network or hidden directory):"));
  QCOMPARE(form_->FolderPath(), Top("/.hidden"));
  QCOMPARE(Texts(dir1_), Shown(Top("/.hidden"), {"photos"}));
  QCOMPARE(Texts(fileBox_), QStringList({"secret.jpeg"}));
  QCOMPARE(form_->focusWidget(), dir1_);

  // Cancelled, empty or not a folder: nothing changes. A relative path starts at the open one.
  type(QString::fromStdString(Top()), false);
  type("", true);
  type(QString::fromStdString(Top("/notes.txt")), true);
  QCOMPARE(form_->FolderPath(), Top("/.hidden"));
  type("../beta/", true);
  QCOMPARE(form_->FolderPath(), Top("/beta"));
}

QTEST_MAIN(NavigationTest)
#include "ui_navigation_test.moc"
