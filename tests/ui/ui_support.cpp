#include "ui_support.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QMenu>
#include <QPointer>
#include <QTest>

namespace keelpack::test {
namespace {

constexpr int kPollMs = 10;
constexpr int kGiveUpAfterPolls = 500;

Watcher WhenFound(std::function<QWidget*()> found, std::function<void(QWidget*)> action) {
  auto timer = std::make_unique<QTimer>();
  QTimer* raw = timer.get();
  auto polls = std::make_shared<int>(0);
  QObject::connect(raw, &QTimer::timeout, [=] {
    QWidget* widget = found();
    if (widget == nullptr && ++*polls < kGiveUpAfterPolls) return;
    raw->stop();
    if (widget == nullptr) return;
    QPointer<QWidget> guard(widget);
    action(widget);
    // A failed check returns from the action early: close what it left open, so that the
    // failure is reported instead of the test hanging in the menu or dialog.
    if (QTest::currentTestFailed() && guard && guard->isVisible()) guard->close();
  });
  raw->start(kPollMs);
  return timer;
}

}  // namespace

void TempUserFolders::WriteSettings(const std::string& text) const {
  QDir().mkpath(QString::fromStdString(dir.File("config")));
  WriteFile(dir.File("config/keelpack.ini"), Bytes(text.begin(), text.end()));
}

std::string TempUserFolders::ReadSettings() const {
  const Bytes bytes = ReadFile(dir.File("config/keelpack.ini"));
  return std::string(bytes.begin(), bytes.end());
}

ScopedCurrentFolder::ScopedCurrentFolder(const std::string& folder) : old_(QDir::currentPath()) {
  QDir::setCurrent(QString::fromStdString(folder));
}

ScopedCurrentFolder::~ScopedCurrentFolder() { QDir::setCurrent(old_); }

Watcher WhenMenuOpens(std::function<void(QMenu*)> action) {
  return WhenFound([] { return qobject_cast<QMenu*>(QApplication::activePopupWidget()); },
                   [action](QWidget* menu) { action(static_cast<QMenu*>(menu)); });
}

Watcher WhenDialogOpens(std::function<void(QWidget*)> action, QWidget* opener) {
  return WhenFound(
      [opener]() -> QWidget* {
        QWidget* modal = QApplication::activeModalWidget();
        return modal != opener ? modal : nullptr;
      },
      std::move(action));
}

Watcher EveryTurnUntil(std::function<bool()> action) {
  auto timer = std::make_unique<QTimer>();
  QTimer* raw = timer.get();
  QObject::connect(raw, &QTimer::timeout, [raw, action] {
    if (action()) raw->stop();
  });
  raw->start(0);
  return timer;
}

void DoubleClick(QWidget* widget, QPoint at) {
  QTest::mouseClick(widget, Qt::LeftButton, {}, at);
  QTest::mouseDClick(widget, Qt::LeftButton, {}, at);
}

void ClickBox(QAbstractButton* box, Qt::MouseButton button) {
  QTest::mouseClick(box, button, {}, QPoint(box->height() / 2, box->height() / 2));
}

void ClickEntry(QMenu* menu, const char* entry) {
  QTest::mouseClick(menu, Qt::LeftButton, {},
                    menu->actionGeometry(Child<QAction>(menu, entry)).center());
}

}  // namespace keelpack::test
