#pragma once

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
  Sandbox dir;

  std::string logFile() const { return dir.File("config/keelpack.log"); }
  void WriteSettings(const std::string& text) const;
  std::string ReadSettings() const;
};

// The process's current folder, where the window's lists open, for the life of the object.
class ScopedCurrentFolder {
 public:
  explicit ScopedCurrentFolder(const std::string& folder);
  ~ScopedCurrentFolder();

 private:
  QString old_;
};

// Acts once from inside the event loop of the menu or dialog that a click opens. Destroying
// the watcher stops it, so that one whose menu never opened cannot act on a later one.
using Watcher = std::unique_ptr<QTimer>;
[[nodiscard]] Watcher WhenMenuOpens(std::function<void(QMenu*)> action);
// `opener`: a dialog already open that opens the one to act on.
[[nodiscard]] Watcher WhenDialogOpens(std::function<void(QWidget*)> action,
                                      QWidget* opener = nullptr);
// Runs `action` at every turn of the event loop until it returns true.
[[nodiscard]] Watcher EveryTurnUntil(std::function<bool()> action);

// A double click as the mouse gives it: a click, then the second press.
void DoubleClick(QWidget* widget, QPoint at);
// Clicks a check box on its indicator: a stretched box takes no clicks beyond its caption.
void ClickBox(QAbstractButton* box, Qt::MouseButton button = Qt::LeftButton);
void ClickEntry(QMenu* menu, const char* entry);

template <typename T>
T* Child(const QObject* parent, const char* name) {
  T* child = parent->findChild<T*>(QString::fromLatin1(name));
  if (child == nullptr) qFatal("no child named %s", name);
  return child;
}

}  // namespace keelpack::test
