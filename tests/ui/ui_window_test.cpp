// The main window on the offscreen platform: start-up and shut-down, its fit on the screen,
// the option controls and their menus, the chooser, the tabs, the navigation lists, and runs
// started from its buttons on real JPEG files.
#include <sys/stat.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFontDatabase>
#include <QGroupBox>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTest>
#include <QTextBlock>
#include <cstdlib>

#include "platform/files.h"
#include "support/pictures.h"
#include "ui/file_list.h"
#include "ui/folder_list.h"
#include "ui/form1.h"
#include "ui/log_text_box.h"
#include "ui/progress_status_bar.h"
#include "ui/twips.h"
#include "ui/window_effects.h"
#include "ui_support.h"
#include "version.h"

using keelpack::test::Bytes;
using keelpack::test::Child;
using keelpack::test::ClickBox;
using keelpack::test::ClickEntry;
using keelpack::test::ReadFile;
using keelpack::test::WhenDialogOpens;
using keelpack::test::WhenMenuOpens;
using keelpack::ui::ProgressStatusBar;

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

QString Summary(int files, int reduced, long long saved) {
  return QString("Finished. Out of %1 files, %2 were reduced saving %3 bytes.")
      .arg(files)
      .arg(reduced)
      .arg(saved);
}

}  // namespace

class WindowTest : public QObject {
  Q_OBJECT

 private slots:
  void init() {
    folders_ = std::make_unique<keelpack::test::TempUserFolders>();
    tree_ = std::make_unique<keelpack::test::TempDir>();
    originals_.clear();
  }
  void cleanup() {
    form_.reset();
    here_.reset();
    tree_.reset();
    folders_.reset();
  }

  void freshStartShowsTheDesignedDefaultsAndSavesThem();
  void settingsReachTheControlsAndGoBackUnchanged();
  void fontSettingReachesEveryControl();
  void fitsTheScreen();

  void logBoxTicksThroughItsMenu();
  void iccBoxGraysOnlyThroughItsMenu();
  void chooserSetsTheOutputFolderAndDifferentFolderDisablesBackups();
  void tabsSwitchByClickAndShortcut();
  void listsFollowOneAnother();

  void runsRewriteSelectedFilesAndFolderTreesAndStopOnAbort();

  void logBoxKeepsTheNewestLines();

 private:
  // Opens the window with its lists at `folder` (the tree's top by default).
  void OpenWindow(std::string folder = "");
  template <typename T = QCheckBox>
  T* Get(const char* name) const {
    return Child<T>(form_.get(), name);
  }
  void Click(const char* button) { QTest::mouseClick(Get<QWidget>(button), Qt::LeftButton); }

  // A small tree for the navigation lists; Top() is its top folder.
  void MakeTree();
  std::string Top(const std::string& below = "") const { return tree_->File("top" + below); }
  void Touch(const std::string& name) { keelpack::test::WriteFile(Top(name), {0xFF, 0xD8}); }
  // Ticks the log box and chooses `entry` from its menu (nullptr: dismisses it); tells
  // whether the menu opened below the box while the box was ticked and disabled.
  bool TickAndChoose(const char* entry);

  std::vector<std::string> WritePictures(const std::string& folder, int count, int size = 16);
  // The bytes a rewritten file saved, after checking that it kept its picture; -1 otherwise.
  long long Saved(const std::string& path) const;
  bool Unchanged(const std::string& path) const { return ReadFile(path) == originals_.at(path); }
  QString Status() const { return Get<ProgressStatusBar>("backFrame")->text(); }
  QStringList LogLines() const;
  // Runs from `button`, recording at the run's first yield which of few, many, FileBox and
  // Abort are enabled and the pointers, and where the focus is afterwards.
  QString RunFrom(const char* button);

  std::unique_ptr<keelpack::test::TempUserFolders> folders_;
  std::unique_ptr<keelpack::test::TempDir> tree_;
  std::unique_ptr<keelpack::test::ScopedCurrentFolder> here_;
  std::unique_ptr<keelpack::ui::Form1> form_;
  std::map<std::string, Bytes> originals_;
};

