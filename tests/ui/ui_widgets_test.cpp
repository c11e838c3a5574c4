// The two-layer progress bar and the log box.
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

class WidgetsTest : public QObject {
  Q_OBJECT

 private slots:
  void barFillsToTheRoundedPercentage();
  void barTextIsWhiteOnBlueWhereFilledAndBlackOnGreyElsewhere();
  void logBoxKeepsTheNewestLines();
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
  bar.setPercent(50);  // 200.5: halves go to the even neighbour
  QCOMPARE(bar.filledWidth(), 200);
  bar.setPercent(62.5f);
  QCOMPARE(bar.filledWidth(), 251);
  bar.setPercent(100);
  bar.resize(600, bar.height());  // the fill follows the bar's width
  QCOMPARE(bar.filledWidth(), 600);
}

void WidgetsTest::barTextIsWhiteOnBlueWhereFilledAndBlackOnGreyElsewhere() {
  ProgressStatusBar bar;
  bar.resize(400, bar.height());
  bar.setText(QString(40, QChar('M')));  // across the middle of the bar
  bar.setPercent(50);
  bar.show();
  QVERIFY(QTest::qWaitForWindowExposed(&bar));
  const QImage image = bar.grab().toImage();
  // Pixel kinds in columns [from, to), inside the outline: blue, grey, white, dark.
  auto count = [&image](int from, int to) {
    std::array<int, 4> kinds{};
    for (int y = 1; y < image.height() - 1; ++y) {
      for (int x = from; x < to; ++x) {
        const QColor c = image.pixelColor(x, y);
        kinds[0] += c.blue() > 200 && c.red() < 60;
        kinds[1] += c == QColor(224, 224, 224);
        kinds[2] += c.red() > 240 && c.green() > 240 && c.blue() > 240;
        kinds[3] += c.red() < 80 && c.green() < 80 && c.blue() < 80;
      }
    }
    return kinds;
  };
  const auto filled = count(1, 198);
  const auto empty = count(202, image.width() - 1);
  QVERIFY(filled[0] > 0 && filled[2] > 0 && filled[1] == 0 && filled[3] == 0);
  QVERIFY(empty[1] > 0 && empty[3] > 0 && empty[0] == 0 && empty[2] == 0);
}

void WidgetsTest::logBoxKeepsTheNewestLines() {
  LogTextBox box;
  box.resize(300, 120);
  box.show();
  constexpr int kExtra = 5;
  for (int i = 0; i < LogTextBox::kMaxLines + kExtra; ++i) {
    box.appendLine("line " + std::to_string(i), true);
  }
  box.appendLine("bad \xff byte, Caf\xc3\xa9", true);  // shown as UTF-8, the rest replaced
  QCoreApplication::processEvents();  // lines are gathered until the event loop turns
  QCOMPARE(box.blockCount(), LogTextBox::kMaxLines);
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

void WidgetsTest::fadeInRisesToOpaqueInSixtyThreeTicks() {
  keelpack::ui::FadeIn fade;
  std::vector<int> alphas;
  for (bool last = false; !last && alphas.size() < 100;) alphas.push_back(fade.Step(last));
  QCOMPARE(alphas.size(), size_t{63});
  QVERIFY(std::is_sorted(alphas.begin(), alphas.end()));
  QCOMPARE(alphas.front(), 0);
  QCOMPARE(alphas.back(), 255);
}

QTEST_MAIN(WidgetsTest)
#include "ui_widgets_test.moc"
