// Start-up and shut-down of the main window: designed defaults, captions, settings loaded into
// the controls and saved back, font selection.
#include <QApplication>
#include <QCheckBox>
#include <QFontDatabase>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QToolButton>

#include "ui/form1.h"
#include "ui/progress_status_bar.h"
#include "ui_support.h"
#include "version.h"

using keelpack::test::Child;
using keelpack::test::TempUserFolders;
using keelpack::ui::Form1;

class WindowTest : public QObject {
  Q_OBJECT

 private slots:
  void freshStartShowsTheDesignedDefaultsAndSavesThem();
  void everyControlCarriesItsCaptionAndToolTip();
  void settingsReachTheControlsAndGoBackUnchanged();
  void logValuesOtherThanOneTwoThreeTickTheBoxOnly();
  void badLinesLeaveTheDesignedValues();
  void fontSettingWinsWhenTheFontIsKnown();
};

void WindowTest::freshStartShowsTheDesignedDefaultsAndSavesThem() {
  TempUserFolders folders;
  Form1 form;
  QCOMPARE(form.windowTitle(), QString("Keelpack"));
  const QString status = Child<keelpack::ui::ProgressStatusBar>(&form, "backFrame")->text();
  QVERIFY2(status.startsWith(QString("Keelpack %1").arg(keelpack::kVersion.data())),
           qPrintable(status));

  QVERIFY(Child<QRadioButton>(&form, "exifOption1")->isChecked());
  QCOMPARE(Child<QRadioButton>(&form, "exifOption1")->text(), QString("Reduce size"));
  QVERIFY(Child<QRadioButton>(&form, "corOption2")->isChecked());
  QCOMPARE(Child<QRadioButton>(&form, "corOption2")->text(), QString("Rename to"));
  QCOMPARE(Child<QLineEdit>(&form, "corren")->text(), QString("_corrupted_*.*"));
  const auto boxes = form.findChildren<QCheckBox*>();
  QCOMPARE(boxes.size(), 8);
  for (const QCheckBox* box : boxes) {
    QVERIFY2(box->checkState() == Qt::Unchecked, qPrintable(box->objectName()));
    QVERIFY2(box->isEnabled(), qPrintable(box->objectName()));
  }
  QCOMPARE(Child<QCheckBox>(&form, "logCheck")->text(), QString("Log..."));
  QVERIFY(Child<QGroupBox>(&form, "safetyFrame")->isVisibleTo(&form));
  QVERIFY(!Child<QGroupBox>(&form, "targetFrame")->isVisibleTo(&form));
  QVERIFY(Child<QPushButton>(&form, "few")->isEnabled());
  QVERIFY(Child<QPushButton>(&form, "many")->isEnabled());
  QVERIFY(!Child<QPushButton>(&form, "cancelCommand")->isEnabled());
  QCOMPARE(form.session().log.logLevel, 0);

  QVERIFY(form.close());
  QCOMPARE(folders.ReadSettings(),
           std::string("Exif=1\r\nICC=0\r\nDPI=0\r\nCorrupted=2\r\nNonJPEGs=0\r\n"
                       "Mask=_corrupted_*.*\r\nDifDir=0\r\nOutput=\r\nReadability=0\r\nSlow=0\r\n"
                       "Backups=0\r\nFont=\r\nCharSet=\r\nLog=0\r\n"));
  QVERIFY(form.session().cancelRequested);
}

