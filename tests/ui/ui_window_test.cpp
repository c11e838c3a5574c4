// The main window on Qt's offscreen platform: its fit on the screen, and runs started from its
// buttons on real JPEG files, with the options it keeps between sessions.
#include <QCheckBox>
#include <QDir>
#include <QGroupBox>
#include <QListWidget>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <map>

#include "support/pictures.h"
#include "support/temp_dir.h"
#include "ui/form1.h"
#include "ui/log_text_box.h"
#include "ui/progress_status_bar.h"

namespace kt = keelpack::test;
using namespace std::string_literals;
using keelpack::ui::Form1;

namespace {

// The window's lists open at the process's current folder.
struct InFolder {
  QString old = QDir::currentPath();
  explicit InFolder(const std::string& folder) { QDir::setCurrent(QString::fromStdString(folder)); }
  ~InFolder() { QDir::setCurrent(old); }
};

template <typename T = QWidget>
T* Get(const QObject* parent, const char* name) {
  T* child = parent->findChild<T*>(QString::fromLatin1(name));
  if (child == nullptr) qFatal("no child named %s", name);
  return child;
}

std::unique_ptr<Form1> Open() {
  auto form = std::make_unique<Form1>();
  form->show();
  if (!QTest::qWaitForWindowExposed(form.get())) qFatal("window not shown");
  return form;
}

QString Summary(int files, int reduced, long long saved) {
  return QString("Finished. Out of %1 files, %2 were reduced saving %3 bytes.").arg(files).arg(reduced).arg(saved);
}

}  // namespace

class WindowTest : public QObject {
  Q_OBJECT

 private slots:
  void fitsTheScreen();
  void runsAndKeepsItsOptions();
};