void WindowTest::OpenWindow(std::string folder) {
  form_.reset();
  here_ = std::make_unique<keelpack::test::ScopedCurrentFolder>(folder.empty() ? tree_->path()
                                                                               : folder);
  form_ = std::make_unique<keelpack::ui::Form1>();
  form_->show();
  QVERIFY(QTest::qWaitForWindowExposed(form_.get()));
}

void WindowTest::MakeTree() {
  for (const char* folder : {"/beta/inner", "/Alpha", "/.hidden"}) {
    QVERIFY(QDir().mkpath(QString::fromStdString(Top(folder))));
  }
  for (const char* file : {"/photo.JPG", "/notes.txt", "/.x.jpe", "/b.jfif", "/a.jif"}) Touch(file);
  Touch("/.hidden/secret.jpeg");
}

bool WindowTest::TickAndChoose(const char* entry) {
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

std::vector<std::string> WindowTest::WritePictures(const std::string& folder, int count, int size) {
  QDir().mkpath(QString::fromStdString(folder));
  std::vector<std::string> paths;
  for (int i = 0; i < count; ++i) {
    const std::string path = folder + "/picture" + std::to_string(10000 + i) + ".jpg";
    originals_[path] = keelpack::test::ShrinkablePicture(
        {.width = size, .height = size, .seed = static_cast<unsigned>(i + 1)});
    keelpack::test::WriteFile(path, originals_[path]);
    paths.push_back(path);
  }
  return paths;
}

long long WindowTest::Saved(const std::string& path) const {
  const Bytes now = ReadFile(path);
  const Bytes& original = originals_.at(path);
  const auto pixels = keelpack::test::DecodePixels(now);
  if (now.size() >= original.size() || !pixels ||
      pixels != keelpack::test::DecodePixels(original)) {
    return -1;
  }
  return static_cast<long long>(original.size() - now.size());
}

QStringList WindowTest::LogLines() const {
  auto* box = Get<keelpack::ui::LogTextBox>("debugtext");
  box->Flush();
  return box->toPlainText().split('\n');
}

QString WindowTest::RunFrom(const char* button) {
  QString state;
  auto watch = keelpack::test::EveryTurnUntil([this, &state] {
    for (const char* name : {"few", "many", "FileBox", "cancelCommand"}) {
      state += Get<QWidget>(name)->isEnabled() ? '1' : '0';
    }
    state += form_->cursor().shape() == Qt::WaitCursor ? " busy" : " idle";
    state +=
        Get<QWidget>("cancelCommand")->cursor().shape() == Qt::ArrowCursor ? " arrow" : " other";
    return true;
  });
  Click(button);
  return state + " " + form_->focusWidget()->objectName();
}

void WindowTest::freshStartShowsTheDesignedDefaultsAndSavesThem() {
  OpenWindow();
  QCOMPARE(form_->windowTitle(), QString("Keelpack"));
  QVERIFY(Status().startsWith(QString("Keelpack %1").arg(keelpack::kVersion.data())));
  for (const QCheckBox* box : form_->findChildren<QCheckBox*>()) {
    QVERIFY2(box->checkState() == Qt::Unchecked && box->isEnabled(), qPrintable(box->objectName()));
  }
  QVERIFY(Get<QWidget>("safetyFrame")->isVisible() && !Get<QWidget>("targetFrame")->isVisible());
  QVERIFY(!Get<QWidget>("cancelCommand")->isEnabled());
  QVERIFY(form_->close());
  QVERIFY(form_->session().cancelRequested);
  QCOMPARE(folders_->ReadSettings(),
           std::string("Exif=1\r\nICC=0\r\nDPI=0\r\nCorrupted=2\r\nNonJPEGs=0\r\n"
                       "Mask=_corrupted_*.*\r\nDifDir=0\r\nOutput=\r\nReadability=0\r\nSlow=0\r\n"
                       "Backups=0\r\nFont=\r\nCharSet=\r\nLog=0\r\nOptimize=0\r\n"));
}

void WindowTest::settingsReachTheControlsAndGoBackUnchanged() {
  folders_->WriteSettings(
      " EXIF = 0\r\nexif=2\r\nICC=2\r\nDPI=1\r\nCorrupted=7\r\nno equals sign\r\nNonJPEGs=1\r\n"
      "Mask=bad_*.*\r\nDifDir=1\r\nOutput=/out/put\r\nReadability=1\r\nSlow=1\r\nBackups=1\r\n"
      "CharSet= 0 \r\nLog=3\r\nOptimize=2\r\n");
  OpenWindow();
  // The different-folder option took effect as it was loaded: no backups, Target in bold.
  QVERIFY(Get("bakCheck")->isChecked() && !Get("bakCheck")->isEnabled());
  QVERIFY(Get<QLabel>("tabLabel1")->font().bold());
  // The level came through its menu command, which captions and enables the ticked box.
  QVERIFY(Get("logCheck")->isChecked() && Get("logCheck")->isEnabled());
  QCOMPARE(Get("logCheck")->text(), QString("Log (Explicit)"));
  QCOMPARE(form_->session().log.logLevel(), 3);
  QCOMPARE(Get<QComboBox>("optimizeCombo")->currentText(), QString("Optimize coding: progressive"));
  form_->close();
  // The later of two lines wins, and 7 is no choice.
  QCOMPARE(folders_->ReadSettings(),
           std::string("Exif=2\r\nICC=2\r\nDPI=1\r\nCorrupted=2\r\nNonJPEGs=1\r\nMask=bad_*.*\r\n"
                       "DifDir=1\r\nOutput=/out/put\r\nReadability=1\r\nSlow=1\r\nBackups=1\r\n"
                       "Font=\r\nCharSet=0\r\nLog=3\r\nOptimize=2\r\n"));

  // A log value other than 1, 2 or 3 ticks the box without its menu and leaves logging off.
  folders_->WriteSettings("Log=2.0\r\n");
  bool menuShown = false;
  auto watch = WhenMenuOpens([&](QMenu* menu) {
    menuShown = true;
    menu->close();
  });
  OpenWindow();
  QTest::qWait(50);
  QVERIFY(!menuShown && Get("logCheck")->isChecked() && Get("logCheck")->isEnabled());
  QCOMPARE(Get("logCheck")->text(), QString("Log..."));
  QCOMPARE(form_->session().log.logLevel(), 0);
}

void WindowTest::fontSettingReachesEveryControl() {
  folders_->WriteSettings("Font=No Such Font\r\nCharSet=161\r\n");
  OpenWindow();
  QVERIFY(form_->font().family() != "No Such Font");
  form_->close();
  QVERIFY(folders_->ReadSettings().find("Font=No Such Font\r\nCharSet=161\r\n") !=
          std::string::npos);
  // Named in another letter case, it wins over every built-in candidate; the tab labels,
  // the bold one included, the status line and the menus follow it too.
  const QString known = QFontDatabase::families().last();
  folders_->WriteSettings("Font=" + known.toUpper().toStdString() + "\r\nDifDir=1\r\n");
  OpenWindow();
  for (const char* name : {"readCheck", "tabLabel0", "tabLabel1", "logtop", "backLabel"}) {
    QCOMPARE(Get<QWidget>(name)->font().family(), known);
  }
  QVERIFY(Get<QLabel>("tabLabel1")->font().bold());
}

// Run once for each screen in CMakeLists.txt: the designed size where the screen's free area
// allows it; otherwise the window and its frame inside that area. Either way every control
// lies inside what holds it, gets at least the size it needs, and covers no other.
void WindowTest::fitsTheScreen() {
  OpenWindow();
  keelpack::ui::Form1& form = *form_;
  const QRect available = form.screen()->availableGeometry();
  const QSize frame = form.frameGeometry().size() - form.size();
  qInfo() << "screen" << available << "scale" << form.devicePixelRatio() << "window"
          << form.frameGeometry();
  QVERIFY(available.contains(form.frameGeometry()));
  const QSize designed = form.sizeHint();
  if (available.height() >= designed.height() + frame.height()) {
    QCOMPARE(form.size(), designed);
    // The log box runs under the options column as designed.
    QVERIFY(Get<QWidget>("debugtext")->geometry().right() > Get<QWidget>("few")->geometry().left());
  }
  // Both tabs: the controls of the hidden one are checked once it is shown.
  for (const char* shown : {"safetyFrame", "targetFrame"}) {
    Get<QWidget>("safetyFrame")->setVisible(shown == std::string("safetyFrame"));
    Get<QWidget>("targetFrame")->setVisible(shown == std::string("targetFrame"));
    QList<QWidget*> controls;
    for (QWidget* control : form.findChildren<QWidget*>()) {
      QWidget* holder = control->parentWidget();
      if (control->objectName().isEmpty() || !control->isVisible() ||
          (holder != &form && !qobject_cast<QGroupBox*>(holder))) {
        continue;
      }
      const QString name = control->objectName();
      QVERIFY2(holder->rect().contains(control->geometry()), qPrintable(name));
      const QSize needs = control->minimumSizeHint();
      QVERIFY2(control->width() >= needs.width() && control->height() >= needs.height(),
               qPrintable(name));
      for (const QWidget* other : controls) {
        QVERIFY2(
            other->parentWidget() != holder || !other->geometry().intersects(control->geometry()),
            qPrintable(name + " on " + other->objectName()));
      }
      controls << control;
    }
    QVERIFY(controls.size() > 25);
  }
}

void WindowTest::logBoxTicksThroughItsMenu() {
  OpenWindow();
  auto* logCheck = Get("logCheck");
  auto& log = form_->session().log;
  auto isOff = [&] {
    return !logCheck->isChecked() && logCheck->isEnabled() && logCheck->text() == "Log..." &&
           log.logLevel() == 0;
  };
  QVERIFY(TickAndChoose(nullptr));  // dismissed
  QVERIFY(isOff());
  // F12 in the log box echoes every message there, even with no log file.
  auto* debugtext = Get<keelpack::ui::LogTextBox>("debugtext");
  QTest::keyClick(debugtext, Qt::Key_F12, Qt::ShiftModifier);
  log.WriteLog("file only, now echoed", keelpack::kExplicit);
  debugtext->Flush();
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

void WindowTest::iccBoxGraysOnlyThroughItsMenu() {
  OpenWindow();
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
    values.push_back(ChoiceNumber(form_->Options().icc));
  }
  rightClick("forceiccremoval");
  rightClick(nullptr);  // dismissed: no change
  values.push_back(ChoiceNumber(form_->Options().icc));
  ClickBox(iccCheck);  // from grayed, a left click checks
  values.push_back(ChoiceNumber(form_->Options().icc));
  QCOMPARE(values, std::vector<int>({1, 0, 0, 2, 1}));
}

void WindowTest::chooserSetsTheOutputFolderAndDifferentFolderDisablesBackups() {
  MakeTree();
  OpenWindow(Top());
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

void WindowTest::tabsSwitchByClickAndShortcut() {
  OpenWindow();
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

void WindowTest::listsFollowOneAnother() {
  MakeTree();
  OpenWindow(Top());
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

// Selected files, then a folder tree, then a run stopped by Abort after its first file.
void WindowTest::runsRewriteSelectedFilesAndFolderTreesAndStopOnAbort() {
  const auto paths = WritePictures(tree_->path(), 6);
  WritePictures(tree_->File("sub/deeper"), 3);
  const auto hidden = WritePictures(tree_->File(".hidden"), 1);
  QVERIFY(QDir().mkpath(QString::fromStdString(tree_->File("empty"))));
  OpenWindow();
  auto* fileBox = Get<QListWidget>("FileBox");
  for (int i : {0, 2, 3}) fileBox->item(i)->setSelected(true);
  // Only Abort acts during the run; it keeps the arrow pointer. Afterwards the focus is back
  // on the button that started the run, not on an option that an arrow key would change.
  QCOMPARE(RunFrom("few"), QString("0001 busy arrow few"));
  long long saved = 0;
  for (int i : {0, 2, 3}) {
    QVERIFY2(Saved(paths[i]) > 0, paths[i].c_str());
    saved += Saved(paths[i]);
  }
  QVERIFY(Unchanged(paths[1]));
  QCOMPARE(Status(), Summary(3, 3, saved));
  auto* bar = Get<ProgressStatusBar>("backFrame");
  QCOMPARE(bar->FilledWidth(), bar->width());
  QVERIFY(Get<QWidget>("few")->isEnabled() && Get<QWidget>("many")->isEnabled() &&
          fileBox->isEnabled() && !Get<QWidget>("cancelCommand")->isEnabled());
  QCOMPARE(form_->cursor().shape(), Qt::ArrowCursor);
  QVERIFY(fileBox->selectedItems().isEmpty());  // read afresh
  Click("few");  // nothing selected
  QVERIFY(LogLines().contains("Please select a file."));
  QCOMPARE(Status(), Summary(0, 0, 0));

  QCOMPARE(RunFrom("many"), QString("0011 busy arrow many"));  // the file list stays usable
  for (const auto& [path, original] : originals_) {
    QVERIFY2(path == hidden[0] ? Unchanged(path) : Saved(path) > 0, path.c_str());
  }
  QVERIFY(Status().startsWith("Finished. Out of 9 files, 6 were reduced"));

  // Abort is clicked at the first yield after a file, as a user would click it.
  originals_.clear();
  const auto again = WritePictures(tree_->path(), 6);
  QTest::keyClick(fileBox, Qt::Key_F5);
  fileBox->selectAll();
  QString clickedAt;
  auto watch = keelpack::test::EveryTurnUntil([&] {
    if (!Status().startsWith("Processed ")) return false;
    clickedAt = Status();
    Click("cancelCommand");
    return true;
  });
  Click("few");
  QCOMPARE(clickedAt, QString("Processed 1 of 6 files..."));
  QVERIFY(LogLines().contains("Operation cancelled!"));
  QVERIFY(Saved(again[0]) > 0);
  for (size_t i = 1; i < again.size(); ++i) QVERIFY2(Unchanged(again[i]), again[i].c_str());
  QCOMPARE(Status(), Summary(6, 1, Saved(again[0])));  // all selected files are counted
  // The next run starts with the request cleared.
  fileBox->selectAll();
  Click("few");
  QVERIFY(!LogLines().contains("Operation cancelled!"));
  QVERIFY(Status().startsWith("Finished. Out of 6 files, 5 were reduced"));

  ClickItem(Get<QListWidget>("Dir1"), "empty", true);
  Click("many");
  QVERIFY(LogLines().contains("No compatible file found."));
  QCOMPARE(Status(), Summary(0, 0, 0));
}

void WindowTest::logBoxKeepsTheNewestLines() {
  keelpack::ui::LogTextBox box;
  box.resize(300, 120);
  box.show();
  constexpr int kMax = keelpack::ui::LogTextBox::kMaxLines;
  for (int i = 0; i < kMax + 5; ++i) box.AppendLine("line " + std::to_string(i), true);
  box.AppendLine("bad \xff byte, Caf\xc3\xa9", true);  // shown as UTF-8, the rest replaced
  QCoreApplication::processEvents();  // lines are gathered until the event loop turns
  QCOMPARE(box.blockCount(), kMax);
  QCOMPARE(box.document()->firstBlock().text(), QString("line 6"));
  QCOMPARE(box.document()->lastBlock().text(), QString::fromUtf8("bad \uFFFD byte, Café"));
  // The newest line is in view, unless a line is added without bringing it into view.
  QCOMPARE(box.cursorForPosition(QPoint(1, box.viewport()->height() - 2)).blockNumber(), kMax - 1);
  box.verticalScrollBar()->setValue(0);
  box.AppendLine("Failed to write to the logfile!", false);
  box.Flush();
  QCOMPARE(box.verticalScrollBar()->value(), 0);
  box.ClearLines();
  box.AppendLine("", true);  // an empty line is a line
  box.AppendLine("after", true);
  box.Flush();
  QCOMPARE(box.toPlainText(), QString("\nafter"));
}
QTEST_MAIN(WindowTest)
#include "ui_window_test.moc"
