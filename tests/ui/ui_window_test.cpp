// The main window on Qt's offscreen platform: its fit on the screen, its keys, the photos
// handed to it, and runs started from its buttons on real JPEG files, with the options it
// keeps between sessions.
#include <QTest>
#include <QtWidgets>

#include "support/pictures.h"
#include "support/temp_dir.h"
#include "ui/log_text_box.h"
#include "ui/main_window.h"
#include "ui/progress_status_bar.h"

namespace kt = keelpack::test;
using namespace std::string_literals;
using keelpack::ui::MainWindow;
using keelpack::ui::ProgressStatusBar;

namespace {

template <typename T = QWidget>
T* Get(const QObject* parent, const char* name) {
  T* child = parent->findChild<T*>(QString::fromLatin1(name));
  if (child == nullptr) qFatal("no child named %s", name);
  return child;
}

std::unique_ptr<MainWindow> Open(QStringList paths = {}) {
  auto window = std::make_unique<MainWindow>(paths);
  window->show();
  if (!QTest::qWaitForWindowExposed(window.get())) qFatal("window not shown");
  QApplication::setActiveWindow(window.get());  // access keys act in the active window only
  return window;
}

// Answers the next modal window or pop-up menu with `act` and keeps its name; when `act` leaves
// it open, it is closed (a dialog, and a message box with an escape button, closed is rejected).
struct ModalAnswer {
  QString opened;
  QTimer poll;
  explicit ModalAnswer(std::function<void(QWidget*)> act = {}) {
    QObject::connect(&poll, &QTimer::timeout, [this, act] {
      QWidget* modal = QApplication::activePopupWidget() ? QApplication::activePopupWidget()
                                                         : QApplication::activeModalWidget();
      if (modal == nullptr) return;
      poll.stop();
      opened = modal->objectName();
      if (act) act(modal);
      if (modal->isVisible()) modal->close();
    });
    poll.start(5);
  }
};

// What a drop of these paths does: false when the window refuses them.
bool Drop(QWidget* window, const QStringList& paths) {
  QMimeData data;
  QList<QUrl> urls;
  for (const QString& path : paths) urls << QUrl::fromLocalFile(path);
  data.setUrls(urls);
  QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(window, &enter);
  if (!enter.isAccepted()) return false;
  QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(window, &drop);
  return drop.isAccepted();
}

QStringList Texts(const QList<QListWidgetItem*>& items) {
  QStringList texts;
  for (const QListWidgetItem* item : items) texts << item->text();
  return texts;
}

QString Summary(int files, int reduced, long long saved) {
  return QString::asprintf("Finished. Out of %d files, %d were reduced saving %lld bytes.", files,
                           reduced, saved);
}

}  // namespace

class WindowTest : public QObject {
  Q_OBJECT

 private slots:
  void fitsTheScreen();
  void accessKeysDoOneThingEach();
  void takesPhotosHandedToIt();
  void runsAndKeepsItsOptions();
};

