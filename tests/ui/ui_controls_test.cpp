// The option controls' behaviour: the log box and its menu, screen debug, the colour-profile
// box and its menu, the different-folder option, the output-folder chooser and the tabs.
#include <sys/stat.h>

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QGroupBox>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTextBlock>
#include <QToolButton>
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
using keelpack::test::TempUserFolders;
using keelpack::test::WhenDialogOpens;
using keelpack::test::WhenMenuOpens;
using keelpack::ui::Form1;

namespace {

QString LastLine(keelpack::ui::LogTextBox* box) {
  box->flush();
  return box->document()->lastBlock().text();
}

// What the log box looked like while its menu was open, and where the menu stood.
struct MenuVisit {
  bool opened = false;
  bool boxEnabled = true;
  bool boxChecked = false;
  QPoint at;
};

// Ticks the log box and chooses `entry` from the menu that opens (nullptr: dismisses it).
MenuVisit TickAndChoose(QCheckBox* logCheck, const char* entry) {
  MenuVisit visit;
  auto watch = WhenMenuOpens([&](QMenu* menu) {
    visit = {true, logCheck->isEnabled(), logCheck->isChecked(), menu->pos()};
    if (entry == nullptr) {
      QTest::keyClick(menu, Qt::Key_Escape);
    } else {
      ClickEntry(menu, Child<QAction>(menu, entry));
    }
  });
  ClickBox(logCheck);
  return visit;
}

}  // namespace

class ControlsTest : public QObject {
  Q_OBJECT

 private slots:
  void init();
  void cleanup();

  void logBoxTicksThroughItsMenu();
  void openShowsTheLogFileAndLeavesLoggingOff();
  void f12EchoesEveryLogMessage();
  void iccBoxGraysOnlyThroughItsMenu();
  void differentFolderDisablesBackupsAndBoldsTarget();
  void chooserTakesTheOpenFolder();
  void chooserMakesNewFolders();
  void tabsSwitchByClickAndShortcut();

 private:
  std::unique_ptr<TempUserFolders> folders_;
  std::unique_ptr<Form1> form_;
};

void ControlsTest::init() {
  folders_ = std::make_unique<TempUserFolders>();
  form_ = std::make_unique<Form1>();
  form_->show();
  QVERIFY(QTest::qWaitForWindowExposed(form_.get()));
}

void ControlsTest::cleanup() {
  form_.reset();
  folders_.reset();
}

void ControlsTest::logBoxTicksThroughItsMenu() {
  auto* logCheck = Child<QCheckBox>(form_.get(), "logCheck");
  auto& log = form_->session().log;

  // Ticked: the menu opens below the box, with the box ticked and disabled meanwhile.
  MenuVisit visit = TickAndChoose(logCheck, nullptr);
  QVERIFY(visit.opened);
  QVERIFY(!visit.boxEnabled);
  QVERIFY(visit.boxChecked);
  QCOMPARE(visit.at, logCheck->mapToGlobal(QPoint(0, logCheck->height())));
  // Dismissed: off again.
  QVERIFY(!logCheck->isChecked());
  QVERIFY(logCheck->isEnabled());
  QCOMPARE(logCheck->text(), QString("Log..."));
  QCOMPARE(log.logLevel, 0);

  QVERIFY(TickAndChoose(logCheck, "logverb").opened);
  QVERIFY(logCheck->isChecked());
  QVERIFY(logCheck->isEnabled());
  QCOMPARE(logCheck->text(), QString("Log (Verbose)"));
  QCOMPARE(log.logLevel, 2);
  QCOMPARE(form_->Options().log, 2);
  // The level steers the log file.
  log.WriteLog("verbose line", keelpack::kVerbose, true);
  log.WriteLog("explicit line", keelpack::kExplicit);
  QCOMPARE(keelpack::test::ReadLines(folders_->logFile()),
           std::vector<std::string>({"verbose line"}));

  // Cleared by the user: off, no menu.
  bool menuOnClear = false;
  auto watch = WhenMenuOpens([&](QMenu* menu) {
    menuOnClear = true;
    menu->close();
  });
  ClickBox(logCheck);
  QTest::qWait(50);
  watch.reset();
  QVERIFY(!menuOnClear);
  QCOMPARE(logCheck->text(), QString("Log..."));
  QCOMPARE(log.logLevel, 0);

  QVERIFY(TickAndChoose(logCheck, "logbrief").opened);
  QCOMPARE(logCheck->text(), QString("Log (Brief)"));
  QCOMPARE(log.logLevel, 1);
  ClickBox(logCheck);  // clear again, off
  QVERIFY(TickAndChoose(logCheck, "logexp").opened);
  QCOMPARE(logCheck->text(), QString("Log (Explicit)"));
  QCOMPARE(log.logLevel, 3);
  ClickBox(logCheck);

  // About... leaves logging off once the menu has closed.
  QVERIFY(TickAndChoose(logCheck, "aboutmenu").opened);
  QVERIFY(!logCheck->isChecked());
  QVERIFY(logCheck->isEnabled());
  QCOMPARE(logCheck->text(), QString("Log..."));
  QCOMPARE(log.logLevel, 0);
}

