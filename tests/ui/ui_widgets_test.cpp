// The window's own widgets: the two-layer progress bar and the log box.
#include <QImage>
#include <QLabel>
#include <QScrollBar>
#include <QTest>
#include <QTextBlock>

#include "ui/log_text_box.h"
#include "ui/progress_status_bar.h"
#include "ui/window_effects.h"

using keelpack::ui::LogTextBox;
using keelpack::ui::ProgressStatusBar;

namespace {

bool IsBlue(QRgb pixel) { return qBlue(pixel) > 200 && qRed(pixel) < 60; }
bool IsGrey(QRgb pixel) {
  return qRed(pixel) == 224 && qGreen(pixel) == 224 && qBlue(pixel) == 224;
}
bool IsWhite(QRgb pixel) { return qRed(pixel) > 240 && qGreen(pixel) > 240 && qBlue(pixel) > 240; }
bool IsDark(QRgb pixel) { return qRed(pixel) < 80 && qGreen(pixel) < 80 && qBlue(pixel) < 80; }

struct Census {
  int blue = 0, grey = 0, white = 0, dark = 0;
};

// Counts the kinds of pixels in columns [from, to) of the image, inside its 1-pixel outline.
Census Count(const QImage& image, int from, int to) {
  Census census;
  for (int y = 1; y < image.height() - 1; ++y) {
    for (int x = std::max(from, 1); x < std::min(to, image.width() - 1); ++x) {
      const QRgb pixel = image.pixel(x, y);
      census.blue += IsBlue(pixel);
      census.grey += IsGrey(pixel);
      census.white += IsWhite(pixel);
      census.dark += IsDark(pixel);
    }
  }
  return census;
}

}  // namespace

class WidgetsTest : public QObject {
  Q_OBJECT

 private slots:
  void barFillsToTheRoundedPercentage();
  void barTextIsWhiteOnBlueWhereFilledAndBlackOnGreyElsewhere();
  void logBoxKeepsTheNewestLines();
  void logBoxShowsBadUtf8AndKeepsTheViewWhenAsked();
  void fadeInRisesToOpaqueInSixtyThreeTicks();
};

void WidgetsTest::barFillsToTheRoundedPercentage() {
  ProgressStatusBar bar;
  bar.resize(401, bar.height());
  bar.show();
  const int opening = bar.filledWidth();
  QVERIFY(opening > 0 && opening < 5);
  bar.setPercent(-1);  // leaves the bar as it is
  QCOMPARE(bar.filledWidth(), opening);
  bar.setPercent(50);  // 200.5 rounds to the even neighbour
  QCOMPARE(bar.filledWidth(), 200);
  bar.setPercent(62.5f);  // 250.625
  QCOMPARE(bar.filledWidth(), 251);
  bar.setPercent(100);
  QCOMPARE(bar.filledWidth(), 401);
  bar.resize(600, bar.height());  // the fill follows the bar's width
  QCOMPARE(bar.filledWidth(), 600);
  bar.setPercent(0);
  QCOMPARE(bar.filledWidth(), 0);
}

void WidgetsTest::barTextIsWhiteOnBlueWhereFilledAndBlackOnGreyElsewhere() {
  ProgressStatusBar bar;
  bar.resize(400, bar.height());
  bar.setText(QString(40, QChar('M')));  // text across the middle of the bar
  bar.setPercent(50);
  bar.show();
  QVERIFY(QTest::qWaitForWindowExposed(&bar));
  const QImage image = bar.grab().toImage();
  const Census filled = Count(image, 0, 198);
  const Census empty = Count(image, 202, image.width());
  QVERIFY(filled.blue > 0 && filled.white > 0);
  QCOMPARE(filled.dark, 0);
  QCOMPARE(filled.grey, 0);
  QVERIFY(empty.grey > 0 && empty.dark > 0);
  QCOMPARE(empty.blue, 0);
  QCOMPARE(empty.white, 0);
  // Both copies of the text carry the status.
  QCOMPARE(bar.findChild<QLabel*>("backLabel")->text(), bar.text());
  QCOMPARE(bar.findChild<QLabel*>("frontLabel")->text(), bar.text());
}

void WidgetsTest::logBoxKeepsTheNewestLines() {
  LogTextBox box;
  constexpr int kExtra = 5;
  for (int i = 0; i < LogTextBox::kMaxLines + kExtra; ++i) {
    box.appendLine("line " + std::to_string(i), true);
  }
  box.flush();
  QCOMPARE(box.blockCount(), LogTextBox::kMaxLines);
  QCOMPARE(box.document()->firstBlock().text(), QString("line %1").arg(kExtra));
  QCOMPARE(box.document()->lastBlock().text(),
           QString("line %1").arg(LogTextBox::kMaxLines + kExtra - 1));
  box.clearLines();
  box.appendLine("", true);  // an empty line is a line
  box.appendLine("after", true);
  QVERIFY(box.toPlainText().isEmpty());  // gathered until the event loop turns
  QCoreApplication::processEvents();
  QCOMPARE(box.toPlainText(), QString("\nafter"));
}

void WidgetsTest::logBoxShowsBadUtf8AndKeepsTheViewWhenAsked() {
  LogTextBox box;
  box.resize(300, 120);
  box.show();
  box.appendLine("Caf\xc3\xa9 ok, bad \xff byte", true);
  box.flush();
  QCOMPARE(box.document()->lastBlock().text(), QString::fromUtf8("Café ok, bad \uFFFD byte"));

  // The newest line is in view after each append that asks for it.
  auto bottomLine = [&box] {
    return box.cursorForPosition(QPoint(1, box.viewport()->height() - 2)).blockNumber();
  };
  for (int i = 0; i < 100; ++i) box.appendLine("filler", true);
  box.flush();
  QCOMPARE(bottomLine(), box.blockCount() - 1);
  box.verticalScrollBar()->setValue(0);
  box.appendLine("Failed to write to the logfile!", false);  // the view stays put
  box.flush();
  QCOMPARE(box.verticalScrollBar()->value(), 0);
  QVERIFY(bottomLine() < box.blockCount() - 1);
  box.appendLine("newest", true);
  box.flush();
  QCOMPARE(bottomLine(), box.blockCount() - 1);
  QCOMPARE(box.document()->lastBlock().text(), QString("newest"));
}

void WidgetsTest::fadeInRisesToOpaqueInSixtyThreeTicks() {
  keelpack::ui::FadeIn fade;
  int ticks = 0, previous = -1, alpha = 0;
  bool last = false;
  while (!last && ticks < 1000) {
    alpha = fade.Step(last);
    ++ticks;
    QVERIFY(alpha >= previous && alpha >= 0 && alpha <= 255);
    previous = alpha;
  }
  QCOMPARE(ticks, 63);
  QCOMPARE(alpha, 255);
  QVERIFY(!keelpack::ui::WindowOpacitySupported());  // offscreen: the window is shown at once
}

QTEST_MAIN(WidgetsTest)
#include "ui_widgets_test.moc"