// Run once for each screen and font in CMakeLists.txt: the designed size where the screen's
// free area allows it; otherwise the window and its frame inside that area. Either way, on
// both tabs, every control lies on the screen inside what holds it, unscrolled, gets at least
// the size it needs (tab captions included), and covers no other.
void WindowTest::fitsTheScreen() {
  kt::Sandbox user;
  if (const int points = qEnvironmentVariableIntValue("KEELPACK_TEST_FONT_POINTS")) {
    QFont font = QApplication::font();
    font.setPointSize(points), QApplication::setFont(font);
  }
  auto window = Open();
  const QRect available = window->screen()->availableGeometry();
  const QSize frame = window->frameGeometry().size() - window->size();
  QVERIFY(available.contains(window->frameGeometry()));
  if (available.height() >= window->sizeHint().height() + frame.height()) {
    QCOMPARE(window->size(), window->sizeHint());
    // The log box runs under the options column as designed.
    QVERIFY(Get(window.get(), "debugtext")->geometry().right() >
            Get(window.get(), "few")->geometry().left());
  }
  auto* scroll = Get<QScrollArea>(window.get(), "scroller");
  QVERIFY(!scroll->horizontalScrollBar()->isVisible() && !scroll->verticalScrollBar()->isVisible());
  for (bool safety : {true, false}) {
    Get(window.get(), "safetyFrame")->setVisible(safety);
    Get(window.get(), "targetFrame")->setVisible(!safety);
    QList<QWidget*> controls;
    for (QWidget* control : window->findChildren<QWidget*>()) {
      QWidget* holder = control->parentWidget();
      const QString name = control->objectName();
      // The progress bar's layers lie on each other.
      if (name.isEmpty() || name.startsWith("qt_") || !control->isVisible() ||
          control->isWindow() ||
          QStringList{"backFrame", "FrontFrame"}.contains(holder->objectName()))
        continue;
      const QRect onScreen(control->mapToGlobal(QPoint(0, 0)), control->size());
      QVERIFY2(available.contains(onScreen) && window->geometry().contains(onScreen) &&
                   holder->rect().contains(control->geometry()) &&
                   control->size().expandedTo(control->minimumSizeHint()) == control->size(),
               qPrintable(name));
      for (const QWidget* other : controls)
        QVERIFY2(
            other->parentWidget() != holder || !other->geometry().intersects(control->geometry()),
            qPrintable(name + " on " + other->objectName()));
      controls << control;
    }
    QVERIFY(controls.size() > 25);
  }
  // The smallest arrangement (the lists one above the other) has room for one more check box
  // on either tab, with the spacing of its frame.
  const int oneMore = QCheckBox("Turn pictures upright").sizeHint().height() + 10;
  if (Get(window.get(), "FileBox")->y() > Get(window.get(), "Dir1")->y())
    QVERIFY(Get(window.get(), "content")->minimumSizeHint().height() + oneMore <=
            scroll->viewport()->height());
}

// Every Alt+letter, on either tab, in the order below: what it changed (check marks, the
// visible tab, the focus, the status line) and the window it opened.
void WindowTest::accessKeysDoOneThingEach() {
  kt::Sandbox user;
  kt::TempDir folder;
  kt::WriteFile(folder.File("photo.jpg"), kt::ShrinkablePicture({.width = 16, .height = 16}));
  auto window = Open({QString::fromStdString(folder.path())});
  QVERIFY(QTest::qWaitForWindowActive(window.get()));
  auto* bar = Get<ProgressStatusBar>(window.get(), "backFrame");
  const QMap<QString, QString> named = {{Summary(0, 0, 0), "none"}, {Summary(1, 0, 0), "declined"}};
  auto state = [&] {
    QSet<QString> shown;
    for (const QAbstractButton* button : window->findChildren<QAbstractButton*>())
      if (button->isCheckable() && !button->objectName().isEmpty())
        shown << button->objectName() + (button->isChecked() ? "+" : "-");
    shown << (Get(window.get(), "safetyFrame")->isVisible() ? "tab:Safety" : "tab:Target");
    shown << "focus:" + (window->focusWidget() ? window->focusWidget()->objectName() : "none");
    shown << "status:" + named.value(bar->text(), bar->text());
    return shown;
  };
  // Letters that each change the same. On the first tab: Abort acts only during a run, the
  // boxes of H and V are on the other tab, M and Q belong to nothing. O opens the log menu,
  // which, dismissed, leaves the box clear. The second V finds the focus on its box already.
  // B at the end: no backups while the output goes to another folder.
  // Each step, split at "|": the letters, then what each of them changes (a status "none" shows
  // the summary of no file, "declined" that of one file not done).
  const QStringList steps =
      QString(
          "AHMQV|B bakCheck+ focus:bakCheck|C readCheck+ focus:readCheck"
          "|D focus:many opened:confirmTree status:declined"
          "|E exifOption1- exifOption2+ focus:exifOption2|F focus:few status:none"
          "|G corOption0+ corOption2- focus:corOption0|I iccCheck+ focus:iccCheck"
          "|J evenCheck+ focus:evenCheck|K exifOption0+ exifOption2- focus:exifOption0"
          "|L corOption0- corOption1+ focus:corOption1|N corOption1- corOption2+ focus:corOption2"
          "|O focus:logCheck opened:logtop|P dpiCheck+ focus:dpiCheck"
          "|R exifOption0- exifOption1+ focus:exifOption1|T tab:Target focus:difdirCheck"
          "|V difdirCheck+|H uprightCheck+ focus:uprightCheck|U opened:splashForm|WXYZ"
          "|S tab:Safety focus:readCheck|W slowCheck+ focus:slowCheck|B")
          .split('|');
  for (const QString& step : steps) {
    QStringList words = step.split(' ');
    const QString letters = words.takeFirst();
    const QSet<QString> expected(words.begin(), words.end());
    for (const QChar letter : letters) {
      const QSet<QString> before = state();
      ModalAnswer answer;
      QApplication::setActiveWindow(window.get());  // as a closed dialog gives the activation back
      QTest::keyClick(window->focusWidget() ? window->focusWidget() : window.get(),
                      Qt::Key(Qt::Key_A + (letter.toLatin1() - 'A')), Qt::AltModifier);
      QTest::qWait(150);  // a button pressed by its key is released after 100 ms
      QSet<QString> seen = state() - before;
      if (!answer.opened.isEmpty()) seen << "opened:" + answer.opened;
      QVERIFY2(seen == expected, qPrintable(QString(letter) + ": " + seen.values().join(", ")));
    }
  }
}

