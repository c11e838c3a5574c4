// The controls: the log box and its menu, screen debug, the colour-profile box and its menu,
// the different-folder option with its chooser, the tabs, and the drive, folder and file lists.
#include <sys/stat.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <QTextBlock>
#include <cstdlib>

#include "platform/files.h"
#include "ui/file_list.h"
#include "ui/folder_list.h"
#include "ui/form1.h"
#include "ui/log_text_box.h"
#include "ui/twips.h"
#include "ui_support.h"

using keelpack::test::Child;
using keelpack::test::ClickBox;
using keelpack::test::ClickEntry;
using keelpack::test::WhenDialogOpens;
using keelpack::test::WhenMenuOpens;

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

class ControlsTest : public QObject {
  Q_OBJECT

 private slots:
  void init();
  void cleanup() {
    form_.reset();
    here_.reset();
    tree_.reset();
    folders_.reset();
  }

  void logBoxTicksThroughItsMenu();
  void f12EchoesEveryLogMessage();
  void iccBoxGraysOnlyThroughItsMenu();
  void chooserSetsTheOutputFolderAndDifferentFolderDisablesBackups();
  void tabsSwitchByClickAndShortcut();
  void listsFollowOneAnother();
  void typedPathOpensHiddenFolders();

 private:
  QCheckBox* Box(const char* name) { return Child<QCheckBox>(form_.get(), name); }
  std::string Top(const std::string& below = "") const { return tree_->File("top" + below); }
  void Touch(const std::string& name) { keelpack::test::WriteFile(Top(name), {0xFF, 0xD8}); }
  // Ticks the log box and chooses `entry` from its menu (nullptr: dismisses it); tells
  // whether the menu opened below the box while the box was ticked and disabled.
  bool TickAndChoose(const char* entry);

  std::unique_ptr<keelpack::test::TempUserFolders> folders_;
  std::unique_ptr<keelpack::test::TempDir> tree_;
  std::unique_ptr<keelpack::test::ScopedCurrentFolder> here_;
  std::unique_ptr<keelpack::ui::Form1> form_;
  keelpack::ui::FolderList* dir1_ = nullptr;
  keelpack::ui::FileList* fileBox_ = nullptr;
};