// Run once for each screen in CMakeLists.txt: the designed size where the screen's free area
// allows it; otherwise the window and its frame inside that area. Either way, on both tabs,
// every control lies inside what holds it, gets at least the size it needs, and covers no other.
void WindowTest::fitsTheScreen() {
  kt::Sandbox user;
  auto form = Open();
  const QRect available = form->screen()->availableGeometry();
  const QSize frame = form->frameGeometry().size() - form->size();
  QVERIFY(available.contains(form->frameGeometry()));
  if (available.height() >= form->sizeHint().height() + frame.height()) {
    QCOMPARE(form->size(), form->sizeHint());
    // The log box runs under the options column as designed.
    QVERIFY(Get(form.get(), "debugtext")->geometry().right() > Get(form.get(), "few")->geometry().left());
  }
  for (bool safety : {true, false}) {
    Get(form.get(), "safetyFrame")->setVisible(safety);
    Get(form.get(), "targetFrame")->setVisible(!safety);
    QList<QWidget*> controls;
    for (QWidget* control : form->findChildren<QWidget*>()) {
      QWidget* holder = control->parentWidget();
      const QString name = control->objectName();
      if (name.isEmpty() || !control->isVisible() || (holder != form.get() && !qobject_cast<QGroupBox*>(holder))) continue;
      QVERIFY2(holder->rect().contains(control->geometry()), qPrintable(name));
      QVERIFY2(control->size().expandedTo(control->minimumSizeHint()) == control->size(), qPrintable(name));
      for (const QWidget* other : controls)
        QVERIFY2(other->parentWidget() != holder || !other->geometry().intersects(control->geometry()),
                 qPrintable(name + " on " + other->objectName()));
      controls << control;
    }
    QVERIFY(controls.size() > 25);
  }
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
      kt::WriteFile(paths.back(), originals[paths.back()] = kt::ShrinkablePicture({.width = 16, .height = 16, .seed = unsigned(i + 1)}));
    }
    return paths;
  };
  // The bytes a rewritten file saved, after checking that it kept its picture; -1 otherwise.
  auto Saved = [&](const std::string& path) -> long long {
    const kt::Bytes now = kt::ReadFile(path), &original = originals.at(path);
    const auto pixels = kt::DecodePixels(now);
    return now.size() < original.size() && pixels && pixels == kt::DecodePixels(original) ? static_cast<long long>(original.size() - now.size()) : -1;
  };
  auto Unchanged = [&](const std::string& path) { return kt::ReadFile(path) == originals.at(path); };
  const auto paths = Write(tree.path(), 6);
  Write(tree.File("sub/deeper"), 3);
  const auto hidden = Write(tree.File(".hidden"), 1);
  QVERIFY(QDir().mkpath(QString::fromStdString(tree.File("empty"))));
  InFolder here(tree.path());
  auto form = Open();
  auto get = [&](const char* name) { return Get(form.get(), name); };
  auto click = [&](const char* name) { QTest::mouseClick(get(name), Qt::LeftButton); };
  auto status = [&] { return Get<keelpack::ui::ProgressStatusBar>(form.get(), "backFrame")->text(); };
  auto logLines = [&] {
    auto* box = Get<keelpack::ui::LogTextBox>(form.get(), "debugtext");
    box->Flush();
    return box->toPlainText().split('\n');
  };
  // Which of few, many, FileBox and Abort are enabled and the pointers at the run's first
  // turn of the event loop, and where the focus is afterwards.
  QString state;
  auto runFrom = [&](const char* button) {
    state.clear();
    QTimer::singleShot(0, form.get(), [&] {
      for (const char* name : {"few", "many", "FileBox", "cancelCommand"}) state += get(name)->isEnabled() ? '1' : '0';
      state += form->cursor().shape() == Qt::WaitCursor ? " busy" : " idle";
      state += get("cancelCommand")->cursor().shape() == Qt::ArrowCursor ? " arrow" : " other";
    });
    click(button);
    return state + " " + form->focusWidget()->objectName();
  };

  // Each box is clicked on its indicator: a stretched box takes no clicks beyond its caption.
  for (const char* name : {"exifOption2", "corOption0", "readCheck", "slowCheck"}) {
    auto* box = Get<QAbstractButton>(form.get(), name);
    QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(box->height() / 2, box->height() / 2));
  }

  auto* fileBox = Get<QListWidget>(form.get(), "FileBox");
  for (int i : {0, 2, 3}) fileBox->item(i)->setSelected(true);
  const auto late = Write(tree.path(), 1, 6);  // not in the list until it is read again
  // Only Abort acts during the run; it keeps the arrow pointer. Afterwards the focus is back
  // on the button that started the run, not on an option that an arrow key would change.
  QCOMPARE(runFrom("few"), QString("0001 busy arrow few"));
  QVERIFY(Saved(paths[0]) > 0 && Unchanged(paths[1]) && Saved(paths[2]) > 0 && Unchanged(late[0]));
  QCOMPARE(status(), Summary(3, 3, Saved(paths[0]) + Saved(paths[2]) + Saved(paths[3])));
  auto* bar = Get<keelpack::ui::ProgressStatusBar>(form.get(), "backFrame");
  QCOMPARE(bar->FilledWidth(), bar->width());
  QVERIFY(get("few")->isEnabled() && get("many")->isEnabled() && fileBox->isEnabled() &&
          !get("cancelCommand")->isEnabled() && form->cursor().shape() == Qt::ArrowCursor);
  QVERIFY(fileBox->selectedItems().isEmpty() && fileBox->count() == 7);  // read afresh

  QCOMPARE(runFrom("many"), QString("0011 busy arrow many"));  // the file list stays usable
  // The hidden folder is left out; the files of the first run are small already.
  QVERIFY(Unchanged(hidden[0]) && status().startsWith("Finished. Out of 10 files, 7 were reduced"));

  // Abort is clicked at the first yield after a file, as a user would click it. (What a run does
  // when nothing is selected, and that the next run starts afresh, the runs' own tests check.)
  originals.clear();
  const auto again = Write(tree.path(), 7);
  fileBox->selectAll();
  QString clickedAt;
  QTimer watch;
  QObject::connect(&watch, &QTimer::timeout, [&] {
    if (!status().startsWith("Processed ")) return;
    watch.stop();
    clickedAt = status();
    click("cancelCommand");
  });
  watch.start(0);
  click("few");
  QCOMPARE(clickedAt, QString("Processed 1 of 7 files..."));
  QVERIFY(logLines().contains("Operation cancelled!") && Saved(again[0]) > 0 && Unchanged(again[1]));
  QCOMPARE(status(), Summary(7, 1, Saved(again[0])));  // all selected files are counted

  auto* dir1 = Get<QListWidget>(form.get(), "Dir1");
  dir1->setCurrentItem(dir1->findItems("empty", Qt::MatchExactly).value(0));
  QTest::keyClick(dir1, Qt::Key_Return);
  click("many");
  QVERIFY(logLines().contains("No compatible file found."));
  QCOMPARE(status(), Summary(0, 0, 0));

  QVERIFY(form->close());
  const auto settings = kt::ReadLines(user.File("config/keelpack.ini"));
  for (const char* line : {"Exif=2", "Corrupted=0", "Readability=1", "Slow=1", "Backups=0"})
    QVERIFY2(std::ranges::count(settings, line) == 1, line);
  form = Open();
  for (const char* box : {"exifOption2", "corOption0", "readCheck", "slowCheck", "bakCheck"})
    QVERIFY2(Get<QAbstractButton>(form.get(), box)->isChecked() != (box == "bakCheck"s), box);
}

QTEST_MAIN(WindowTest)
#include "ui_window_test.moc"