// `keelpack PATH...`, drops of a folder and of files, and where the window opens otherwise:
// nothing is processed, and the lists count the way people do.
void WindowTest::takesPhotosHandedToIt() {
  kt::Sandbox user;
  kt::TempDir tree;
  for (const char* name :
       {"p10.jpg", "P1.jpg", "p2.jpg", "album2/a.jpg", "album10/a.jpg", "album1/a.jpg"})
    kt::WriteFile(tree.File(name), kt::ShrinkablePicture({.width = 16, .height = 16}));
  kt::WriteFile(tree.File("notes.txt"), {});
  const kt::Bytes original = kt::ReadFile(tree.File("p2.jpg"));
  const QString top = QString::fromStdString(tree.path());
  auto window = Open({top + "/p2.jpg", top + "/p10.jpg", top + "/album1/a.jpg"});
  auto* fileList = Get<QListWidget>(window.get(), "FileBox");
  auto path = [&] { return Get<QLineEdit>(window.get(), "pathText"); };
  auto at = [&] { return path()->text(); };
  QCOMPARE(at(), top);
  QCOMPARE(Texts(fileList->findItems("*", Qt::MatchWildcard)),
           QStringList({"P1.jpg", "p2.jpg", "p10.jpg"}));
  // The third is elsewhere.
  QCOMPARE(Texts(fileList->selectedItems()), QStringList({"p2.jpg", "p10.jpg"}));
  QCOMPARE(Texts(Get<QListWidget>(window.get(), "Dir1")->findItems("album*", Qt::MatchWildcard)),
           QStringList({"album1", "album2", "album10"}));

  QVERIFY(Drop(window.get(), {top + "/album2", top + "/p2.jpg"}) && at() == top + "/album2");
  QVERIFY(Drop(window.get(), {top + "/p10.jpg"}) && at() == top);
  QCOMPARE(Texts(fileList->selectedItems()), QStringList({"p10.jpg"}));
  QVERIFY(!Drop(window.get(), {top + "/notes.txt"}));
  QVERIFY(kt::ReadFile(tree.File("p2.jpg")) == original);

  // A typed path opens as well; the window reopens where it was closed, and when that folder
  // has gone, in the pictures folder.
  path()->setText(top + "/album10"), QTest::keyClick(path(), Qt::Key_Return);
  QCOMPARE(at(), top + "/album10");
  QVERIFY(window->close());
  window = Open();
  QCOMPARE(at(), top + "/album10");
  QVERIFY(window->close());
  QVERIFY(QDir(top + "/album10").removeRecursively());
  kt::WriteFile(user.File("config/user-dirs.dirs"),
                kt::ToBytes("XDG_PICTURES_DIR=\"" + tree.File("album2") + "\"\n"));
  window = Open();
  QCOMPARE(at(), top + "/album2");
}

