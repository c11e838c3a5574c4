// The about screen, driven tick by tick on the offscreen platform with a plain widget as the
// main window it fades.
#include "about_screen.h"

#include <QFrame>
#include <QLabel>
#include <QTest>

using keelpack::AboutScreen;

namespace {

// The offscreen platform cannot show the forced effects and says so on every call.
QtMessageHandler testLogHandler = nullptr;
void QuietAboutEffects(QtMsgType type, const QMessageLogContext& context, const QString& text) {
  if (type != QtWarningMsg || !text.startsWith("This plugin does not support setting window")) {
    testLogHandler(type, context, text);
  }
}

}  // namespace

class AboutScreenTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() { testLogHandler = qInstallMessageHandler(QuietAboutEffects); }
  void cleanupTestCase() { qInstallMessageHandler(testLogHandler); }
  void playsThroughAndClosesByKeyMouseOrCodeWord();
};

// Played to the end, and closed by a key or a mouse press at points along the way, or after
// a code word: each time closed, both timers stopped (a late tick would fade the main window
// again), the main window back at full opacity, and black seen through wherever it shows.
void AboutScreenTest::playsThroughAndClosesByKeyMouseOrCodeWord() {
  for (int ending = 0; ending < 5; ++ending) {
    QWidget mainWindow;
    mainWindow.resize(640, 480);
    mainWindow.show();
    AboutScreen screen(&mainWindow, AboutScreen::Clock::kManual);
    screen.SetTranslucencyAvailable(true);
    screen.show();
    QImage shot(screen.size(), QImage::Format_RGB32);
    screen.render(&shot, {}, {},
                  QWidget::DrawWindowBackground | QWidget::DrawChildren | QWidget::IgnoreMask);
    int black = 0;
    for (int y = 0; y < shot.height(); y += 3) {
      for (int x = 0; x < shot.width(); x += 3) {
        black += shot.pixel(x, y) == qRgb(0, 0, 0);
        QVERIFY(screen.mask().contains(QPoint(x, y)) != (shot.pixel(x, y) == qRgb(0, 0, 0)));
      }
    }
    QVERIFY(black > 0);  // there is sky to see through
    auto* logo = screen.findChild<QWidget*>("Image1");
    const QRect standing = logo->geometry();
    if (ending == 1) QTest::mousePress(logo, Qt::LeftButton, {}, logo->rect().center());
    while (screen.isVisible() && screen.ZoomTimer().isActive()) screen.ZoomTick();
    QVERIFY((logo->x() > standing.x() && logo->y() < standing.y()) || ending == 1);
    QVERIFY(mainWindow.windowOpacity() < 1 || ending == 1);
    if (ending == 2) QTest::keyClick(&screen, Qt::Key_Escape);
    if (ending == 3) QTest::keyClicks(&screen, "keelDCT");  // the last three letters count
    if (ending == 3 || ending == 4) QTest::mousePress(&screen, Qt::LeftButton);
    if (ending == 3) {
      auto* box = screen.findChild<QLabel*>("pictureBox");
      QVERIFY(screen.isVisible() && box->isVisible() && box->geometry() == screen.rect());
      const QImage shown = box->pixmap().toImage();
      QCOMPARE(shown, screen.CodeWordPicture(0).convertToFormat(shown.format()));
      QTest::keyClick(&screen, Qt::Key_Space);  // the letters were forgotten: the key closes
    }
    if (ending == 0) {
      // The credits move up a pixel a tick; the screen stays until they have left the top.
      auto* credits = screen.findChild<QWidget*>("Frame2");
      const int top = credits->y();
      int ticks = 0;
      for (; screen.isVisible() && ticks < 10000; ++ticks) {
        QCOMPARE(credits->y(), top - ticks);
        screen.ScrollTick();
      }
      QCOMPARE(ticks, top + credits->height() + 1);
    }
    QVERIFY2(!screen.isVisible() && !screen.ZoomTimer().isActive() &&
                 !screen.ScrollTimer().isActive() && mainWindow.windowOpacity() == 1.0,
             qPrintable(QString::number(ending)));
  }
}

QTEST_MAIN(AboutScreenTest)
#include "about_screen_test.moc"