void ControlsTest::openShowsTheLogFileAndLeavesLoggingOff() {
  // A stand-in for the desktop viewer records the path it is given.
  const std::string record = folders_->dir.File("viewer-args");
  const std::string script = folders_->dir.File("xdg-open");
  const std::string text = "#!/bin/sh\nprintf '%s' \"$1\" > '" + record + ".part'\nmv '" + record +
                           ".part' '" + record + "'\n";
  keelpack::test::WriteFile(script, keelpack::test::Bytes(text.begin(), text.end()));
  chmod(script.c_str(), 0755);
  keelpack::test::ScopedEnv path("PATH", folders_->dir.path() + ":" + std::getenv("PATH"));

  auto* logCheck = Child<QCheckBox>(form_.get(), "logCheck");
  QVERIFY(TickAndChoose(logCheck, "logexp").opened);
  ClickBox(logCheck);  // logging on, then off to reach the menu again
  QVERIFY(TickAndChoose(logCheck, "logopen").opened);
  QVERIFY(!logCheck->isChecked());
  QVERIFY(logCheck->isEnabled());
  QCOMPARE(logCheck->text(), QString("Log..."));
  QCOMPARE(form_->session().log.logLevel, 0);
  QTRY_VERIFY_WITH_TIMEOUT(keelpack::platform::Exists(record), 5000);
  const keelpack::test::Bytes opened = keelpack::test::ReadFile(record);
  QCOMPARE(std::string(opened.begin(), opened.end()), folders_->logFile());
}

void ControlsTest::f12EchoesEveryLogMessage() {
  auto* debugtext = Child<keelpack::ui::LogTextBox>(form_.get(), "debugtext");
  auto& log = form_->session().log;
  log.WriteLog("file only, not shown", keelpack::kExplicit);
  QVERIFY(debugtext->toPlainText().isEmpty());

  QTest::keyClick(debugtext, Qt::Key_F12, Qt::ShiftModifier);
  QCOMPARE(LastLine(debugtext), QString("Dirty debug enabled!"));
  QVERIFY(log.screenDebug);
  log.WriteLog("file only, now echoed", keelpack::kExplicit);
  QCOMPARE(LastLine(debugtext), QString("file only, now echoed"));
  QVERIFY(!keelpack::platform::Exists(folders_->logFile()));  // the log level is still 0

  // Other keys are the box's own: F11 adds nothing.
  const QString before = debugtext->toPlainText();
  QTest::keyClick(debugtext, Qt::Key_F11);
  QCOMPARE(LastLine(debugtext), QString("file only, now echoed"));
  QCOMPARE(debugtext->toPlainText(), before);
  QTest::keyClick(debugtext, Qt::Key_F12);
  QCOMPARE(LastLine(debugtext), QString("Dirty debug enabled!"));
}

void ControlsTest::iccBoxGraysOnlyThroughItsMenu() {
  auto* iccCheck = Child<QCheckBox>(form_.get(), "iccCheck");
  QCOMPARE(form_->Options().icc, 0);

  // Left clicks move between clear and checked only.
  ClickBox(iccCheck);
  QCOMPARE(iccCheck->checkState(), Qt::Checked);
  QCOMPARE(form_->Options().icc, 1);
  ClickBox(iccCheck);
  QCOMPARE(iccCheck->checkState(), Qt::Unchecked);

  // Other buttons do nothing.
  bool menuOnMiddle = false;
  auto watch = WhenMenuOpens([&](QMenu* menu) {
    menuOnMiddle = true;
    menu->close();
  });
  ClickBox(iccCheck, Qt::MiddleButton);
  QTest::qWait(50);
  watch.reset();
  QVERIFY(!menuOnMiddle);
  QCOMPARE(iccCheck->checkState(), Qt::Unchecked);

  // The right button opens the menu below the box; its one command grays the box.
  QPoint at;
  watch = WhenMenuOpens([&](QMenu* menu) {
    at = menu->pos();
    QCOMPARE(menu->objectName(), QString("iccmenu"));
    ClickEntry(menu, Child<QAction>(menu, "forceiccremoval"));
  });
  ClickBox(iccCheck, Qt::RightButton);
  QCOMPARE(at, iccCheck->mapToGlobal(QPoint(0, iccCheck->height())));
  QCOMPARE(iccCheck->checkState(), Qt::PartiallyChecked);
  QCOMPARE(form_->Options().icc, 2);

  // Dismissing the menu changes nothing.
  watch = WhenMenuOpens([](QMenu* menu) { QTest::keyClick(menu, Qt::Key_Escape); });
  ClickBox(iccCheck, Qt::RightButton);
  QCOMPARE(iccCheck->checkState(), Qt::PartiallyChecked);

  // From grayed, a left click checks the box.
  ClickBox(iccCheck);
  QCOMPARE(iccCheck->checkState(), Qt::Checked);

  watch =
      WhenMenuOpens([](QMenu* menu) { ClickEntry(menu, Child<QAction>(menu, "forceiccremoval")); });
  ClickBox(iccCheck, Qt::RightButton);
  form_->close();
  QVERIFY(folders_->ReadSettings().find("\r\nICC=2\r\n") != std::string::npos);
}