void WindowTest::everyControlCarriesItsCaptionAndToolTip() {
  TempUserFolders folders;
  Form1 form;
  struct Expected {
    const char* name;
    const char* caption;
    const char* toolTip;
  };
  const Expected expected[] = {
      {"few", "Process selected file(s)",
       "Runs the optimization for each file selected in the list to the left."},
      {"many", "Process the directory", "Recurses the directory selected in the left panel."},
      {"cancelCommand", "Abort", ""},
      {"difdirCheck", "Save in different directory",
       "Allows you to specify a different output directory."},
      {"logCheck", "Log...", ""},
      {"bakCheck", "Make backups",
       "Please note that this may fill your disk and cause the operation to fail."},
      {"slowCheck", "Slow entropy parsing",
       "A more thorough algorithm will make sure that the entropy data are correct. Use this for "
       "suspicious directories."},
      {"readCheck", "Check readability",
       "The program will attempt to load the JPEG after the change to ensure readability."},
      {"corOption2", "Rename to",
       "Recommended. Search for these later and try to fix them. First asterisk is replaced with "
       "filename, the other with extension."},
      {"corOption1", "Delete", "Assume irrecoverable JPEGs if blocks are damaged."},
      {"corOption0", "Ignore", "This will leave the bad file unchanged in place."},
      {"evenCheck", "non-JPEGs",
       "The program protects other formats having a JPG extension by accident by default. Check "
       "this to delete such files."},
      {"iccCheck", "Keep embedded ICC (for custom profiles)",
       "Clear: Auto, Check: Keep all, Grayed (right click): Force Remove (only for files reported "
       "by Photoshop as bad)"},
      {"exifOption2", "Delete",
       "Removes the Exif altogether. Saves space the most. You will not be able to see your camera "
       "settings in the file anymore."},
      {"exifOption1", "Reduce size",
       "Reworks the camera data to keep as much interesting data as possible while drastically "
       "reducing the file size."},
      {"exifOption0", "Keep original",
       "Will not alter EXIF. Since Exifs contain a lot of garbage, this is not recommended."},
      {"dpiCheck", "Keep DPI",
       "Useful for printing CD booklets. Printing software will maintain original size on paper."},
  };
  for (const Expected& control : expected) {
    const auto* button = Child<QAbstractButton>(&form, control.name);
    QCOMPARE(button->text(), QString(control.caption));
    QCOMPARE(button->toolTip(), QString(control.toolTip));
  }
  QCOMPARE(Child<QGroupBox>(&form, "corFrame")->title(), QString("Corrupted images"));
  QCOMPARE(Child<QGroupBox>(&form, "exifFrame")->title(), QString("Exif"));
  QCOMPARE(Child<QGroupBox>(&form, "safetyFrame")->title(), QString("Safety"));
  QCOMPARE(Child<QGroupBox>(&form, "targetFrame")->title(), QString("Target"));
  QCOMPARE(Child<QLabel>(&form, "tabLabel0")->text(), QString("&Safety"));
  QCOMPARE(Child<QLabel>(&form, "tabLabel1")->text(), QString("&Target"));

  // The menus, entries in order, separators as empty texts.
  auto entries = [](const QMenu* menu) {
    QStringList texts;
    for (const QAction* action : menu->actions()) texts << action->text();
    return texts;
  };
  QCOMPARE(entries(Child<QMenu>(&form, "logtop")),
           QStringList({"Brief", "Verbose", "Explicit", "", "Open", "", "About..."}));
  QCOMPARE(Child<QMenu>(&form, "logtop")->title(), QString("Log"));
  QCOMPARE(entries(Child<QMenu>(&form, "iccmenu")),
           QStringList({"Force Removal (may corrupt files)"}));
  QCOMPARE(Child<QMenu>(&form, "iccmenu")->title(), QString("ICC"));
}

