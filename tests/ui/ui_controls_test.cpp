// The option controls: the log box and its menu, screen debug, the colour-profile box and its
// menu, the different-folder option with its chooser, and the tabs.
#include <sys/stat.h>

#include <QCheckBox>
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

class ControlsTest : public QObject {
  Q_OBJECT

 private slots:
  void init();
  void cleanup() {
    form_.reset();
    folders_.reset();
  }

  void logBoxTicksThroughItsMenu();
  void f12EchoesEveryLogMessage();
  void iccBoxGraysOnlyThroughItsMenu();
  void chooserSetsTheOutputFolderAndDifferentFolderDisablesBackups();
  void tabsSwitchByClickAndShortcut();

 private:
  QCheckBox* Box(const char* name) { return Child<QCheckBox>(form_.get(), name); }
  // Ticks the log box and chooses `entry` from its menu (nullptr: dismisses it); tells
  // whether the menu opened below the box while the box was ticked and disabled.
  bool TickAndChoose(const char* entry);

  std::unique_ptr<keelpack::test::TempUserFolders> folders_;
  std::unique_ptr<keelpack::ui::Form1> form_;
};

void ControlsTest::init() {
  folders_ = std::make_unique<keelpack::test::TempUserFolders>();
  form_ = std::make_unique<keelpack::ui::Form1>();
  form_->show();
  QVERIFY(QTest::qWaitForWindowExposed(form_.get()));
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

  QVERIFY(TickAndChoose("logexp"));
  QCOMPARE(logCheck->text(), QString("Log (Explicit)"));
  QCOMPARE(level, 3);
  ClickBox(logCheck);
  // About... opens the about screen over the window (closed here by a key), and logging
  // stays off.
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
  for (int expected : {1, 0, 1, 0}) {
    ClickBox(iccCheck);
    QCOMPARE(form_->Options().icc, expected);
  }
  ClickBox(iccCheck, Qt::MiddleButton);
  QCOMPARE(form_->Options().icc, 0);

  QVERIFY(rightClick("forceiccremoval"));
  QCOMPARE(iccCheck->checkState(), Qt::PartiallyChecked);
  QVERIFY(rightClick(nullptr));  // dismissed: no change
  QCOMPARE(form_->Options().icc, 2);
  ClickBox(iccCheck);  // from grayed, a left click checks
  QCOMPARE(form_->Options().icc, 1);
  QVERIFY(rightClick("forceiccremoval"));
  form_->close();
  QVERIFY(folders_->ReadSettings().find("\r\nICC=2\r\n") != std::string::npos);
}

void ControlsTest::chooserSetsTheOutputFolderAndDifferentFolderDisablesBackups() {
  keelpack::test::TempDir tree;
  QVERIFY(QDir().mkpath(QString::fromStdString(tree.File("out/deeper"))));
  keelpack::test::ScopedCurrentFolder here(tree.path());  // where the chooser opens
  ClickBox(Box("bakCheck"));
  QVERIFY(form_->Options().makeBackups());

  std::string afterNew, afterEmptyNew, prompt;
  auto watch = WhenDialogOpens([&](QWidget* dialog) {
    QCOMPARE(dialog->windowTitle(), QString("Choose Directory"));
    auto* dir1 = Child<keelpack::ui::FolderList>(dialog, "Dir1");
    QCOMPARE(dir1->path(), tree.path());
    auto centre = [dir1](const char* name) {
      return dir1->visualItemRect(dir1->findItems(name, Qt::MatchExactly).value(0)).center();
    };
    keelpack::test::DoubleClick(dir1->viewport(), centre("out"));
    // New folders: a name opens the new folder, an empty answer leaves the chooser as it is.
    for (QString answer : {"fresh", ""}) {
      auto input = WhenDialogOpens(
          [&](QWidget* widget) {
            auto* asked = static_cast<QInputDialog*>(widget);
            if (prompt.empty()) {
              prompt = asked->windowTitle().toStdString() + ": " + asked->labelText().toStdString();
            }
            asked->setTextValue(answer);
            asked->accept();
          },
          dialog);
      QTest::mouseClick(Child<QPushButton>(dialog, "newCommand"), Qt::LeftButton);
      (answer.isEmpty() ? afterEmptyNew : afterNew) = dir1->path();
    }
    QTest::mouseClick(dir1->viewport(), Qt::LeftButton, {}, centre("out"));  // highlight only
    QTest::mouseClick(Child<QPushButton>(dialog, "okCommand"), Qt::LeftButton);
  });
  QTest::mouseClick(Child<QWidget>(form_.get(), "chooseCommand"), Qt::LeftButton);
  QCOMPARE(prompt, "New Directory: Please enter the name of the new directory to place in " +
                       tree.File("out") + "/");
  QCOMPARE(afterNew, tree.File("out/fresh"));
  QVERIFY(keelpack::platform::IsFolder(tree.File("out/fresh")));
  QCOMPARE(afterEmptyNew, tree.File("out/fresh"));
  // OK took the open folder, not the highlighted one, and switched the option on.
  auto* newdirText = Child<QLineEdit>(form_.get(), "newdirText");
  QCOMPARE(newdirText->text().toStdString(), tree.File("out/fresh"));
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
  QCOMPARE(newdirText->text().toStdString(), tree.File("out/fresh"));
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
  QTest::keyClick(Child<QWidget>(form_.get(), "FileBox"), Qt::Key_S, Qt::ControlModifier);
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

QTEST_MAIN(ControlsTest)
#include "ui_controls_test.moc"
