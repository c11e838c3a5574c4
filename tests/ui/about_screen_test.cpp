// The about screen, driven tick by tick on the offscreen platform with a plain widget as the
// main window it fades.
#include "about_screen.h"
#include "ui/twips.h"

#include <QApplication>
#include <QFrame>
#include <QLabel>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>
#include <memory>

#include "translucency.h"
#include "version.h"

using keelpack::AboutScreen;

namespace {

constexpr int kOpaque = 255;

// A main window and the about screen over it. The main window is made first, so that it
// outlives the screen, its child.
struct Stage {
  explicit Stage(bool translucent = true) : screen(&mainWindow, AboutScreen::Clock::kManual) {
    mainWindow.resize(640, 480);
    mainWindow.show();
    screen.setTranslucencyAvailable(translucent);
    screen.show();
  }
  void zoomTo(int tick) {
    while (screen.tickCount() < tick) screen.timerqelupTick();
  }
  int mainAlpha() const { return qRound(mainWindow.windowOpacity() * kOpaque); }
  template <typename T>
  T* element(const char* name) {
    T* found = screen.findChild<T*>(QString::fromLatin1(name));
    if (found == nullptr) qFatal("the about screen has no %s", name);
    return found;
  }
  // Closed, both timers stopped (a late tick would fade the main window again), and the main
  // window back at full opacity.
  bool closedCleanly() const {
    return !screen.isVisible() && !screen.zoomTimer().isActive() &&
           !screen.scrollTimer().isActive() && mainAlpha() == kOpaque;
  }

  QWidget mainWindow;
  AboutScreen screen;
};

QStringList Lines(const QString& text, const QString& separator) { return text.split(separator); }

}  // namespace

// The tests force the fade and the see-through black on; the offscreen platform cannot show
// them and says so on every call. Those complaints are expected; anything else goes on to
// the test log.
QtMessageHandler testLogHandler = nullptr;
void QuietAboutEffects(QtMsgType type, const QMessageLogContext& context, const QString& text) {
  if (type == QtWarningMsg &&
      (text == QLatin1String("This plugin does not support setting window opacity") ||
       text == QLatin1String("This plugin does not support setting window masks"))) {
    return;
  }
  testLogHandler(type, context, text);
}

class AboutScreenTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() { testLogHandler = qInstallMessageHandler(QuietAboutEffects); }
  void cleanupTestCase() { qInstallMessageHandler(testLogHandler); }
  void fadeAndSwitch();
  void noEffectsWithoutTranslucency();
  void logoSailsOff_data();
  void logoSailsOff();
  void creditsScrollOutAndClose();
  void keysClose_data();
  void keysClose();
  void mousePressCloses_data();
  void mousePressCloses();
  void codeWords_data();
  void codeWords();
  void creditsText();
  void seeThroughFollowsBlack();
};

void AboutScreenTest::fadeAndSwitch() {
  Stage stage;
  auto* image2 = stage.element<QLabel>("Image2");
  auto* frame1 = stage.element<QFrame>("Frame1");
  for (int tick = 1; tick < AboutScreen::kSwitchTick; ++tick) {
    stage.screen.timerqelupTick();
    QCOMPARE(stage.screen.tickCount(), tick);
    QCOMPARE(stage.mainAlpha(), kOpaque - 2 * tick);
    QVERIFY(stage.screen.zoomTimer().isActive());
    QVERIFY(!stage.screen.scrollTimer().isActive());
    QVERIFY(!image2->isVisible());
    QVERIFY(!frame1->isVisible());
  }

  stage.screen.timerqelupTick();  // tick 82: the credits take over
  QCOMPARE(stage.mainAlpha(), 91);
  QVERIFY(!stage.screen.zoomTimer().isActive());
  QVERIFY(stage.screen.scrollTimer().isActive());
  QVERIFY(image2->isVisible());
  QVERIFY(frame1->isVisible());

  // Scrolling leaves the main window as the zoom left it.
  for (int i = 0; i < 10; ++i) stage.screen.timerframeupTick();
  QCOMPARE(stage.mainAlpha(), 91);
}

