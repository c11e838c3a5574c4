// Opens the about screen over a stand-in main window under a real display and saves what the
// screen shows at a few moments, for a person to look at:
//   about_preview OUTPUT_FOLDER [--see-through]
// The screen's clock is driven from here, so the pictures do not depend on the machine's
// speed. --see-through shapes the screen to its non-black pixels even where no compositing
// manager runs (the main window's fade then shows only where one runs).
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QVBoxLayout>
#include <cstdio>

#include "ui/about_screen.h"

namespace {

constexpr int kSettleMs = 150;

// Something that looks like a working window, for the about screen to stand in front of.
QWidget* StandInMainWindow() {
  auto* window = new QWidget;
  window->setWindowTitle(QStringLiteral("Keelpack"));
  auto* files = new QListWidget;
  for (int i = 1; i <= 12; ++i)
    files->addItem(QStringLiteral("holiday_%1.jpg").arg(i, 3, 10, QChar('0')));
  auto* options = new QGroupBox(QStringLiteral("Exif"));
  auto* optionsLayout = new QVBoxLayout(options);
  optionsLayout->addWidget(new QCheckBox(QStringLiteral("Keep DPI")));
  optionsLayout->addWidget(new QCheckBox(QStringLiteral("Make backups")));
  optionsLayout->addWidget(new QPushButton(QStringLiteral("Process selected file(s)")));
  optionsLayout->addWidget(new QPushButton(QStringLiteral("Process the directory")));
  optionsLayout->addStretch();
  auto* layout = new QHBoxLayout(window);
  layout->addWidget(files);
  layout->addWidget(options);
  window->resize(760, 520);
  window->move(260, 140);
  return window;
}

void Save(const QString& folder, const QString& name, keelpack::ui::AboutScreen& screen) {
  QTest::qWait(kSettleMs);
  const QString path = QDir(folder).filePath(name + QStringLiteral(".png"));
  // The whole display, so that what shows through the black areas is in the picture too.
  screen.screen()->grabWindow(0).save(path);
  screen.grab().save(QDir(folder).filePath(name + QStringLiteral("-screen.png")));
  std::printf("%s (tick %d)\n", qPrintable(path), screen.TickCount());
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (argc < 2) {
    std::fprintf(stderr, "usage: about_preview OUTPUT_FOLDER [--see-through]\n");
    return 2;
  }
  const QString folder = QString::fromLocal8Bit(argv[1]);
  QDir().mkpath(folder);
  const bool seeThrough = argc > 2 && QByteArray(argv[2]) == "--see-through";

  QWidget* mainWindow = StandInMainWindow();
  mainWindow->show();
  if (!QTest::qWaitForWindowExposed(mainWindow)) {
    std::fprintf(stderr, "the stand-in main window never showed; is there a display?\n");
    return 1;
  }

  // The screen is the main window's child: it goes with it.
  auto& screen =
      *new keelpack::ui::AboutScreen(mainWindow, keelpack::ui::AboutScreen::Clock::kManual);
  if (seeThrough) screen.SetTranslucencyAvailable(true);
  std::printf("fade and see-through black: %s\n", screen.TranslucencyAvailable() ? "on" : "off");
  // Always at the same place, so that the pictures compare.
  screen.move(mainWindow->geometry().center() - screen.rect().center());
  screen.show();
  if (!QTest::qWaitForWindowExposed(&screen)) {
    std::fprintf(stderr, "the about screen never showed\n");
    return 1;
  }

  auto zoomTo = [&](int tick) {
    while (screen.TickCount() < tick) screen.ZoomTick();
  };
  auto scroll = [&](int ticks) {
    for (int i = 0; i < ticks && screen.isVisible(); ++i) screen.ScrollTick();
  };
  Save(folder, QStringLiteral("1-opened"), screen);
  zoomTo(66);
  Save(folder, QStringLiteral("2-sailing"), screen);
  zoomTo(keelpack::ui::AboutScreen::kSwitchTick);
  Save(folder, QStringLiteral("3-credits-start"), screen);
  scroll(120);
  Save(folder, QStringLiteral("4-credits-middle"), screen);
  scroll(120);
  Save(folder, QStringLiteral("5-credits-late"), screen);
  const char* words[] = {"dct", "sun", "hex"};
  int picture = 6;
  for (const char* word : words) {
    QTest::keyClicks(&screen, QString::fromLatin1(word));
    QTest::keyClick(&screen, Qt::Key_Space);
    Save(folder, QStringLiteral("%1-word-%2").arg(picture++).arg(QString::fromLatin1(word)),
         screen);
  }
  QTest::keyClick(&screen, Qt::Key_Space);
  std::printf("closed: %s\n", screen.isVisible() ? "no" : "yes");
  delete mainWindow;
  return 0;
}
