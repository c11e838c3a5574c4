// Start-up and shut-down (designed defaults, settings loaded and saved back, the font), the
// window's fit on the screen, the log box and the fade.
#include <QCheckBox>
#include <QFontDatabase>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QRadioButton>
#include <QScreen>
#include <QScrollBar>
#include <QTest>
#include <QTextBlock>

#include "ui/form1.h"
#include "ui/log_text_box.h"
#include "ui/progress_status_bar.h"
#include "ui/window_effects.h"
#include "ui_support.h"
#include "version.h"

using keelpack::test::Child;
using keelpack::test::TempUserFolders;
using keelpack::ui::Form1;

class WindowTest : public QObject {
  Q_OBJECT

 private slots:
  void freshStartShowsTheDesignedDefaultsAndSavesThem();
  void settingsReachTheControlsAndGoBackUnchanged();
  void fontSettingReachesEveryControl();
  void fitsTheScreen();
  void logBoxKeepsTheNewestLines();
  void fadeInEndsOpaque();
};

void WindowTest::freshStartShowsTheDesignedDefaultsAndSavesThem() {
  TempUserFolders folders;
  Form1 form;
  QCOMPARE(form.windowTitle(), QString("Keelpack"));
  const QString status = Child<keelpack::ui::ProgressStatusBar>(&form, "backFrame")->text();
  QVERIFY(status.startsWith(QString("Keelpack %1").arg(keelpack::kVersion.data())));
  for (const QCheckBox* box : form.findChildren<QCheckBox*>()) {
    QVERIFY2(box->checkState() == Qt::Unchecked && box->isEnabled(), qPrintable(box->objectName()));
  }
  QVERIFY(Child<QGroupBox>(&form, "safetyFrame")->isVisibleTo(&form));
  QVERIFY(!Child<QGroupBox>(&form, "targetFrame")->isVisibleTo(&form));
  QVERIFY(!Child<QWidget>(&form, "cancelCommand")->isEnabled());

  QVERIFY(form.close());
  QVERIFY(form.session().cancelRequested);
  QCOMPARE(folders.ReadSettings(),
           std::string("Exif=1\r\nICC=0\r\nDPI=0\r\nCorrupted=2\r\nNonJPEGs=0\r\n"
                       "Mask=_corrupted_*.*\r\nDifDir=0\r\nOutput=\r\nReadability=0\r\nSlow=0\r\n"
                       "Backups=0\r\nFont=\r\nCharSet=\r\nLog=0\r\n"));
}

void WindowTest::settingsReachTheControlsAndGoBackUnchanged() {
  TempUserFolders folders;
  folders.WriteSettings(
      " EXIF = 0\r\nexif=2\r\nICC=2\r\nDPI=1\r\nCorrupted=7\r\nno equals sign\r\nNonJPEGs=1\r\n"
      "Mask=bad_*.*\r\nDifDir=1\r\nOutput=/out/put\r\nReadability=1\r\nSlow=1\r\nBackups=1\r\n"
      "CharSet= 0 \r\nLog=3\r\n");
  {
    Form1 form;
    // The different-folder option took effect as it was loaded: no backups, Target in bold.
    auto* bakCheck = Child<QCheckBox>(&form, "bakCheck");
    QVERIFY(bakCheck->isChecked() && !bakCheck->isEnabled());
    QVERIFY(Child<QLabel>(&form, "tabLabel1")->font().bold());
    // The level came through its menu command, which captions and enables the ticked box.
    auto* logCheck = Child<QCheckBox>(&form, "logCheck");
    QVERIFY(logCheck->isChecked() && logCheck->isEnabled());
    QCOMPARE(logCheck->text(), QString("Log (Explicit)"));
    QCOMPARE(form.session().log.logLevel, 3);
    form.close();
  }
  // The later of two lines wins, and 7 is no choice.
  QCOMPARE(folders.ReadSettings(),
           std::string("Exif=2\r\nICC=2\r\nDPI=1\r\nCorrupted=2\r\nNonJPEGs=1\r\nMask=bad_*.*\r\n"
                       "DifDir=1\r\nOutput=/out/put\r\nReadability=1\r\nSlow=1\r\nBackups=1\r\n"
                       "Font=\r\nCharSet=0\r\nLog=3\r\n"));

  // A log value other than 1, 2 or 3 ticks the box without its menu and leaves logging off.
  folders.WriteSettings("Log=2.0\r\n");
  bool menuShown = false;
  auto watch = keelpack::test::WhenMenuOpens([&](QMenu* menu) {
    menuShown = true;
    menu->close();
  });
  Form1 form;
  QTest::qWait(50);
  auto* logCheck = Child<QCheckBox>(&form, "logCheck");
  QVERIFY(!menuShown && logCheck->isChecked() && logCheck->isEnabled());
  QCOMPARE(logCheck->text(), QString("Log..."));
  QCOMPARE(form.session().log.logLevel, 0);
}

