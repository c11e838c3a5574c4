// Start-up and shut-down: designed defaults, settings loaded into the controls and saved back,
// the font choice.
#include <QCheckBox>
#include <QComboBox>
#include <QFontDatabase>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QRadioButton>
#include <QTest>

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
  void settingsReachTheControlsAndGoBackUnchanged();
  void logValuesOtherThanOneTwoThreeTickTheBoxOnly();
  void fontSettingWinsWhenTheFontIsKnown();
};

void WindowTest::freshStartShowsTheDesignedDefaultsAndSavesThem() {
  TempUserFolders folders;
  Form1 form;
  QCOMPARE(form.windowTitle(), QString("Keelpack"));
  const QString status = Child<keelpack::ui::ProgressStatusBar>(&form, "backFrame")->text();
  QVERIFY(status.startsWith(QString("Keelpack %1").arg(keelpack::kVersion.data())));
  QVERIFY(Child<QRadioButton>(&form, "exifOption1")->isChecked());
  QCOMPARE(Child<QRadioButton>(&form, "exifOption1")->text(), QString("Reduce size"));
  QVERIFY(Child<QRadioButton>(&form, "corOption2")->isChecked());
  QCOMPARE(Child<QRadioButton>(&form, "corOption2")->text(), QString("Rename to"));
  QCOMPARE(Child<QLineEdit>(&form, "corren")->text(), QString("_corrupted_*.*"));
  for (const QCheckBox* box : form.findChildren<QCheckBox*>()) {
    QVERIFY2(box->checkState() == Qt::Unchecked && box->isEnabled(), qPrintable(box->objectName()));
  }
  QCOMPARE(Child<QCheckBox>(&form, "logCheck")->text(), QString("Log..."));
  QVERIFY(Child<QGroupBox>(&form, "safetyFrame")->isVisibleTo(&form));
  QVERIFY(!Child<QGroupBox>(&form, "targetFrame")->isVisibleTo(&form));
  QVERIFY(!Child<QWidget>(&form, "cancelCommand")->isEnabled());

  QVERIFY(form.close());
  QVERIFY(form.session().cancelRequested);
  QCOMPARE(folders.ReadSettings(),
           std::string("Exif=1\r\nICC=0\r\nDPI=0\r\nCorrupted=2\r\nNonJPEGs=0\r\n"
                       "Mask=_corrupted_*.*\r\nDifDir=0\r\nOutput=\r\nReadability=0\r\nSlow=0\r\n"
                       "Backups=0\r\nFont=\r\nCharSet=\r\nLog=0\r\nOptimize=0\r\n"));
}

void WindowTest::settingsReachTheControlsAndGoBackUnchanged() {
  TempUserFolders folders;
  folders.WriteSettings(
      " EXIF = 0\r\nexif=2\r\nICC=2\r\nDPI=1\r\nCorrupted=7\r\nno equals sign\r\nNonJPEGs=1\r\n"
      "Mask=bad_*.*\r\nDifDir=1\r\nOutput=/out/put\r\nReadability=1\r\nSlow=1\r\nBackups=1\r\n"
      "CharSet= 0 \r\nLog=3\r\nOptimize=2\r\n");
  Form1 form;
  QVERIFY(Child<QRadioButton>(&form, "exifOption2")->isChecked());  // the later line wins
  QCOMPARE(Child<QCheckBox>(&form, "iccCheck")->checkState(), Qt::PartiallyChecked);
  QVERIFY(Child<QRadioButton>(&form, "corOption2")->isChecked());  // 7 is no choice
  QCOMPARE(Child<QLineEdit>(&form, "corren")->text(), QString("bad_*.*"));
  QCOMPARE(Child<QLineEdit>(&form, "newdirText")->text(), QString("/out/put"));
  for (const char* name : {"dpiCheck", "evenCheck", "difdirCheck", "readCheck", "slowCheck"}) {
    QVERIFY2(Child<QCheckBox>(&form, name)->isChecked(), name);
  }
  // The different-folder option took effect as it was loaded: no backups, Target in bold.
  auto* bakCheck = Child<QCheckBox>(&form, "bakCheck");
  QVERIFY(bakCheck->isChecked() && !bakCheck->isEnabled());
  QVERIFY(Child<QLabel>(&form, "tabLabel1")->font().bold());
  // The level came through its menu command, which captions and enables the ticked box.
  auto* logCheck = Child<QCheckBox>(&form, "logCheck");
  QVERIFY(logCheck->isChecked() && logCheck->isEnabled());
  QCOMPARE(logCheck->text(), QString("Log (Explicit)"));
  QCOMPARE(form.session().log.logLevel, 3);
  QCOMPARE(Child<QComboBox>(&form, "optimizeCombo")->currentText(), QString("Optimize coding: progressive"));

  form.close();
  QCOMPARE(folders.ReadSettings(),
           std::string("Exif=2\r\nICC=2\r\nDPI=1\r\nCorrupted=2\r\nNonJPEGs=1\r\nMask=bad_*.*\r\n"
                       "DifDir=1\r\nOutput=/out/put\r\nReadability=1\r\nSlow=1\r\nBackups=1\r\n"
                       "Font=\r\nCharSet=0\r\nLog=3\r\nOptimize=2\r\n"));
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
  QTest::qWait(50);
  watch.reset();
  QVERIFY(!menuShown);
  auto* logCheck = Child<QCheckBox>(&form, "logCheck");
  QVERIFY(logCheck->isChecked() && logCheck->isEnabled());
  QCOMPARE(logCheck->text(), QString("Log..."));
  QCOMPARE(form.session().log.logLevel, 0);
}

void WindowTest::fontSettingWinsWhenTheFontIsKnown() {
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
  // Named in another letter case, it wins over every built-in candidate.
  TempUserFolders folders;
  folders.WriteSettings("Font=" + known.toUpper().toStdString() + "\r\n");
  Form1 form;
  QCOMPARE(Child<QCheckBox>(&form, "readCheck")->font().family(), known);
  QCOMPARE(Child<QMenu>(&form, "logtop")->font().family(), known);
}

QTEST_MAIN(WindowTest)
#include "ui_window_test.moc"
