// The about screen, driven tick by tick on the offscreen platform with a plain widget as the
// main window it fades.
#include "about_screen.h"

#include <QFrame>
#include <QLabel>
#include <QTest>

using keelpack::AboutScreen;

namespace {

// A main window and the about screen over it; the main window outlives the screen, its child.
struct Stage {
  Stage() : screen(&mainWindow, AboutScreen::Clock::kManual) {
    mainWindow.resize(640, 480);
    mainWindow.show();
    screen.setTranslucencyAvailable(true);
    screen.show();
  }
  void zoomTo(int tick) {
    while (screen.tickCount() < tick) screen.timerqelupTick();
  }
  QWidget* element(const QString& name) {
    return name == screen.objectName() ? &screen : screen.findChild<QWidget*>(name);
  }
  // Closed, both timers stopped (a late tick would fade the main window again), and the main
  // window back at full opacity.
  bool closedCleanly() const {
    return !screen.isVisible() && !screen.zoomTimer().isActive() &&
           !screen.scrollTimer().isActive() && mainWindow.windowOpacity() == 1.0;
  }

  QWidget mainWindow;
  AboutScreen screen;
};

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
  void fadesZoomsScrollsAndCloses();
  void keyOrMouseCloses_data();
  void keyOrMouseCloses();
  void codeWords_data();
  void codeWords();
  void seeThroughFollowsBlack();
};

void AboutScreenTest::fadesZoomsScrollsAndCloses() {
  Stage stage;
  auto* logo = stage.element("Image1");
  const QRect standing = logo->geometry();
  stage.zoomTo(AboutScreen::kZoomStartTick);
  QCOMPARE(logo->geometry(), standing);  // the logo waits until the zoom starts
  const double fading = stage.mainWindow.windowOpacity();
  QVERIFY(fading < 1 && !stage.element("Image2")->isVisible());
  stage.zoomTo(AboutScreen::kSwitchTick - 1);
  QVERIFY(logo->x() > standing.x() && logo->y() < standing.y() &&
          logo->width() < standing.width());  // sailing off up and to the right, shrinking
  QVERIFY(stage.mainWindow.windowOpacity() < fading);

  stage.screen.timerqelupTick();  // the credits take over
  const double faded = stage.mainWindow.windowOpacity();
  QVERIFY(!stage.screen.zoomTimer().isActive() && stage.screen.scrollTimer().isActive());
  QVERIFY(stage.element("Image2")->isVisible() && stage.element("Frame1")->isVisible());
  // The credits move up a pixel a tick, the screen stays until they have left the top, and
  // the main window stays as the zoom left it.
  auto* credits = stage.element("Frame2");
  const int top = credits->y();
  int ticks = 0;
  for (; stage.screen.isVisible() && ticks < 10000; ++ticks) {
    QCOMPARE(credits->y(), top - ticks);
    QCOMPARE(stage.mainWindow.windowOpacity(), faded);
    stage.screen.timerframeupTick();
  }
  QCOMPARE(ticks, top + credits->height() + 1);
  QVERIFY(stage.closedCleanly());
}

void AboutScreenTest::keyOrMouseCloses_data() {
  QTest::addColumn<int>("ticks");
  QTest::addColumn<int>("key");  // 0: a mouse press on `target`
  QTest::addColumn<QString>("target");
  QTest::newRow("Enter at once") << 0 << int(Qt::Key_Return) << "splashForm";
  QTest::newRow("space, nothing typed") << 30 << int(Qt::Key_Space) << "splashForm";
  QTest::newRow("Escape while scrolling") << 90 << int(Qt::Key_Escape) << "splashForm";
  QTest::newRow("press on the logo") << 20 << 0 << "Image1";
  QTest::newRow("press on the credits") << 82 << 0 << "rantLabel";
}

void AboutScreenTest::keyOrMouseCloses() {
  QFETCH(int, ticks);
  QFETCH(int, key);
  QFETCH(QString, target);
  Stage stage;
  stage.zoomTo(std::min(ticks, int(AboutScreen::kSwitchTick)));
  for (int i = AboutScreen::kSwitchTick; i < ticks; ++i) stage.screen.timerframeupTick();
  QWidget* widget = stage.element(target);
  QVERIFY(widget != nullptr && widget->isVisible());
  key ? QTest::keyClick(widget, Qt::Key(key))
      : QTest::mousePress(widget, Qt::LeftButton, {}, widget->rect().center());
  QVERIFY(stage.closedCleanly());
}

void AboutScreenTest::codeWords_data() {
  QTest::addColumn<QString>("typed");
  QTest::addColumn<bool>("byMouse");
  QTest::addColumn<int>("picture");
  QTest::newRow("dct") << "dct" << false << 0;
  QTest::newRow("the last three letters count") << "keelsun" << false << 1;
  QTest::newRow("in capitals") << "HEX" << false << 2;
  QTest::newRow("a mouse press looks too") << "dct" << true << 0;
}

void AboutScreenTest::codeWords() {
  QFETCH(QString, typed);
  QFETCH(bool, byMouse);
  QFETCH(int, picture);
  Stage stage;
  stage.zoomTo(AboutScreen::kSwitchTick);
  QTest::keyClicks(&stage.screen, typed);
  byMouse ? QTest::mousePress(&stage.screen, Qt::LeftButton)
          : QTest::keyClick(&stage.screen, Qt::Key_Space);
  auto* box = static_cast<QLabel*>(stage.element("pictureBox"));
  QVERIFY(stage.screen.isVisible() && box->isVisible() && !stage.element("Frame2")->isVisible());
  QCOMPARE(box->geometry(), stage.screen.rect());
  const QImage shown = box->pixmap().toImage();
  QCOMPARE(shown, stage.screen.codeWordPicture(picture).convertToFormat(shown.format()));
  // The typed letters were forgotten: the word does not work a second time, the key closes.
  QTest::keyClick(&stage.screen, Qt::Key_Space);
  QVERIFY(stage.closedCleanly());
}

void AboutScreenTest::seeThroughFollowsBlack() {
  Stage stage;
  auto sample = [&](const char* when) {
    QImage shot(stage.screen.size(), QImage::Format_RGB32);
    stage.screen.render(
        &shot, {}, {}, QWidget::DrawWindowBackground | QWidget::DrawChildren | QWidget::IgnoreMask);
    const QRegion mask = stage.screen.mask();
    int black = 0;
    for (int y = 0; y < shot.height(); y += 3) {
      for (int x = 0; x < shot.width(); x += 3) {
        const bool isBlack = shot.pixel(x, y) == qRgb(0, 0, 0);
        black += isBlack;
        QVERIFY2(mask.contains(QPoint(x, y)) != isBlack,
                 qPrintable(QStringLiteral("%1: pixel %2,%3").arg(when).arg(x).arg(y)));
      }
    }
    QVERIFY2(black > 0, when);  // there is sky to see through
  };
  sample("opened");
  stage.zoomTo(AboutScreen::kSwitchTick);
  sample("credits shown");
  for (int i = 0; i < 40; ++i) stage.screen.timerframeupTick();
  sample("scrolled");
}

QTEST_MAIN(AboutScreenTest)
#include "about_screen_test.moc"