void WindowTest::fontSettingReachesEveryControl() {
  const QString known = QFontDatabase::families().last();
  {
    TempUserFolders folders;
    folders.WriteSettings("Font=No Such Font\r\nCharSet=161\r\n");
    Form1 form;
    QVERIFY(form.font().family() != "No Such Font");
    form.close();
    QVERIFY(folders.ReadSettings().find("Font=No Such Font\r\nCharSet=161\r\n") !=
            std::string::npos);
  }
  // Named in another letter case, it wins over every built-in candidate; the tab labels,
  // the bold one included, and the menus follow it too.
  TempUserFolders folders;
  folders.WriteSettings("Font=" + known.toUpper().toStdString() + "\r\nDifDir=1\r\n");
  Form1 form;
  for (const char* name : {"readCheck", "tabLabel0", "tabLabel1", "logtop", "backLabel"}) {
    QCOMPARE(Child<QWidget>(&form, name)->font().family(), known);
  }
  QVERIFY(Child<QLabel>(&form, "tabLabel1")->font().bold());
}

// Run once for each screen in CMakeLists.txt: the designed size where the screen's free area
// allows it; otherwise the window and its frame inside that area. Either way every control
// lies inside what holds it, gets at least the size it needs, and covers no other.
void WindowTest::fitsTheScreen() {
  TempUserFolders folders;
  Form1 form;
  form.show();
  QVERIFY(QTest::qWaitForWindowExposed(&form));
  const QRect available = form.screen()->availableGeometry();
  const QSize frame = form.frameGeometry().size() - form.size();
  qInfo() << "screen" << available << "scale" << form.devicePixelRatio() << "window"
          << form.frameGeometry();
  QVERIFY(available.contains(form.frameGeometry()));
  const QSize designed = form.sizeHint();
  if (available.height() >= designed.height() + frame.height()) {
    QCOMPARE(form.size(), designed);
    // The log box runs under the options column as designed.
    QVERIFY(Child<QWidget>(&form, "debugtext")->geometry().right() >
            Child<QWidget>(&form, "few")->geometry().left());
  }
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
      QVERIFY2(other->parentWidget() != holder || !other->geometry().intersects(control->geometry()),
               qPrintable(name + " on " + other->objectName()));
    }
    controls << control;
  }
  QVERIFY(controls.size() > 25);
}

void WindowTest::logBoxKeepsTheNewestLines() {
  keelpack::ui::LogTextBox box;
  box.resize(300, 120);
  box.show();
  constexpr int kExtra = 5;
  for (int i = 0; i < keelpack::ui::LogTextBox::kMaxLines + kExtra; ++i) {
    box.appendLine("line " + std::to_string(i), true);
  }
  box.appendLine("bad \xff byte, Caf\xc3\xa9", true);  // shown as UTF-8, the rest replaced
  QCoreApplication::processEvents();  // lines are gathered until the event loop turns
  QCOMPARE(box.blockCount(), keelpack::ui::LogTextBox::kMaxLines);
  QCOMPARE(box.document()->firstBlock().text(), QString("line %1").arg(kExtra + 1));
  QCOMPARE(box.document()->lastBlock().text(), QString::fromUtf8("bad \uFFFD byte, Café"));
  // The newest line is in view, unless a line is added without bringing it into view.
  auto bottomLine = [&box] {
    return box.cursorForPosition(QPoint(1, box.viewport()->height() - 2)).blockNumber();
  };
  QCOMPARE(bottomLine(), box.blockCount() - 1);
  box.verticalScrollBar()->setValue(0);
  box.appendLine("Failed to write to the logfile!", false);
  box.flush();
  QCOMPARE(box.verticalScrollBar()->value(), 0);
  box.clearLines();
  box.appendLine("", true);  // an empty line is a line
  box.appendLine("after", true);
  box.flush();
  QCOMPARE(box.toPlainText(), QString("\nafter"));
}

void WindowTest::fadeInEndsOpaque() {
  keelpack::ui::FadeIn fade;
  std::vector<int> alphas;
  for (bool last = false; !last && alphas.size() < 1000;) alphas.push_back(fade.Step(last));
  QVERIFY(alphas.size() > 10 && alphas.size() < 1000);  // visible steps, and an end
  QVERIFY(std::is_sorted(alphas.begin(), alphas.end()));
  QCOMPARE(alphas.back(), 255);
}

QTEST_MAIN(WindowTest)
#include "ui_window_test.moc"
