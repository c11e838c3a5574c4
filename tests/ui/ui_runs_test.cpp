// Runs started from the window's buttons on real JPEG files: the selected-files run, the
// folder-tree run, Abort between files, closing the window during a run, and a long run that
// keeps the window repainting.
#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <chrono>

#include "platform/files.h"
#include "support/pictures.h"
#include "ui/file_list.h"
#include "ui/form1.h"
#include "ui/log_text_box.h"
#include "ui/progress_status_bar.h"
#include "ui_support.h"

using keelpack::test::Bytes;
using keelpack::test::Child;
using keelpack::test::EveryTurnUntil;
using keelpack::test::JpegWithComment;
using keelpack::test::ReadFile;
using keelpack::test::TempDir;
using keelpack::test::TempUserFolders;
using keelpack::ui::Form1;
using keelpack::ui::ProgressStatusBar;

namespace {

// The window's state as seen from inside a run, at its first yield.
struct RunningState {
  bool seen = false;
  bool few = true, many = true, fileBox = true, abort = false;
  Qt::CursorShape cursor = Qt::ArrowCursor;
  Qt::CursorShape abortCursor = Qt::WaitCursor;
};

QString Summary(int files, int reduced, long long saved) {
  return QString("Finished. Out of %1 files, %2 were reduced saving %3 bytes.")
      .arg(files)
      .arg(reduced)
      .arg(saved);
}

}  // namespace

class RunsTest : public QObject {
  Q_OBJECT

 private slots:
  void init();
  void cleanup();

  void selectedFilesAreRewritten();
  void folderTreeIsRewritten();
  void abortStopsBetweenFiles();
  void closingTheWindowStopsTheRun();
  void longRunKeepsRepainting();

 private:
  // Writes `count` small JPEG files with comments into `folder`; gives their names.
  std::vector<std::string> WritePictures(const std::string& folder, int count, int size = 16);
  void OpenWindowAt(const std::string& folder);
  // Records the window's state at the first yield of the run that a click starts.
  keelpack::test::Watcher WatchFirstYield();
  QString Status() const { return Child<ProgressStatusBar>(form_.get(), "backFrame")->text(); }
  QStringList LogLines() const {
    auto* box = Child<keelpack::ui::LogTextBox>(form_.get(), "debugtext");
    box->flush();
    return box->toPlainText().split('\n');
  }
  void Click(const char* button) {
    QTest::mouseClick(Child<QPushButton>(form_.get(), button), Qt::LeftButton);
  }

  std::unique_ptr<TempUserFolders> folders_;
  std::unique_ptr<TempDir> tree_;
  std::unique_ptr<keelpack::test::ScopedCurrentFolder> here_;
  std::unique_ptr<Form1> form_;
  std::map<std::string, Bytes> originals_;
  RunningState running_;
};

void RunsTest::init() {
  folders_ = std::make_unique<TempUserFolders>();
  tree_ = std::make_unique<TempDir>();
  originals_.clear();
  running_ = {};
}

void RunsTest::cleanup() {
  form_.reset();
  here_.reset();
  tree_.reset();
  folders_.reset();
}

std::vector<std::string> RunsTest::WritePictures(const std::string& folder, int count, int size) {
  QDir().mkpath(QString::fromStdString(folder));
  std::vector<std::string> names;
  for (int i = 0; i < count; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "picture%04d.jpg", i);
    const Bytes file = JpegWithComment(static_cast<unsigned>(i + 1), size);
    keelpack::test::WriteFile(folder + "/" + name, file);
    originals_[folder + "/" + name] = file;
    names.push_back(name);
  }
  return names;
}

void RunsTest::OpenWindowAt(const std::string& folder) {
  here_ = std::make_unique<keelpack::test::ScopedCurrentFolder>(folder);
  form_ = std::make_unique<Form1>();
  form_->show();
  QVERIFY(QTest::qWaitForWindowExposed(form_.get()));
}

keelpack::test::Watcher RunsTest::WatchFirstYield() {
  return EveryTurnUntil([this] {
    running_ = {true,
                Child<QWidget>(form_.get(), "few")->isEnabled(),
                Child<QWidget>(form_.get(), "many")->isEnabled(),
                Child<QWidget>(form_.get(), "FileBox")->isEnabled(),
                Child<QWidget>(form_.get(), "cancelCommand")->isEnabled(),
                form_->cursor().shape(),
                Child<QWidget>(form_.get(), "cancelCommand")->cursor().shape()};
    return true;
  });
}

