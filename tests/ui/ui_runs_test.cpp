// Runs started from the window's buttons on real JPEG files: selected files, a folder tree,
// Abort between files, and a long run that keeps the window repainting.
#include <QDir>
#include <QLabel>
#include <QListWidget>
#include <QTest>

#include "support/pictures.h"
#include "ui/form1.h"
#include "ui/log_text_box.h"
#include "ui/progress_status_bar.h"
#include "ui_support.h"

using keelpack::test::Bytes;
using keelpack::test::Child;
using keelpack::test::ReadFile;
using keelpack::ui::ProgressStatusBar;

class RunsTest : public QObject {
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

  void selectedFilesAreRewritten();
  void folderTreeIsRewritten();
  void abortStopsBetweenFiles();
  void longRunKeepsRepainting();

 private:
  std::vector<std::string> WritePictures(const std::string& folder, int count, int size = 16);
  void OpenWindow();
  // The bytes a rewritten file saved, after checking that it kept its picture; -1 otherwise.
  long long Saved(const std::string& path) const;
  bool Unchanged(const std::string& path) const { return ReadFile(path) == originals_.at(path); }
  QString Status() const { return Child<ProgressStatusBar>(form_.get(), "backFrame")->text(); }
  QStringList LogLines() const;
  QWidget* Control(const char* name) const { return Child<QWidget>(form_.get(), name); }
  void Click(const char* button) { QTest::mouseClick(Control(button), Qt::LeftButton); }
  // Runs from `button`, recording at the run's first yield which of few, many, FileBox and
  // Abort are enabled and the pointers, and where the focus is afterwards.
  QString RunFrom(const char* button);

  std::unique_ptr<keelpack::test::TempUserFolders> folders_;
  std::unique_ptr<keelpack::test::TempDir> tree_;
  std::unique_ptr<keelpack::test::ScopedCurrentFolder> here_;
  std::unique_ptr<keelpack::ui::Form1> form_;
  std::map<std::string, Bytes> originals_;
};

static QString Summary(int files, int reduced, long long saved) {
  return QString("Finished. Out of %1 files, %2 were reduced saving %3 bytes.")
      .arg(files)
      .arg(reduced)
      .arg(saved);
}

std::vector<std::string> RunsTest::WritePictures(const std::string& folder, int count, int size) {
  QDir().mkpath(QString::fromStdString(folder));
  std::vector<std::string> paths;
  for (int i = 0; i < count; ++i) {
    const std::string path = folder + "/picture" + std::to_string(10000 + i) + ".jpg";
    originals_[path] = keelpack::test::JpegWithComment(static_cast<unsigned>(i + 1), size);
    keelpack::test::WriteFile(path, originals_[path]);
    paths.push_back(path);
  }
  return paths;
}

void RunsTest::OpenWindow() {
  here_ = std::make_unique<keelpack::test::ScopedCurrentFolder>(tree_->path());
  form_ = std::make_unique<keelpack::ui::Form1>();
  form_->show();
  QVERIFY(QTest::qWaitForWindowExposed(form_.get()));
}

long long RunsTest::Saved(const std::string& path) const {
  const Bytes now = ReadFile(path);
  const Bytes& original = originals_.at(path);
  const auto pixels = keelpack::test::DecodePixels(now);
  if (now.size() >= original.size() || !pixels ||
      pixels != keelpack::test::DecodePixels(original)) {
    return -1;
  }
  return static_cast<long long>(original.size() - now.size());
}

QStringList RunsTest::LogLines() const {
  auto* box = Child<keelpack::ui::LogTextBox>(form_.get(), "debugtext");
  box->flush();
  return box->toPlainText().split('\n');
}

QString RunsTest::RunFrom(const char* button) {
  QString state;
  auto watch = keelpack::test::EveryTurnUntil([this, &state] {
    for (const char* name : {"few", "many", "FileBox", "cancelCommand"}) {
      state += Control(name)->isEnabled() ? '1' : '0';
    }
    state += form_->cursor().shape() == Qt::WaitCursor ? " busy" : " idle";
    state += Control("cancelCommand")->cursor().shape() == Qt::ArrowCursor ? " arrow" : " other";
    return true;
  });
  Click(button);
  return state + " " + form_->focusWidget()->objectName();
}

