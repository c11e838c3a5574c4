// The controls: the log box and its menu, screen debug, the colour-profile box and its menu,
// the different-folder option with its chooser, the tabs, and the drive, folder and file lists.
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

// Clicks (or, `twice`, double-clicks) the entry captioned `text`.
void ClickItem(QListWidget* list, const QString& text, bool twice = false) {
  const QPoint at = list->visualItemRect(list->findItems(text, Qt::MatchExactly).value(0)).center();
  twice ? keelpack::test::DoubleClick(list->viewport(), at)
        : QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
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
  void iccBoxGraysOnlyThroughItsMenu();
  void chooserSetsTheOutputFolderAndDifferentFolderDisablesBackups();
  void tabsSwitchByClickAndShortcut();
  void listsFollowOneAnother();

 private:
  template <typename T = QCheckBox>
  T* Get(const char* name) {
    return Child<T>(form_.get(), name);
  }
  std::string Top(const std::string& below = "") const { return tree_->File("top" + below); }
  void Touch(const std::string& name) { keelpack::test::WriteFile(Top(name), {0xFF, 0xD8}); }
  // Ticks the log box and chooses `entry` from its menu (nullptr: dismisses it); tells
  // whether the menu opened below the box while the box was ticked and disabled.
  bool TickAndChoose(const char* entry);

  std::unique_ptr<keelpack::test::TempUserFolders> folders_;
  std::unique_ptr<keelpack::test::TempDir> tree_;
  std::unique_ptr<keelpack::test::ScopedCurrentFolder> here_;
  std::unique_ptr<keelpack::ui::Form1> form_;
};

void ControlsTest::init() {
  folders_ = std::make_unique<keelpack::test::TempUserFolders>();
  tree_ = std::make_unique<keelpack::test::TempDir>();
  for (const char* folder : {"/beta/inner", "/Alpha", "/.hidden"}) {
    QVERIFY(QDir().mkpath(QString::fromStdString(Top(folder))));
  }
  for (const char* file : {"/photo.JPG", "/notes.txt", "/.x.jpe", "/b.jfif", "/a.jif"}) Touch(file);
  Touch("/.hidden/secret.jpeg");
  here_ = std::make_unique<keelpack::test::ScopedCurrentFolder>(Top());
  form_ = std::make_unique<keelpack::ui::Form1>();
  form_->show();
  QVERIFY(QTest::qWaitForWindowExposed(form_.get()));
}

bool ControlsTest::TickAndChoose(const char* entry) {
  auto* logCheck = Get("logCheck");
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
  auto* logCheck = Get("logCheck");
  auto& log = form_->session().log;
  auto isOff = [&] {
    return !logCheck->isChecked() && logCheck->isEnabled() && logCheck->text() == "Log..." &&
           log.logLevel == 0;
  };
  QVERIFY(TickAndChoose(nullptr));  // dismissed
  QVERIFY(isOff());
  // F12 in the log box echoes every message there, even with no log file.
  auto* debugtext = Get<keelpack::ui::LogTextBox>("debugtext");
  QTest::keyClick(debugtext, Qt::Key_F12, Qt::ShiftModifier);
  log.WriteLog("file only, now echoed", keelpack::kExplicit);
  debugtext->flush();
  QCOMPARE(debugtext->toPlainText(), QString("Dirty debug enabled!\nfile only, now echoed"));
  QVERIFY(!keelpack::platform::Exists(folders_->logFile()));

  QVERIFY(TickAndChoose("logverb"));
  QVERIFY(logCheck->isChecked() && logCheck->isEnabled());
  QCOMPARE(logCheck->text(), QString("Log (Verbose)"));
  log.WriteLog("verbose line", keelpack::kVerbose, true);
  log.WriteLog("explicit line", keelpack::kExplicit);
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
  QString aboutScreen;
  auto closeAbout = WhenDialogOpens([&](QWidget* screen) {
    aboutScreen = screen->objectName();
    QTest::keyClick(screen, Qt::Key_Return);
  });
  QVERIFY(TickAndChoose("aboutmenu"));
  QCOMPARE(aboutScreen, QString("splashForm"));
  QVERIFY(isOff() && form_->windowOpacity() == 1.0);

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
  QCOMPARE(keelpack::test::ReadLines(record), std::vector<std::string>({folders_->logFile()}));
}