void AboutScreenTest::noEffectsWithoutTranslucency() {
  Stage stage(false);
  stage.zoomTo(AboutScreen::kSwitchTick);
  QCOMPARE(stage.mainWindow.windowOpacity(), 1.0);
  QVERIFY(stage.screen.mask().isEmpty());
  QVERIFY(stage.screen.scrollTimer().isActive());  // the animation itself still runs
  QTest::keyClick(&stage.screen, Qt::Key_Return);
  QVERIFY(stage.closedCleanly());
}

void AboutScreenTest::logoSailsOff_data() {
  // From tick 50: left + (n - 50) * 2.6, top - (n - 50) * 4.5, width (130 - n) * 5,
  // height 200 - (n - 50) * 2.5, all in twips; worked out by hand per row.
  QTest::addColumn<int>("tick");
  QTest::addColumn<double>("rightTwips");
  QTest::addColumn<double>("upTwips");
  QTest::addColumn<double>("widthTwips");
  QTest::addColumn<double>("heightTwips");
  QTest::newRow("50") << 50 << 0.0 << 0.0 << 400.0 << 200.0;
  QTest::newRow("60") << 60 << 26.0 << 45.0 << 350.0 << 175.0;
  QTest::newRow("66") << 66 << 41.6 << 72.0 << 320.0 << 160.0;
  QTest::newRow("75") << 75 << 65.0 << 112.5 << 275.0 << 137.5;
  QTest::newRow("82") << 82 << 83.2 << 144.0 << 240.0 << 120.0;
}

void AboutScreenTest::logoSailsOff() {
  QFETCH(int, tick);
  QFETCH(double, rightTwips);
  QFETCH(double, upTwips);
  QFETCH(double, widthTwips);
  QFETCH(double, heightTwips);
  Stage stage;
  auto* logo = stage.element<QLabel>("Image1");
  const QRect standing = logo->geometry();
  stage.zoomTo(AboutScreen::kZoomStartTick - 1);
  QCOMPARE(logo->geometry(), standing);  // it waits on the water until tick 50

  stage.zoomTo(tick);
  const int dpiX = stage.screen.logicalDpiX();
  const int dpiY = stage.screen.logicalDpiY();
  const QRect now = logo->geometry();
  QCOMPARE(now.width(), keelpack::ui::TwipsToPixels(widthTwips, dpiX));
  QCOMPARE(now.height(), keelpack::ui::TwipsToPixels(heightTwips, dpiY));
  // The start is known here only to the pixel, so the move may be a pixel off either way.
  const int right = keelpack::ui::TwipsToPixels(rightTwips, dpiX);
  const int up = keelpack::ui::TwipsToPixels(upTwips, dpiY);
  QVERIFY2(qAbs(now.left() - (standing.left() + right)) <= 1,
           qPrintable(QString::number(now.left())));
  QVERIFY2(qAbs(now.top() - (standing.top() - up)) <= 1, qPrintable(QString::number(now.top())));
}

void AboutScreenTest::creditsScrollOutAndClose() {
  Stage stage;
  stage.zoomTo(AboutScreen::kSwitchTick);
  auto* frame2 = stage.element<QFrame>("Frame2");
  auto* label = stage.element<QLabel>("rantLabel");
  QCOMPARE(frame2->height(), label->y() + label->height());
  QVERIFY(frame2->height() > 0);

  // One pixel a tick, and the screen stays until the frame's bottom edge is above the top.
  const int start = frame2->y();
  const int ticksToLeave = start + frame2->height() + 1;
  for (int tick = 1; tick < ticksToLeave; ++tick) {
    stage.screen.timerframeupTick();
    QCOMPARE(frame2->y(), start - tick);
    QVERIFY2(stage.screen.isVisible(), qPrintable(QStringLiteral("closed at tick %1").arg(tick)));
    QCOMPARE(stage.mainAlpha(), 91);
  }
  stage.screen.timerframeupTick();
  QVERIFY(stage.closedCleanly());
  QCOMPARE(stage.screen.result(), int(QDialog::Accepted));
}