void RunsTest::selectedFilesAreRewritten() {
  const auto paths = WritePictures(tree_->path(), 4);
  OpenWindow();
  auto* fileBox = Child<QListWidget>(form_.get(), "FileBox");
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
  auto* bar = Child<ProgressStatusBar>(form_.get(), "backFrame");
  QCOMPARE(bar->filledWidth(), bar->width());
  QVERIFY(Control("few")->isEnabled() && Control("many")->isEnabled() && fileBox->isEnabled());
  QVERIFY(!Control("cancelCommand")->isEnabled());
  QCOMPARE(form_->cursor().shape(), Qt::ArrowCursor);
  QVERIFY(fileBox->selectedItems().isEmpty());  // read afresh

  Click("few");  // nothing selected
  QVERIFY(LogLines().contains("Please select a file."));
  QCOMPARE(Status(), Summary(0, 0, 0));
}

void RunsTest::folderTreeIsRewritten() {
  WritePictures(tree_->path(), 2);
  WritePictures(tree_->File("sub/deeper"), 3);
  const auto hidden = WritePictures(tree_->File(".hidden"), 1);
  QVERIFY(QDir().mkpath(QString::fromStdString(tree_->File("empty"))));
  OpenWindow();
  QCOMPARE(RunFrom("many"), QString("0011 busy arrow many"));  // the file list stays usable

  long long saved = 0;
  for (const auto& [path, original] : originals_) {
    if (path == hidden[0]) continue;
    QVERIFY2(Saved(path) > 0, path.c_str());
    saved += Saved(path);
  }
  QVERIFY(Unchanged(hidden[0]));
  QCOMPARE(Status(), Summary(5, 5, saved));

  auto* dir1 = Child<QListWidget>(form_.get(), "Dir1");
  keelpack::test::DoubleClick(
      dir1->viewport(),
      dir1->visualItemRect(dir1->findItems("empty", Qt::MatchExactly).value(0)).center());
  Click("many");
  QVERIFY(LogLines().contains("No compatible file found."));
  QCOMPARE(Status(), Summary(0, 0, 0));
}

void RunsTest::abortStopsBetweenFiles() {
  const auto paths = WritePictures(tree_->path(), 6);
  OpenWindow();
  Child<QListWidget>(form_.get(), "FileBox")->selectAll();
  // Abort is clicked at the first yield after a file, as a user would click it.
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
  QVERIFY(Saved(paths[0]) > 0);
  for (size_t i = 1; i < paths.size(); ++i) QVERIFY2(Unchanged(paths[i]), paths[i].c_str());
  QCOMPARE(Status(), Summary(6, 1, Saved(paths[0])));  // all selected files are counted

  // The next run starts with the request cleared.
  Child<QListWidget>(form_.get(), "FileBox")->selectAll();
  Click("few");
  QVERIFY(!LogLines().contains("Operation cancelled!"));
  QVERIFY(Status().startsWith("Finished. Out of 6 files, 5 were reduced"));
}

// Each status a run shows reaches the screen before the run goes on: the window repaints at
// every yield. Checked over a 1,000-file run with every log message echoed to the log box.
void RunsTest::longRunKeepsRepainting() {
  WritePictures(tree_->path(), 1000, 8);
  OpenWindow();
  form_->session().log.logLevel = keelpack::kExplicit;
  QTest::keyClick(Control("debugtext"), Qt::Key_F12);
  auto* bar = Child<ProgressStatusBar>(form_.get(), "backFrame");
  struct PaintRecorder : QObject {
    QStringList painted;
    bool eventFilter(QObject* label, QEvent* event) override {
      if (event->type() == QEvent::Paint) painted << static_cast<QLabel*>(label)->text();
      return false;
    }
  } recorder;
  // Where the bar is full, only the front copy of the text shows.
  for (const char* copy : {"backLabel", "frontLabel"}) {
    Child<QLabel>(bar, copy)->installEventFilter(&recorder);
  }
  QStringList shown;
  connect(bar, &ProgressStatusBar::textChanged, this, [&](const QString& text) { shown << text; });
  Click("many");
  QVERIFY(shown.contains("Processed 1 of 1000 files in 1 of 1 directories."));
  QVERIFY(shown.last().startsWith("Finished. Out of 1000 files, 1000 were reduced saving "));
  qsizetype from = 0;
  for (const QString& text : shown) {
    from = recorder.painted.indexOf(text, from);
    QVERIFY2(from >= 0, qPrintable("never painted: " + text));
  }
}

QTEST_MAIN(RunsTest)
#include "ui_runs_test.moc"