void ControlsTest::differentFolderDisablesBackupsAndBoldsTarget() {
  auto* difdirCheck = Child<QCheckBox>(form_.get(), "difdirCheck");
  auto* bakCheck = Child<QCheckBox>(form_.get(), "bakCheck");
  auto* target = Child<QLabel>(form_.get(), "tabLabel1");
  ClickBox(bakCheck);
  QVERIFY(form_->Options().makeBackups());

  QTest::mouseClick(Child<QLabel>(form_.get(), "tabLabel1"), Qt::LeftButton);
  ClickBox(difdirCheck);
  QVERIFY(!bakCheck->isEnabled());
  QVERIFY(bakCheck->isChecked());
  QVERIFY(target->font().bold());
  QCOMPARE(form_->Options().backups, 1);  // kept as the user set it
  QVERIFY(!form_->Options().makeBackups());

  ClickBox(difdirCheck);
  QVERIFY(bakCheck->isEnabled());
  QVERIFY(bakCheck->isChecked());
  QVERIFY(!target->font().bold());
  QVERIFY(form_->Options().makeBackups());

  // Changes by the program count as well.
  difdirCheck->setChecked(true);
  QVERIFY(!bakCheck->isEnabled());
  QVERIFY(target->font().bold());
}

void ControlsTest::chooserTakesTheOpenFolder() {
  keelpack::test::TempDir tree;
  QVERIFY(QDir().mkpath(QString::fromStdString(tree.File("out/deeper"))));
  keelpack::test::ScopedCurrentFolder here(tree.path());
  // A fresh form, so that it opens in the tree: the chooser does too.
  form_ = std::make_unique<Form1>();
  form_->show();

  QString title;
  auto watch = WhenDialogOpens([&](QWidget* dialog) {
    title = dialog->windowTitle();
    auto* dir1 = Child<keelpack::ui::FolderList>(dialog, "Dir1");
    QCOMPARE(dir1->path(), tree.path());
    const auto out = dir1->findItems("out", Qt::MatchExactly);
    QCOMPARE(out.size(), 1);
    keelpack::test::DoubleClick(dir1->viewport(), dir1->visualItemRect(out.first()).center());
    QCOMPARE(dir1->path(), tree.File("out"));
    // A single click only highlights; OK takes the open folder.
    const auto deeper = dir1->findItems("deeper", Qt::MatchExactly);
    QTest::mouseClick(dir1->viewport(), Qt::LeftButton, {},
                      dir1->visualItemRect(deeper.first()).center());
    QCOMPARE(dir1->path(), tree.File("out"));
    QTest::mouseClick(Child<QPushButton>(dialog, "okCommand"), Qt::LeftButton);
  });
  QTest::mouseClick(Child<QToolButton>(form_.get(), "chooseCommand"), Qt::LeftButton);
  QCOMPARE(title, QString("Choose Directory"));
  auto* newdirText = Child<QLineEdit>(form_.get(), "newdirText");
  QCOMPARE(newdirText->text().toStdString(), tree.File("out"));
  QCOMPARE(newdirText->cursorPosition(), newdirText->text().size());
  QVERIFY(Child<QCheckBox>(form_.get(), "difdirCheck")->isChecked());
  QVERIFY(!Child<QCheckBox>(form_.get(), "bakCheck")->isEnabled());
  QVERIFY(Child<QLabel>(form_.get(), "tabLabel1")->font().bold());

  // Cancel changes nothing.
  watch = WhenDialogOpens([](QWidget* dialog) {
    auto* dir1 = Child<keelpack::ui::FolderList>(dialog, "Dir1");
    dir1->setPath("/");
    QTest::mouseClick(Child<QPushButton>(dialog, "cancelCommand"), Qt::LeftButton);
  });
  QTest::mouseClick(Child<QToolButton>(form_.get(), "chooseCommand"), Qt::LeftButton);
  QCOMPARE(newdirText->text().toStdString(), tree.File("out"));
}