void ControlsTest::iccBoxGraysOnlyThroughItsMenu() {
  auto* iccCheck = Get("iccCheck");
  auto rightClick = [&](const char* entry) {
    auto watch = WhenMenuOpens([&](QMenu* menu) {
      QCOMPARE(menu->pos(), iccCheck->mapToGlobal(QPoint(0, iccCheck->height())));
      entry ? ClickEntry(menu, entry) : QTest::keyClick(menu, Qt::Key_Escape);
    });
    ClickBox(iccCheck, Qt::RightButton);
  };
  // Left clicks move between clear and checked only; the middle button does nothing.
  std::vector<int> values;
  for (Qt::MouseButton button : {Qt::LeftButton, Qt::LeftButton, Qt::MiddleButton}) {
    ClickBox(iccCheck, button);
    values.push_back(form_->Options().icc);
  }
  rightClick("forceiccremoval");
  rightClick(nullptr);  // dismissed: no change
  values.push_back(form_->Options().icc);
  ClickBox(iccCheck);  // from grayed, a left click checks
  values.push_back(form_->Options().icc);
  QCOMPARE(values, std::vector<int>({1, 0, 0, 2, 1}));
}

void ControlsTest::chooserSetsTheOutputFolderAndDifferentFolderDisablesBackups() {
  ClickBox(Get("bakCheck"));
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
    ClickItem(dir1, "beta");
    QTest::keyClick(dir1, Qt::Key_Return);
    QTest::qWait(50);
    noDialog.reset();
    QVERIFY(!dialogOnEnter && dialog->isVisible() && dir1->path() == Top());
    ClickItem(dir1, "beta", true);
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
    ClickItem(dir1, "beta");  // highlighted only
    QTest::mouseClick(Child<QPushButton>(dialog, "okCommand"), Qt::LeftButton);
  });
  QTest::mouseClick(Get<QWidget>("chooseCommand"), Qt::LeftButton);
  QCOMPARE(prompt, "New Directory: Please enter the name of the new directory to place in " +
                       Top("/beta/fresh") + "/");
  QVERIFY(keelpack::platform::IsFolder(Top("/beta/fresh")));
  QCOMPARE(afterNew, Top("/beta/fresh"));
  QCOMPARE(afterEmptyNew, afterNew);
  // OK took the open folder, not the highlighted one, and switched the option on.
  auto* newdirText = Get<QLineEdit>("newdirText");
  QCOMPARE(newdirText->text().toStdString(), afterNew);
  QCOMPARE(newdirText->cursorPosition(), newdirText->text().size());
  auto* bakCheck = Get("bakCheck");
  auto* target = Get<QLabel>("tabLabel1");
  QVERIFY(Get("difdirCheck")->isChecked() && target->font().bold());
  QVERIFY(!bakCheck->isEnabled() && bakCheck->isChecked() && !form_->Options().makeBackups());

  // Cancel changes nothing; clearing the option by hand gives the backups box back.
  watch = WhenDialogOpens(
      [](QWidget* dialog) { Child<QPushButton>(dialog, "cancelCommand")->click(); });
  QTest::mouseClick(Get<QWidget>("chooseCommand"), Qt::LeftButton);
  QCOMPARE(newdirText->text().toStdString(), afterNew);
  QTest::mouseClick(target, Qt::LeftButton);
  ClickBox(Get("difdirCheck"));
  QVERIFY(bakCheck->isEnabled() && form_->Options().makeBackups() && !target->font().bold());
}