// The saving of each rewritten file, with a check that it kept its picture.
long long Saved(const std::string& path, const Bytes& original) {
  const Bytes now = ReadFile(path);
  if (now.size() >= original.size()) return -1;
  const auto pixels = keelpack::test::DecodePixels(now);
  if (!pixels || pixels != keelpack::test::DecodePixels(original)) return -1;
  return static_cast<long long>(original.size() - now.size());
}

void RunsTest::selectedFilesAreRewritten() {
  const auto names = WritePictures(tree_->path(), 4);
  OpenWindowAt(tree_->path());
  auto* fileBox = Child<QListWidget>(form_.get(), "FileBox");
  QCOMPARE(fileBox->count(), 4);
  fileBox->item(0)->setSelected(true);
  fileBox->item(2)->setSelected(true);
  fileBox->item(3)->setSelected(true);

  auto watch = WatchFirstYield();
  Click("few");
  // While running: only Abort is a run control, the file list is disabled, the pointer busy
  // except over Abort.
  QVERIFY(running_.seen);
  QVERIFY(!running_.few && !running_.many && !running_.fileBox && running_.abort);
  QCOMPARE(running_.cursor, Qt::WaitCursor);
  QCOMPARE(running_.abortCursor, Qt::ArrowCursor);

  long long saved = 0;
  for (int i : {0, 2, 3}) {
    const std::string path = tree_->File(names[i]);
    const long long fileSaved = Saved(path, originals_[path]);
    QVERIFY2(fileSaved > 0, path.c_str());
    saved += fileSaved;
  }
  QVERIFY(ReadFile(tree_->File(names[1])) == originals_[tree_->File(names[1])]);
  QCOMPARE(Status(), Summary(3, 3, saved));
  auto* bar = Child<ProgressStatusBar>(form_.get(), "backFrame");
  QCOMPARE(bar->filledWidth(), bar->width());
  // Idle again; the file list was read afresh, so nothing is selected.
  QVERIFY(Child<QWidget>(form_.get(), "few")->isEnabled());
  QVERIFY(Child<QWidget>(form_.get(), "many")->isEnabled());
  QVERIFY(fileBox->isEnabled());
  QVERIFY(!Child<QWidget>(form_.get(), "cancelCommand")->isEnabled());
  QCOMPARE(form_->cursor().shape(), Qt::ArrowCursor);
  QVERIFY(fileBox->selectedItems().isEmpty());

  // No selection: a message on screen and a summary of nothing.
  Click("few");
  QVERIFY(LogLines().contains("Please select a file."));
  QCOMPARE(Status(), Summary(0, 0, 0));
}

void RunsTest::folderTreeIsRewritten() {
  WritePictures(tree_->path(), 2);
  WritePictures(tree_->File("sub/deeper"), 3);
  const auto hidden = WritePictures(tree_->File(".hidden"), 1);
  const Bytes hiddenBefore = ReadFile(tree_->File(".hidden/" + hidden[0]));
  OpenWindowAt(tree_->path());

  auto watch = WatchFirstYield();
  Click("many");
  QVERIFY(running_.seen);
  QVERIFY(!running_.few && !running_.many && running_.abort);
  QVERIFY(running_.fileBox);  // a folder-tree run leaves the file list usable
  QCOMPARE(running_.cursor, Qt::WaitCursor);

  long long saved = 0;
  for (const auto& [path, original] : originals_) {
    if (path.find("/.hidden/") != std::string::npos) continue;
    const long long fileSaved = Saved(path, original);
    QVERIFY2(fileSaved > 0, path.c_str());
    saved += fileSaved;
  }
  QVERIFY(ReadFile(tree_->File(".hidden/" + hidden[0])) == hiddenBefore);
  QCOMPARE(Status(), Summary(5, 5, saved));
  QVERIFY(Child<QWidget>(form_.get(), "many")->isEnabled());
  QVERIFY(!Child<QWidget>(form_.get(), "cancelCommand")->isEnabled());

  // An empty folder: nothing found.
  QVERIFY(QDir().mkpath(QString::fromStdString(tree_->File("empty"))));
  auto* dir1 = Child<QListWidget>(form_.get(), "Dir1");
  QTest::keyClick(dir1, Qt::Key_F5);
  keelpack::test::DoubleClick(
      dir1->viewport(),
      dir1->visualItemRect(dir1->findItems("empty", Qt::MatchExactly).value(0)).center());
  QCOMPARE(form_->FolderPath(), tree_->File("empty"));
  Click("many");
  QVERIFY(LogLines().contains("No compatible file found."));
  QCOMPARE(Status(), Summary(0, 0, 0));
}