void ControlsTest::chooserMakesNewFolders() {
  keelpack::test::TempDir tree;
  keelpack::test::ScopedCurrentFolder here(tree.path());
  QString prompt;
  QString promptTitle;
  std::string afterNew, afterEmpty;
  auto watch = WhenDialogOpens([&](QWidget* dialog) {
    auto* dir1 = Child<keelpack::ui::FolderList>(dialog, "Dir1");
    auto* newCommand = Child<QPushButton>(dialog, "newCommand");
    auto answer = WhenDialogOpens(
        [&](QWidget* input) {
          promptTitle = input->windowTitle();
          prompt = static_cast<QInputDialog*>(input)->labelText();
          static_cast<QInputDialog*>(input)->setTextValue("fresh");
          static_cast<QInputDialog*>(input)->accept();
        },
        dialog);
    QTest::mouseClick(newCommand, Qt::LeftButton);
    afterNew = dir1->path();
    // An empty answer leaves the chooser where it is, without a message.
    answer = WhenDialogOpens([](QWidget* input) { static_cast<QInputDialog*>(input)->accept(); },
                             dialog);
    QTest::mouseClick(newCommand, Qt::LeftButton);
    afterEmpty = dir1->path();
    QTest::mouseClick(Child<QPushButton>(dialog, "cancelCommand"), Qt::LeftButton);
  });
  QTest::mouseClick(Child<QToolButton>(form_.get(), "chooseCommand"), Qt::LeftButton);
  QCOMPARE(promptTitle, QString("New Directory"));
  QCOMPARE(prompt.toStdString(),
           "Please enter the name of the new directory to place in " + tree.path() + "/");
  QCOMPARE(afterNew, tree.File("fresh"));
  QVERIFY(keelpack::platform::IsFolder(tree.File("fresh")));
  QCOMPARE(afterEmpty, tree.File("fresh"));
  QVERIFY(!Child<QCheckBox>(form_.get(), "difdirCheck")->isChecked());
}

void ControlsTest::tabsSwitchByClickAndShortcut() {
  auto* safety = Child<QGroupBox>(form_.get(), "safetyFrame");
  auto* target = Child<QGroupBox>(form_.get(), "targetFrame");
  const std::array<QLabel*, 2> labels = {Child<QLabel>(form_.get(), "tabLabel0"),
                                         Child<QLabel>(form_.get(), "tabLabel1")};
  auto showing = [&](int tab) {
    const int raised = keelpack::ui::Twips(form_.get(), 280);
    const int lowered = keelpack::ui::Twips(form_.get(), 255);
    return safety->isVisible() == (tab == 0) && target->isVisible() == (tab == 1) &&
           labels[tab]->height() == raised && labels[1 - tab]->height() == lowered;
  };

  QTest::mouseClick(labels[1], Qt::LeftButton);
  QVERIFY(showing(1));
  QTest::mouseClick(labels[0], Qt::LeftButton);
  QVERIFY(showing(0));

  // Ctrl+T and Ctrl+S in any control; the key still reaches the control.
  auto* corren = Child<QLineEdit>(form_.get(), "corren");
  corren->setFocus();
  QTest::keyClick(corren, Qt::Key_T, Qt::ControlModifier);
  QVERIFY(showing(1));
  QTest::keyClick(Child<QWidget>(form_.get(), "FileBox"), Qt::Key_S, Qt::ControlModifier);
  QVERIFY(showing(0));

  // A key released with Alt alone held disarms the shortcuts; Ctrl+Shift+T then does nothing,
  // since that key did not go down with Ctrl alone.
  QTest::keyClick(corren, Qt::Key_X, Qt::AltModifier);
  QTest::keyClick(corren, Qt::Key_T, Qt::ControlModifier | Qt::ShiftModifier);
  QVERIFY(showing(0));
  // Any key down with Ctrl alone arms them again, and they stay armed after Ctrl is released.
  QTest::keyClick(corren, Qt::Key_A, Qt::ControlModifier);
  QTest::keyClick(corren, Qt::Key_T, Qt::ControlModifier | Qt::ShiftModifier);
  QVERIFY(showing(1));
  // A plain T types a T and switches nothing.
  corren->setText("");
  QTest::keyClick(corren, Qt::Key_S);
  QVERIFY(showing(1));
  QCOMPARE(corren->text(), QString("s"));
}

QTEST_MAIN(ControlsTest)
#include "ui_controls_test.moc"