// Options set in the window, then selected files, a folder tree, a run stopped by Abort after
// its first file and an empty folder; then the options as saved and as the window reopens with.
void WindowTest::runsAndKeepsItsOptions() {
  kt::Sandbox user;
  kt::TempDir tree;
  std::map<std::string, kt::Bytes> originals;
  auto Write = [&](const std::string& folder, int count, int first = 0) {
    std::vector<std::string> paths;
    for (int i = first; i < first + count; ++i) {
      paths.push_back(folder + "/picture" + std::to_string(10000 + i) + ".jpg");
      kt::WriteFile(paths.back(), originals[paths.back()] = kt::ShrinkablePicture(
                                      {.width = 16, .height = 16, .seed = unsigned(i + 1)}));
    }
    return paths;
  };
  // The bytes a rewritten file saved, after checking that it kept its picture; -1 otherwise.
  auto Saved = [&](const std::string& path) -> long long {
    const kt::Bytes now = kt::ReadFile(path), &original = originals.at(path);
    const auto pixels = kt::DecodePixels(now);
    return now.size() < original.size() && pixels && pixels == kt::DecodePixels(original)
               ? static_cast<long long>(original.size() - now.size())
               : -1;
  };
  auto Unchanged = [&](const std::string& p) { return kt::ReadFile(p) == originals.at(p); };
  const auto paths = Write(tree.path(), 6);
  Write(tree.File("sub/deeper"), 3);
  const auto hidden = Write(tree.File(".hidden"), 1);
  QVERIFY(QDir().mkpath(QString::fromStdString(tree.File("empty"))));
  auto window = Open({QString::fromStdString(tree.path())});
  auto get = [&](const char* name) { return Get(window.get(), name); };
  auto click = [&](const char* name) { QTest::mouseClick(get(name), Qt::LeftButton); };
  auto* bar = Get<ProgressStatusBar>(window.get(), "backFrame");
  auto logLines = [&] {
    auto* box = Get<keelpack::ui::LogTextBox>(window.get(), "debugtext");
    box->Flush();
    return box->toPlainText().split('\n');
  };
  // Which of few, many, FileBox and Abort are enabled, and the pointers.
  auto controls = [&] {
    QString text;
    for (const char* name : {"few", "many", "FileBox", "cancelCommand"})
      text += get(name)->isEnabled() ? '1' : '0';
    const Qt::CursorShape shape = window->cursor().shape();
    text += shape == Qt::WaitCursor ? " busy" : shape == Qt::ArrowCursor ? " idle" : " other";
    return text + (get("cancelCommand")->cursor().shape() == Qt::ArrowCursor ? " arrow" : " other");
  };
  // The controls at the run's first turn of the event loop and after the run, and where the
  // focus is then.
  auto runFrom = [&](const char* button) {
    QString during;
    QTimer::singleShot(0, window.get(), [&] { during = controls(); });
    click(button);
    return during + ", then " + controls() + " " + window->focusWidget()->objectName();
  };

  // Each box is clicked on its indicator: a stretched box takes no clicks beyond its caption.
  for (const char* name : {"exifOption2", "corOption0", "readCheck", "slowCheck"})
    QTest::mouseClick(get(name), Qt::LeftButton, {}, QPoint(1, 1) * (get(name)->height() / 2));

  auto* fileList = Get<QListWidget>(window.get(), "FileBox");
  // With "Save in different directory" on, no run starts without an output folder it can use.
  Get<QCheckBox>(window.get(), "difdirCheck")->setChecked(true);
  fileList->item(0)->setSelected(true);
  for (const auto& [output, message] :
       {std::pair{""s,
                  "Please choose an output directory, or clear \"Save in different directory\"."s},
        {"out"s, "The output directory must be a full path: out"s},
        {paths[0] + "/out", "Cannot create the output directory " + paths[0] + "/out"}}) {
    Get<QLineEdit>(window.get(), "newdirText")->setText(QString::fromStdString(output));
    click("few");
    QCOMPARE(bar->text(), QString::fromStdString(message));
    QVERIFY(get("targetFrame")->isVisible() && QApplication::focusWidget() == get("newdirText") &&
            Unchanged(paths[0]));
  }
  Get<QCheckBox>(window.get(), "difdirCheck")->setChecked(false);
  // Nothing to turn in these pictures.
  Get<QCheckBox>(window.get(), "uprightCheck")->setChecked(true);
  for (int i : {0, 2, 3}) fileList->item(i)->setSelected(true);
  const auto late = Write(tree.path(), 1, 6);  // not in the list until it is read again
  // Only Abort acts during the run; it keeps the arrow pointer. Afterwards the focus is back
  // on the button that started the run, not on an option that an arrow key would change.
  QCOMPARE(runFrom("few"), QString("0001 busy arrow, then 1110 idle arrow few"));
  QVERIFY(Saved(paths[0]) > 0 && Unchanged(paths[1]) && Saved(paths[2]) > 0 && Unchanged(late[0]));
  QCOMPARE(bar->text(), Summary(3, 3, Saved(paths[0]) + Saved(paths[2]) + Saved(paths[3])));
  QCOMPARE(bar->FilledWidth(), bar->width());
  QVERIFY(fileList->selectedItems().isEmpty() && fileList->count() == 7);  // read afresh

  // The tree run asks first, with the files, the folder, the Exif choice and the backups;
  // declined, it leaves every file as it was.
  QString question;
  ModalAnswer asked([&](QWidget* box) { question = qobject_cast<QMessageBox*>(box)->text(); });
  click("many");
  for (const std::string& part :
       {"10 files"s, tree.path() + " and all its subdirectories", "Exif deleted"s, "no backups"s})
    QVERIFY2(question.contains(QString::fromStdString(part)), qPrintable(question));
  QVERIFY(Unchanged(paths[1]) && bar->text() == Summary(10, 0, 0) &&
          logLines().contains("Operation cancelled!"));
  // Answered yes, with "Do not ask again": the next run goes without asking.
  ModalAnswer yes([](QWidget* box) {
    box->findChild<QCheckBox*>("dontAskCheck")->setChecked(true);
    for (auto* button : box->findChildren<QPushButton*>())
      if (button->text() == "&Rewrite") button->click();
  });
  // The file list stays usable.
  QCOMPARE(runFrom("many"), QString("0011 busy arrow, then 1110 idle arrow many"));
  QCOMPARE(yes.opened, QString("confirmTree"));
  // The hidden folder is left out; the files of the first run are small already.
  QVERIFY(Unchanged(hidden[0]) &&
          bar->text().startsWith("Finished. Out of 10 files, 7 were reduced"));
  ModalAnswer unasked;
  click("many");
  QVERIFY(unasked.opened.isEmpty() && bar->text().startsWith("Finished. Out of 10 files"));

  // Abort is clicked at the first yield after a file, as a user would click it. (What a run does
  // when nothing is selected, what a stopped run counts, and that the next run starts afresh,
  // the runs' own tests check.)
  originals.clear();
  const auto next = Write(tree.path(), 7);
  fileList->selectAll();
  QString clickedAt;
  QTimer watch;
  QObject::connect(&watch, &QTimer::timeout, [&] {
    if (!clickedAt.isEmpty() || !bar->text().startsWith("Processed ")) return;
    clickedAt = bar->text();
    click("cancelCommand");
  });
  watch.start(0);
  click("few");
  QCOMPARE(clickedAt, QString("Processed 1 of 7 files..."));
  QVERIFY(logLines().contains("Operation cancelled!") && Saved(next[0]) > 0 && Unchanged(next[1]));

  auto* folderList = Get<QListWidget>(window.get(), "Dir1");
  folderList->setCurrentItem(folderList->findItems("empty", Qt::MatchExactly).value(0));
  QTest::keyClick(folderList, Qt::Key_Return), click("many");
  QVERIFY(logLines().contains("No compatible file found.") && bar->text() == Summary(0, 0, 0));

  QVERIFY(window->close());
  const auto settings = kt::ReadLines(user.File("config/keelpack.ini"));
  for (const char* line : {"Exif=2", "Corrupted=0", "Readability=1", "Slow=1", "Backups=0",
                           "ConfirmTree=0", "Upright=1"})
    QVERIFY2(std::ranges::count(settings, line) == 1, line);
  window = Open();
  for (const char* box :
       {"exifOption2", "corOption0", "readCheck", "slowCheck", "bakCheck", "uprightCheck"})
    QVERIFY2(Get<QAbstractButton>(window.get(), box)->isChecked() != (box == "bakCheck"s), box);
}

QTEST_MAIN(WindowTest)
#include "ui_window_test.moc"