void ControlsTest::tabsSwitchByClickAndShortcut() {
  auto* corren = Get<QLineEdit>("corren");
  auto showing = [this](int tab) {
    QLabel* labels[] = {Get<QLabel>("tabLabel0"), Get<QLabel>("tabLabel1")};
    return Get<QGroupBox>("safetyFrame")->isVisible() == (tab == 0) &&
           Get<QGroupBox>("targetFrame")->isVisible() == (tab == 1) &&
           labels[tab]->height() == keelpack::ui::Twips(form_.get(), 280) &&
           labels[1 - tab]->height() == keelpack::ui::Twips(form_.get(), 255);
  };
  QTest::mouseClick(Get<QLabel>("tabLabel1"), Qt::LeftButton);
  QVERIFY(showing(1));
  QTest::keyClick(corren, Qt::Key_S, Qt::ControlModifier);  // in any control
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
  QVERIFY(showing(1) && corren->text() == "s");
}

void ControlsTest::listsFollowOneAnother() {
  auto* dir1 = Get<keelpack::ui::FolderList>("Dir1");
  auto* fileBox = Get<keelpack::ui::FileList>("FileBox");
  auto shown = [&](const std::string& folder) {
    return QString::fromStdString(folder).split('/', Qt::SkipEmptyParts).last() + ": " +
           Texts(dir1).mid(dir1->currentRow() + 1).join(' ') + ": " + Texts(fileBox).join(' ');
  };
  // No hidden folders; JPEG names in any letter case, hidden files too, in name order, with
  // the full name as tool tip.
  QCOMPARE(shown(Top()), QString("top: Alpha beta: .x.jpe a.jif photo.JPG"));
  QCOMPARE(dir1->currentItem()->text(), QString("top"));
  QCOMPARE(fileBox->item(2)->toolTip(), QString("photo.JPG"));
  ClickItem(dir1, "beta");
  QCOMPARE(form_->FolderPath(), Top());  // a single click only highlights
  QTest::keyClick(dir1, Qt::Key_Return);
  QCOMPARE(form_->FolderPath(), Top("/beta"));
  QCOMPARE(shown(Top("/beta")), QString("beta: inner: "));
  ClickItem(dir1, "top", true);
  QCOMPARE(form_->FolderPath(), Top());

  // F5 re-reads the list it is pressed in, and only that one.
  QVERIFY(QDir().mkpath(QString::fromStdString(Top("/gamma"))));
  Touch("/new.jpeg");
  QTest::keyClick(fileBox, Qt::Key_F5);
  QCOMPARE(shown(Top()), QString("top: Alpha beta: .x.jpe a.jif new.jpeg photo.JPG"));
  QTest::keyClick(dir1, Qt::Key_F5);
  QCOMPARE(shown(Top()), QString("top: Alpha beta gamma: .x.jpe a.jif new.jpeg photo.JPG"));

  // A typed path opens hidden folders; cancelled, empty or not a folder, nothing changes.
  QString asked;
  for (auto [text, accept] : std::vector<std::pair<std::string, bool>>{
           {Top("/.hidden"), true}, {Top(), false}, {"", true}, {Top("/notes.txt"), true}}) {
    auto watch = WhenDialogOpens([&](QWidget* widget) {
      auto* input = static_cast<QInputDialog*>(widget);
      asked = input->windowTitle() + ": " + input->labelText();
      input->setTextValue(QString::fromStdString(text));
      accept ? input->accept() : input->reject();
    });
    QTest::mouseClick(dir1->viewport(), Qt::RightButton, {}, QPoint(10, 10));
  }
  QCOMPARE(asked, QString("Keelpack: Enter custom path (network or hidden directory):"));
  QCOMPARE(shown(Top("/.hidden")), QString(".hidden: : secret.jpeg"));
  QCOMPARE(form_->focusWidget(), dir1);
}

QTEST_MAIN(ControlsTest)
#include "ui_controls_test.moc"