void WindowTest::settingsReachTheControlsAndGoBackUnchanged() {
  TempUserFolders folders;
  folders.WriteSettings(
      " EXIF = 2\r\nICC=2\r\nDPI=1\r\nCorrupted=0\r\nNonJPEGs=1\r\nMask=bad_*.*\r\n"
      "DifDir=1\r\nOutput=/out/put\r\nReadability=1\r\nSlow=1\r\nBackups=1\r\nFont=\r\n"
      "CharSet= 0 \r\nLog=3\r\n");
  Form1 form;
  QVERIFY(Child<QRadioButton>(&form, "exifOption2")->isChecked());
  QCOMPARE(Child<QCheckBox>(&form, "iccCheck")->checkState(), Qt::PartiallyChecked);
  QVERIFY(Child<QCheckBox>(&form, "dpiCheck")->isChecked());
  QVERIFY(Child<QRadioButton>(&form, "corOption0")->isChecked());
  QVERIFY(Child<QCheckBox>(&form, "evenCheck")->isChecked());
  QCOMPARE(Child<QLineEdit>(&form, "corren")->text(), QString("bad_*.*"));
  QVERIFY(Child<QCheckBox>(&form, "difdirCheck")->isChecked());
  QCOMPARE(Child<QLineEdit>(&form, "newdirText")->text(), QString("/out/put"));
  QVERIFY(Child<QCheckBox>(&form, "readCheck")->isChecked());
  QVERIFY(Child<QCheckBox>(&form, "slowCheck")->isChecked());
  // The different-folder option took effect as it was loaded: no backups, Target in bold.
  auto* bakCheck = Child<QCheckBox>(&form, "bakCheck");
  QVERIFY(bakCheck->isChecked());
  QVERIFY(!bakCheck->isEnabled());
  QVERIFY(Child<QLabel>(&form, "tabLabel1")->font().bold());
  QVERIFY(!form.Options().makeBackups());
  // The level came through the menu command, which ticks, enables and captions the box.
  auto* logCheck = Child<QCheckBox>(&form, "logCheck");
  QVERIFY(logCheck->isChecked());
  QVERIFY(logCheck->isEnabled());
  QCOMPARE(logCheck->text(), QString("Log (Explicit)"));
  QCOMPARE(form.session().log.logLevel, 3);

  form.close();
  QCOMPARE(folders.ReadSettings(),
           std::string("Exif=2\r\nICC=2\r\nDPI=1\r\nCorrupted=0\r\nNonJPEGs=1\r\nMask=bad_*.*\r\n"
                       "DifDir=1\r\nOutput=/out/put\r\nReadability=1\r\nSlow=1\r\nBackups=1\r\n"
                       "Font=\r\nCharSet=0\r\nLog=3\r\n"));
}

void WindowTest::logValuesOtherThanOneTwoThreeTickTheBoxOnly() {
  TempUserFolders folders;
  folders.WriteSettings("Log=2.0\r\n");
  bool menuShown = false;
  auto watch = keelpack::test::WhenMenuOpens([&](QMenu* menu) {
    menuShown = true;
    menu->close();
  });
  Form1 form;
  QTest::qWait(50);  // time for the watcher to see a menu, had one opened
  watch.reset();
  QVERIFY(!menuShown);
  auto* logCheck = Child<QCheckBox>(&form, "logCheck");
  QVERIFY(logCheck->isChecked());
  QVERIFY(logCheck->isEnabled());
  QCOMPARE(logCheck->text(), QString("Log..."));
  QCOMPARE(form.session().log.logLevel, 0);
  // Clearing the box is the user's way to logging off; it stays off.
  logCheck->click();
  QVERIFY(!logCheck->isChecked());
  QCOMPARE(logCheck->text(), QString("Log..."));
  QCOMPARE(form.session().log.logLevel, 0);
}

void WindowTest::badLinesLeaveTheDesignedValues() {
  TempUserFolders folders;
  folders.WriteSettings("Corrupted=7\r\nno equals sign\r\nExif=0\r\nexif=2\r\nUnknown=1\r\n");
  Form1 form;
  QVERIFY(Child<QRadioButton>(&form, "corOption2")->isChecked());
  QVERIFY(Child<QRadioButton>(&form, "exifOption2")->isChecked());  // the later line wins
}

void WindowTest::fontSettingWinsWhenTheFontIsKnown() {
  const QStringList families = QFontDatabase::families();
  QVERIFY(!families.isEmpty());
  QString defaultFamily;
  {
    TempUserFolders folders;
    folders.WriteSettings("Font=No Such Font Anywhere\r\nCharSet=161\r\n");
    Form1 form;
    defaultFamily = form.font().family();
    QVERIFY(defaultFamily != "No Such Font Anywhere");
    form.close();
    QVERIFY(folders.ReadSettings().find("Font=No Such Font Anywhere\r\nCharSet=161\r\n") !=
            std::string::npos);
  }
  // A known family, named in another letter case, wins over every built-in candidate.
  const QString known = families.last();
  TempUserFolders folders;
  folders.WriteSettings("Font=" + known.toUpper().toStdString() + "\r\n");
  Form1 form;
  QCOMPARE(form.font().family(), known);
  QCOMPARE(Child<QCheckBox>(&form, "readCheck")->font().family(), known);
  QCOMPARE(Child<QMenu>(&form, "logtop")->font().family(), known);
}

QTEST_MAIN(WindowTest)
#include "ui_window_test.moc"