void AboutScreenTest::keysClose_data() {
  QTest::addColumn<int>("ticks");
  QTest::addColumn<int>("key");
  QTest::newRow("Enter at once") << 0 << int(Qt::Key_Return);
  QTest::newRow("Enter while fading") << 30 << int(Qt::Key_Return);
  QTest::newRow("Escape while scrolling") << 82 << int(Qt::Key_Escape);
  QTest::newRow("a digit") << 60 << int(Qt::Key_5);
  QTest::newRow("space with nothing typed") << 10 << int(Qt::Key_Space);
  QTest::newRow("a function key") << 90 << int(Qt::Key_F1);
}

void AboutScreenTest::keysClose() {
  QFETCH(int, ticks);
  QFETCH(int, key);
  Stage stage;
  stage.zoomTo(std::min(ticks, int(AboutScreen::kSwitchTick)));
  for (int i = AboutScreen::kSwitchTick; i < ticks; ++i) stage.screen.timerframeupTick();
  QCOMPARE(stage.mainAlpha(), kOpaque - 2 * std::min(ticks, int(AboutScreen::kSwitchTick)));
  QTest::keyClick(&stage.screen, Qt::Key(key));
  QVERIFY(stage.closedCleanly());
}

void AboutScreenTest::mousePressCloses_data() {
  QTest::addColumn<QString>("target");
  QTest::addColumn<int>("ticks");
  QTest::newRow("the window") << QStringLiteral("splashForm") << 5;
  QTest::newRow("the logo") << QStringLiteral("Image1") << 20;
  QTest::newRow("the night") << QStringLiteral("Image3") << 60;
  QTest::newRow("the lettering") << QStringLiteral("Image2") << 82;
  QTest::newRow("the credits frame") << QStringLiteral("Frame2") << 82;
  QTest::newRow("the credits") << QStringLiteral("rantLabel") << 82;
}

void AboutScreenTest::mousePressCloses() {
  QFETCH(QString, target);
  QFETCH(int, ticks);
  Stage stage;
  stage.zoomTo(ticks);
  QWidget* widget = target == stage.screen.objectName() ? static_cast<QWidget*>(&stage.screen)
                                                        : stage.screen.findChild<QWidget*>(target);
  QVERIFY(widget != nullptr && widget->isVisible());
  QTest::mousePress(widget, Qt::LeftButton, {}, widget->rect().center());
  QVERIFY(stage.closedCleanly());
}

void AboutScreenTest::codeWords_data() {
  QTest::addColumn<QString>("typed");
  QTest::addColumn<bool>("byMouse");
  QTest::addColumn<int>("picture");
  QTest::newRow("dct") << QStringLiteral("dct") << false << 0;
  QTest::newRow("sun") << QStringLiteral("sun") << false << 1;
  QTest::newRow("hex") << QStringLiteral("hex") << false << 2;
  QTest::newRow("in capitals") << QStringLiteral("HEX") << false << 2;
  QTest::newRow("the last three letters count") << QStringLiteral("keelsun") << false << 1;
  QTest::newRow("a mouse press looks too") << QStringLiteral("dct") << true << 0;
}

void AboutScreenTest::codeWords() {
  QFETCH(QString, typed);
  QFETCH(bool, byMouse);
  QFETCH(int, picture);
  Stage stage;
  stage.zoomTo(AboutScreen::kSwitchTick);
  auto* box = stage.element<QLabel>("pictureBox");
  auto* frame2 = stage.element<QFrame>("Frame2");

  QTest::keyClicks(&stage.screen, typed);
  if (byMouse) {
    QTest::mousePress(&stage.screen, Qt::LeftButton);
  } else {
    QTest::keyClick(&stage.screen, Qt::Key_Space);
  }
  QVERIFY(stage.screen.isVisible());
  QVERIFY(box->isVisible());
  QVERIFY(!frame2->isVisible());
  QCOMPARE(box->geometry(), stage.screen.rect());
  QCOMPARE(box->pixmap().toImage(),
           stage.screen.codeWordPicture(picture).convertToFormat(box->pixmap().toImage().format()));

  // The buffer was emptied: the word does not work a second time, the key closes.
  QTest::keyClick(&stage.screen, Qt::Key_Space);
  QVERIFY(stage.closedCleanly());
}