void RunsTest::abortStopsBetweenFiles() {
  const auto names = WritePictures(tree_->path(), 6);
  OpenWindowAt(tree_->path());
  Child<QListWidget>(form_.get(), "FileBox")->selectAll();
  // Abort is clicked at the first yield after a file, as a user would click it.
  int clicksAt = -1;
  auto watch = EveryTurnUntil([&] {
    if (!Status().startsWith("Processed ")) return false;
    clicksAt = Status().section(' ', 1, 1).toInt();
    Click("cancelCommand");
    return true;
  });
  Click("few");
  QCOMPARE(clicksAt, 1);
  QVERIFY(LogLines().contains("Operation cancelled!"));
  const std::string first = tree_->File(names[0]);
  const long long saved = Saved(first, originals_[first]);
  QVERIFY(saved > 0);
  for (size_t i = 1; i < names.size(); ++i) {
    const std::string path = tree_->File(names[i]);
    QVERIFY2(ReadFile(path) == originals_[path], path.c_str());
  }
  // The summary counts the selected files, not the processed ones.
  QCOMPARE(Status(), Summary(6, 1, saved));

  // The next run starts with the request cleared.
  Child<QListWidget>(form_.get(), "FileBox")->selectAll();
  Click("few");
  QVERIFY(!LogLines().contains("Operation cancelled!"));
  QVERIFY(Status().startsWith("Finished. Out of 6 files, 5 were reduced"));
}

void RunsTest::closingTheWindowStopsTheRun() {
  const auto names = WritePictures(tree_->path(), 4);
  OpenWindowAt(tree_->path());
  auto watch = EveryTurnUntil([&] {
    if (!Status().startsWith("Processed ")) return false;
    form_->close();
    return true;
  });
  Click("many");
  QVERIFY(LogLines().contains("Operation cancelled!"));
  for (size_t i = 1; i < names.size(); ++i) {
    const std::string path = tree_->File(names[i]);
    QVERIFY(ReadFile(path) == originals_[path]);
  }
  QVERIFY(keelpack::platform::Exists(folders_->settingsFile()));
}

// Every status a run shows must reach the screen: each yield repaints the window before the
// run goes on. Checked over a 1,000-file run by recording what the status line painted.
void RunsTest::longRunKeepsRepainting() {
  constexpr int kFiles = 1000;
  WritePictures(tree_->path(), kFiles, 8);
  OpenWindowAt(tree_->path());
  auto* bar = Child<ProgressStatusBar>(form_.get(), "backFrame");
  auto* backLabel = Child<QLabel>(bar, "backLabel");
  // The heaviest logging there is: every message to the file and echoed to the log box.
  form_->session().log.logLevel = keelpack::kExplicit;
  QTest::keyClick(Child<QWidget>(form_.get(), "debugtext"), Qt::Key_F12);

  struct PaintRecorder : QObject {
    QStringList painted;
    bool eventFilter(QObject* watched, QEvent* event) override {
      if (event->type() == QEvent::Paint) painted << static_cast<QLabel*>(watched)->text();
      return false;
    }
  } recorder;
  backLabel->installEventFilter(&recorder);
  QStringList shown;
  connect(bar, &ProgressStatusBar::textChanged, this, [&](const QString& text) { shown << text; });
  int turns = 0;
  auto watch = EveryTurnUntil([&] {
    ++turns;
    return false;
  });

  const auto start = std::chrono::steady_clock::now();
  Click("many");
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  qInfo("%d files in %.1f s: %lld statuses, %d event-loop turns, %d lines in the log box", kFiles,
        seconds, static_cast<long long>(shown.size()), turns,
        Child<QPlainTextEdit>(form_.get(), "debugtext")->blockCount());

  watch.reset();
  QVERIFY(shown.contains("Processed 1 of 1000 files in 1 of 1 directories."));
  QVERIFY2(shown.last().startsWith("Finished. Out of 1000 files, 1000 were reduced saving "),
           qPrintable(shown.last()));
  // Each status was painted before the next one replaced it, in order.
  qsizetype from = 0;
  for (const QString& text : shown) {
    const qsizetype at = recorder.painted.indexOf(text, from);
    QVERIFY2(at >= 0, qPrintable("never painted: " + text));
    from = at;
  }
  // The event loop turned at every status update at least.
  QVERIFY(turns >= shown.size() - 1);
}

QTEST_MAIN(RunsTest)
#include "ui_runs_test.moc"
