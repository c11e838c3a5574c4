// The about screen, driven tick by tick on the offscreen platform over a plain main window.
#include "ui/about_screen.h"

#include <QLabel>
#include <QTest>

#include "version.h"

using keelpack::ui::AboutScreen;

namespace {

// The offscreen platform cannot show the forced effects and says so on every call.
QtMessageHandler testLogHandler = nullptr;
void QuietAboutEffects(QtMsgType type, const QMessageLogContext& context, const QString& text) {
  if (type != QtWarningMsg || !text.startsWith("This plugin does not support setting window"))
    testLogHandler(type, context, text);
}

}  // namespace

class AboutScreenTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() { testLogHandler = qInstallMessageHandler(QuietAboutEffects); }
  void cleanupTestCase() { qInstallMessageHandler(testLogHandler); }

  // Played to its end, or closed by a key once the main window has faded: either way closed
  // with both timers stopped (a late tick would fade the main window again) and the main
  // window back at full opacity.
  void opensAndCloses() {
    for (bool byKey : {false, true}) {
      QWidget mainWindow;
      mainWindow.show();
      AboutScreen screen(&mainWindow, AboutScreen::Clock::kManual);
      screen.SetTranslucencyAvailable(true), screen.show();
      QVERIFY(screen.isVisible() && screen.ZoomTimer().isActive());
      // The version and the licence show from the start; no web address anywhere.
      const QString foot = screen.findChild<QLabel*>("versionLabel")->text();
      QVERIFY(foot.contains(QString::fromUtf8(keelpack::kVersion)) && foot.contains("Licen"));
      QVERIFY(!keelpack::ui::CreditsText().contains("://") &&
              keelpack::ui::CreditsText().endsWith(foot));
      while (screen.isVisible() && screen.ZoomTimer().isActive()) screen.ZoomTick();
      QVERIFY(mainWindow.windowOpacity() < 1 && screen.ScrollTimer().isActive());
      if (byKey) QTest::keyClick(&screen, Qt::Key_Escape);
      QCOMPARE(screen.isVisible(), !byKey);
      for (int ticks = 0; screen.isVisible() && ticks < 100000; ++ticks) screen.ScrollTick();
      QVERIFY(!screen.isVisible() && !screen.ZoomTimer().isActive() &&
              !screen.ScrollTimer().isActive() && mainWindow.windowOpacity() == 1.0);
    }
  }
};

QTEST_MAIN(AboutScreenTest)
#include "about_screen_test.moc"