void AboutScreenTest::creditsText() {
  const QString text = keelpack::CreditsText();
  QCOMPARE(text.count(QLatin1Char('\n')), text.count(QStringLiteral("\r\n")));
  QCOMPARE(text.count(QLatin1Char('\r')), text.count(QStringLiteral("\r\n")));
  const QStringList lines = Lines(text, QStringLiteral("\r\n"));
  QCOMPARE(lines.size(), 18);

  QCOMPARE(lines[0], QStringLiteral("Keelpack"));
  QCOMPARE(lines[2], QStringLiteral("the ultimate JPEG reducing program"));
  QCOMPARE(lines[5], QStringLiteral("Betatesters:"));
  QCOMPARE(lines[8], QStringLiteral("Greetings to:"));
  QCOMPARE(lines[13], QStringLiteral("Look forward to more releases"));
  for (int empty : {1, 4, 7, 12, 15, 16})
    QVERIFY2(lines[empty].isEmpty(), qPrintable(lines[empty]));

  // The author and the first year of release.
  const QString firstYear = QString::fromLatin1(keelpack::kReleaseYears.substr(0, 4));
  QVERIFY(lines[3].contains(firstYear));
  QVERIFY(lines[3].size() > firstYear.size() + 3);
  QVERIFY(!lines[14].isEmpty());

  // ". A . B ." : a blank, a full stop and a blank between names, framed by full stops.
  const QRegularExpression nicknames(QStringLiteral(R"(^\. [^ .]+( \. [^ .]+)* \.$)"));
  for (int line : {6, 9, 10, 11}) {
    QVERIFY2(nicknames.match(lines[line]).hasMatch(), qPrintable(lines[line]));
  }
  QCOMPARE(lines[17], QString::fromLatin1(keelpack::kHomepage));
  QVERIFY(lines[17].startsWith(QStringLiteral("https://")));

  // The label shows exactly these lines, and all of them fit in it.
  Stage stage;
  auto* label = stage.element<QLabel>("rantLabel");
  QCOMPARE(label->text().split(QLatin1Char('\n')), lines);
  QVERIFY(label->height() >= label->fontMetrics().lineSpacing() * lines.size());
}

void AboutScreenTest::seeThroughFollowsBlack() {
  Stage stage;
  auto sample = [&](const QString& when) {
    QImage shot(stage.screen.size(), QImage::Format_RGB32);
    stage.screen.render(
        &shot, {}, {}, QWidget::DrawWindowBackground | QWidget::DrawChildren | QWidget::IgnoreMask);
    const QRegion mask = stage.screen.mask();
    QVERIFY2(!mask.isEmpty(), qPrintable(when));
    int black = 0;
    for (int y = 0; y < shot.height(); y += 3) {
      for (int x = 0; x < shot.width(); x += 3) {
        const bool isBlack = shot.pixel(x, y) == qRgb(0, 0, 0);
        black += isBlack;
        if (mask.contains(QPoint(x, y)) == isBlack) {
          QFAIL(qPrintable(QStringLiteral("%1: pixel %2,%3").arg(when).arg(x).arg(y)));
        }
      }
    }
    QVERIFY2(black > 0, qPrintable(when));  // there is sky to see through
  };
  sample(QStringLiteral("opened"));
  auto* logo = stage.element<QLabel>("Image1");
  QVERIFY(stage.screen.mask().contains(logo->geometry().center()));
  stage.zoomTo(AboutScreen::kSwitchTick);
  sample(QStringLiteral("credits shown"));
  // What the lettering covers was sky before the switch.
  QVERIFY(stage.screen.mask().intersects(stage.element<QLabel>("Image2")->geometry()));
  for (int i = 0; i < 40; ++i) stage.screen.timerframeupTick();
  sample(QStringLiteral("scrolled"));
}

QTEST_MAIN(AboutScreenTest)
#include "about_screen_test.moc"