void ControlsTest::init() {
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

bool ControlsTest::TickAndChoose(const char* entry) {
  QCheckBox* logCheck = Box("logCheck");
  bool asDesigned = false;
  auto watch = WhenMenuOpens([&](QMenu* menu) {
    asDesigned = menu->objectName() == "logtop" && !logCheck->isEnabled() &&
                 logCheck->isChecked() &&
                 menu->pos() == logCheck->mapToGlobal(QPoint(0, logCheck->height()));
    entry ? ClickEntry(menu, entry) : QTest::keyClick(menu, Qt::Key_Escape);
  });
  ClickBox(logCheck);
  return asDesigned;
}

void ControlsTest::logBoxTicksThroughItsMenu() {
  QCheckBox* logCheck = Box("logCheck");
  const int& level = form_->session().log.logLevel;
  auto isOff = [&] {
    return !logCheck->isChecked() && logCheck->isEnabled() && logCheck->text() == "Log..." &&
           level == 0;
  };
  QVERIFY(TickAndChoose(nullptr));  // dismissed
  QVERIFY(isOff());

  QVERIFY(TickAndChoose("logverb"));
  QVERIFY(logCheck->isChecked() && logCheck->isEnabled());
  QCOMPARE(logCheck->text(), QString("Log (Verbose)"));
  QCOMPARE(form_->Options().log, 2);
  form_->session().log.WriteLog("verbose line", keelpack::kVerbose, true);
  form_->session().log.WriteLog("explicit line", keelpack::kExplicit);
  QCOMPARE(keelpack::test::ReadLines(folders_->logFile()),
           std::vector<std::string>({"verbose line"}));
  // Cleared by the user: off, and no menu.
  bool menuOnClear = false;
  auto watch = WhenMenuOpens([&](QMenu* menu) {
    menuOnClear = true;
    menu->close();
  });
  ClickBox(logCheck);
  QTest::qWait(50);
  watch.reset();
  QVERIFY(!menuOnClear && isOff());

  // About... opens the about screen over the window (closed here by a key); logging stays off.
  QVERIFY(TickAndChoose("logexp"));
  ClickBox(logCheck);
  QString aboutScreen;
  auto closeAbout = WhenDialogOpens([&](QWidget* screen) {
    aboutScreen = screen->objectName();
    QTest::keyClick(screen, Qt::Key_Return);
  });
  QVERIFY(TickAndChoose("aboutmenu"));
  QCOMPARE(aboutScreen, QString("splashForm"));
  QCOMPARE(form_->windowOpacity(), 1.0);
  QVERIFY(isOff());

  // Open: the desktop viewer (a stand-in on PATH records its argument) shows the log file,
  // and logging stays off.
  const std::string record = folders_->dir.File("viewer-args");
  const std::string viewer = "#!/bin/sh\nprintf '%s' \"$1\" > '" + record + ".part'\nmv '" +
                             record + ".part' '" + record + "'\n";
  keelpack::test::WriteFile(folders_->dir.File("xdg-open"),
                            keelpack::test::Bytes(viewer.begin(), viewer.end()));
  chmod(folders_->dir.File("xdg-open").c_str(), 0755);
  keelpack::test::ScopedEnv path("PATH", folders_->dir.path() + ":" + std::getenv("PATH"));
  QVERIFY(TickAndChoose("logopen"));
  QVERIFY(isOff());
  QTRY_VERIFY_WITH_TIMEOUT(keelpack::platform::Exists(record), 5000);
  const keelpack::test::Bytes opened = keelpack::test::ReadFile(record);
  QCOMPARE(std::string(opened.begin(), opened.end()), folders_->logFile());
}

void ControlsTest::f12EchoesEveryLogMessage() {
  auto* debugtext = Child<keelpack::ui::LogTextBox>(form_.get(), "debugtext");
  auto lastLine = [debugtext] {
    debugtext->flush();
    return debugtext->document()->lastBlock().text();
  };
  auto& log = form_->session().log;
  log.WriteLog("file only, not shown", keelpack::kExplicit);
  QTest::keyClick(debugtext, Qt::Key_F11);
  QCOMPARE(lastLine(), QString());
  QTest::keyClick(debugtext, Qt::Key_F12, Qt::ShiftModifier);
  QCOMPARE(lastLine(), QString("Dirty debug enabled!"));
  log.WriteLog("file only, now echoed", keelpack::kExplicit);
  QCOMPARE(lastLine(), QString("file only, now echoed"));
  QVERIFY(!keelpack::platform::Exists(folders_->logFile()));  // the log level is still 0
}

void ControlsTest::iccBoxGraysOnlyThroughItsMenu() {
  QCheckBox* iccCheck = Box("iccCheck");
  auto rightClick = [&](const char* entry) {
    QPoint at;
    auto watch = WhenMenuOpens([&](QMenu* menu) {
      at = menu->objectName() == "iccmenu" ? menu->pos() : QPoint(-1, -1);
      entry ? ClickEntry(menu, entry) : QTest::keyClick(menu, Qt::Key_Escape);
    });
    ClickBox(iccCheck, Qt::RightButton);
    return at == iccCheck->mapToGlobal(QPoint(0, iccCheck->height()));
  };
  // Left clicks move between clear and checked only; the middle button does nothing.
  for (int expected : {1, 0}) {
    ClickBox(iccCheck);
    QCOMPARE(form_->Options().icc, expected);
  }
  ClickBox(iccCheck, Qt::MiddleButton);
  QCOMPARE(form_->Options().icc, 0);

  QVERIFY(rightClick("forceiccremoval"));
  QVERIFY(rightClick(nullptr));  // dismissed: no change
  QCOMPARE(form_->Options().icc, 2);
  ClickBox(iccCheck);  // from grayed, a left click checks
  QCOMPARE(form_->Options().icc, 1);
  QVERIFY(rightClick("forceiccremoval"));
  form_->close();
  QVERIFY(folders_->ReadSettings().find("\r\nICC=2\r\n") != std::string::npos);
}

void ControlsTest::chooserSetsTheOutputFolderAndDifferentFolderDisablesBackups() {
  ClickBox(Box("bakCheck"));
  QVERIFY(form_->Options().makeBackups());
  std::string afterNew, afterEmptyNew, prompt;
  bool dialogOnEnter = false;
  auto watch = WhenDialogOpens([&](QWidget* dialog) {
    QCOMPARE(dialog->windowTitle(), QString("Choose Directory"));
    auto* dir1 = Child<keelpack::ui::FolderList>(dialog, "Dir1");
    QCOMPARE(dir1->path(), Top());
    // Enter in its folder list does nothing: it neither opens the entry nor presses a button.
    auto noDialog = WhenDialogOpens(
        [&](QWidget* opened) {
          dialogOnEnter = true;
          opened->close();
        },
        dialog);
    QTest::mouseClick(dir1->viewport(), Qt::LeftButton, {}, Centre(dir1, "beta"));
    QTest::keyClick(dir1, Qt::Key_Return);
    QTest::qWait(50);
    noDialog.reset();
    QVERIFY(!dialogOnEnter && dialog->isVisible() && dir1->path() == Top());
    keelpack::test::DoubleClick(dir1->viewport(), Centre(dir1, "beta"));
    // New folders: a name opens the new folder, an empty answer leaves the chooser as it is.
    for (QString answer : {"fresh", ""}) {
      auto input = WhenDialogOpens(
          [&](QWidget* widget) {
            auto* asked = static_cast<QInputDialog*>(widget);
            prompt = asked->windowTitle().toStdString() + ": " + asked->labelText().toStdString();
            asked->setTextValue(answer);
            asked->accept();
          },
          dialog);
      QTest::mouseClick(Child<QPushButton>(dialog, "newCommand"), Qt::LeftButton);
      (answer.isEmpty() ? afterEmptyNew : afterNew) = dir1->path();
    }
    QTest::mouseClick(dir1->viewport(), Qt::LeftButton, {}, Centre(dir1, "beta"));  // highlight
    QTest::mouseClick(Child<QPushButton>(dialog, "okCommand"), Qt::LeftButton);
  });
  QTest::mouseClick(Child<QWidget>(form_.get(), "chooseCommand"), Qt::LeftButton);
  QCOMPARE(prompt, "New Directory: Please enter the name of the new directory to place in " +
                       Top("/beta/fresh") + "/");
  QCOMPARE(afterNew, Top("/beta/fresh"));
  QVERIFY(keelpack::platform::IsFolder(Top("/beta/fresh")));
  QCOMPARE(afterEmptyNew, Top("/beta/fresh"));
  // OK took the open folder, not the highlighted one, and switched the option on.
  auto* newdirText = Child<QLineEdit>(form_.get(), "newdirText");
  QCOMPARE(newdirText->text().toStdString(), Top("/beta/fresh"));
  QCOMPARE(newdirText->cursorPosition(), newdirText->text().size());
  QCheckBox* bakCheck = Box("bakCheck");
  QLabel* target = Child<QLabel>(form_.get(), "tabLabel1");
  QVERIFY(Box("difdirCheck")->isChecked());
  QVERIFY(!bakCheck->isEnabled() && bakCheck->isChecked() && target->font().bold());
  QCOMPARE(form_->Options().backups, 1);  // kept as the user set it, but not used
  QVERIFY(!form_->Options().makeBackups());

  // Cancel changes nothing; clearing the option by hand gives the backups box back.
  watch = WhenDialogOpens(
      [](QWidget* dialog) { Child<QPushButton>(dialog, "cancelCommand")->click(); });
  QTest::mouseClick(Child<QWidget>(form_.get(), "chooseCommand"), Qt::LeftButton);
  QCOMPARE(newdirText->text().toStdString(), Top("/beta/fresh"));
  QTest::mouseClick(target, Qt::LeftButton);
  ClickBox(Box("difdirCheck"));
  QVERIFY(bakCheck->isEnabled() && bakCheck->isChecked() && !target->font().bold());
  QVERIFY(form_->Options().makeBackups());
}

void ControlsTest::tabsSwitchByClickAndShortcut() {
  auto* corren = Child<QLineEdit>(form_.get(), "corren");
  auto showing = [this](int tab) {
    const QLabel* labels[] = {Child<QLabel>(form_.get(), "tabLabel0"),
                              Child<QLabel>(form_.get(), "tabLabel1")};
    return Child<QGroupBox>(form_.get(), "safetyFrame")->isVisible() == (tab == 0) &&
           Child<QGroupBox>(form_.get(), "targetFrame")->isVisible() == (tab == 1) &&
           labels[tab]->height() == keelpack::ui::Twips(form_.get(), 280) &&
           labels[1 - tab]->height() == keelpack::ui::Twips(form_.get(), 255);
  };
  QTest::mouseClick(Child<QLabel>(form_.get(), "tabLabel1"), Qt::LeftButton);
  QVERIFY(showing(1));
  QTest::mouseClick(Child<QLabel>(form_.get(), "tabLabel0"), Qt::LeftButton);
  QVERIFY(showing(0));
  // Ctrl+T and Ctrl+S in any control.
  QTest::keyClick(corren, Qt::Key_T, Qt::ControlModifier);
  QVERIFY(showing(1));
  QTest::keyClick(fileBox_, Qt::Key_S, Qt::ControlModifier);
  QVERIFY(showing(0));
  // A key released with Alt alone held disarms them: Ctrl+Shift+T then does nothing...
  QTest::keyClick(corren, Qt::Key_X, Qt::AltModifier);
  QTest::keyClick(corren, Qt::Key_T, Qt::ControlModifier | Qt::ShiftModifier);
  QVERIFY(showing(0));
  // ...until a key goes down with Ctrl alone; then it works, since only characters count.
  QTest::keyClick(corren, Qt::Key_A, Qt::ControlModifier);
  QTest::keyClick(corren, Qt::Key_T, Qt::ControlModifier | Qt::ShiftModifier);
  QVERIFY(showing(1));
  // The control receives the key as well; a plain S is typed, not a switch.
  corren->clear();
  QTest::keyClick(corren, Qt::Key_S);
  QVERIFY(showing(1));
  QCOMPARE(corren->text(), QString("s"));
}

void ControlsTest::listsFollowOneAnother() {
  QCOMPARE(form_->FolderPath(), Top());
  QCOMPARE(Texts(dir1_), Shown(Top(), {"Alpha", "beta"}));  // no hidden folder
  QVERIFY(Child<QComboBox>(form_.get(), "Drive1")->currentText().startsWith("/"));
  // JPEG names in any letter case, hidden files too, in name order, full names as tool tips.
  QCOMPARE(Texts(fileBox_), QStringList({".x.jpe", "a.jif", "photo.JPG"}));
  QCOMPARE(fileBox_->item(2)->toolTip(), QString("photo.JPG"));
  // Extended selection: Ctrl+click adds to the selection, a plain click starts a new one.
  QTest::mouseClick(fileBox_->viewport(), Qt::LeftButton, {}, Centre(fileBox_, ".x.jpe"));
  QTest::mouseClick(fileBox_->viewport(), Qt::LeftButton, Qt::ControlModifier,
                    Centre(fileBox_, "photo.JPG"));
  QCOMPARE(fileBox_->selectedItems().size(), 2);
  QTest::mouseClick(fileBox_->viewport(), Qt::LeftButton, {}, Centre(fileBox_, "a.jif"));
  QCOMPARE(fileBox_->selectedItems().size(), 1);

  QTest::mouseClick(dir1_->viewport(), Qt::LeftButton, {}, Centre(dir1_, "beta"));
  QCOMPARE(form_->FolderPath(), Top());  // a single click only highlights
  QTest::keyClick(dir1_, Qt::Key_Return);
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

void ControlsTest::typedPathOpensHiddenFolders() {
  QString asked;
  auto type = [&](const QString& text, bool accept) {
    auto watch = WhenDialogOpens([&](QWidget* widget) {
      auto* input = static_cast<QInputDialog*>(widget);
      asked = input->windowTitle() + ": " + input->labelText();
      input->setTextValue(text);
      accept ? input->accept() : input->reject();
    });
    QTest::mouseClick(dir1_->viewport(), Qt::RightButton, {}, QPoint(10, 10));
  };
  type(QString::fromStdString(Top("/.hidden")), true);
  QCOMPARE(asked, QString("Keelpack: Enter custom path (network or hidden directory):"));
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

QTEST_MAIN(ControlsTest)
#include "ui_controls_test.moc"
