#pragma once

#include <QString>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <memory>
#include <string>

#include "support/temp_dir.h"

class QAbstractButton;
class QAction;
class QMenu;

namespace keelpack::test {

// Settings, log and work files of one test go to a temporary folder, never the user's.
struct TempUserFolders {
  TempDir dir;
  ScopedEnv config{"XDG_CONFIG_HOME", dir.File("config")};
  ScopedEnv cache{"XDG_CACHE_HOME", dir.File("cache")};

  std::string settingsFile() const { return dir.File("config/keelpack.ini"); }
  std::string logFile() const { return dir.File("config/keelpack.log"); }
  void WriteSettings(const std::string& text) const;
  std::string ReadSettings() const;
};

// Makes `folder` the process's current folder for the life of the object; the window's lists
// open there.
class ScopedCurrentFolder {
 public:
  explicit ScopedCurrentFolder(const std::string& folder);
  ~ScopedCurrentFolder();
  ScopedCurrentFolder(const ScopedCurrentFolder&) = delete;
  ScopedCurrentFolder& operator=(const ScopedCurrentFolder&) = delete;

 private:
  QString old_;
};

// Watchers that act from inside the event loop of a menu or dialog that a click opens. A
// watcher acts once; it stops watching when it is destroyed, so that a watcher whose menu
// never opened cannot act on a later one. It gives up after a few seconds.
using Watcher = std::unique_ptr<QTimer>;

// Runs `action` on the next pop-up menu that opens.
[[nodiscard]] Watcher WhenMenuOpens(std::function<void(QMenu*)> action);
// Runs `action` on the next modal dialog that opens other than `opener` (a dialog that opens
// another one).
[[nodiscard]] Watcher WhenDialogOpens(std::function<void(QWidget*)> action,
                                      QWidget* opener = nullptr);
// Runs `action` at every turn of the event loop until it returns true.
[[nodiscard]] Watcher EveryTurnUntil(std::function<bool()> action);
// A double click as the mouse gives it: a click, then the second press and release.
void DoubleClick(QWidget* widget, QPoint at);
// Clicks a check box on its indicator: a box stretched by its layout does not take clicks
// beyond its caption.
void ClickBox(QAbstractButton* box, Qt::MouseButton button = Qt::LeftButton);
// Clicks an entry of an open menu.
void ClickEntry(QMenu* menu, QAction* entry);

// The child with this object name; the test fails when there is none.
template <typename T>
T* Child(const QObject* parent, const char* name) {
  T* child = parent->findChild<T*>(QString::fromLatin1(name));
  if (child == nullptr) qFatal("no child named %s", name);
  return child;
}

// A small real JPEG with a comment segment, which a rewrite removes.
Bytes JpegWithComment(unsigned seed, int size = 16);

}  // namespace keelpack::test
