#pragma once

#include <QListWidget>
#include <string>
#include <vector>

namespace keelpack::ui {

// A folder list in the classic style (`Dir1`): the chain of folders from the root down to the
// open folder, each one step further in, then the open folder's subfolders. Hidden folders
// are not offered. A double click opens an entry; a single click only highlights it.
class FolderList : public QListWidget {
  Q_OBJECT

 public:
  // The main window's list also opens the highlighted entry on Enter, re-reads on F5 and
  // asks for a typed path on a right click; the chooser's list opens by double click only.
  enum class Extras { kNone, kNavigator };

  explicit FolderList(Extras extras, QWidget* parent = nullptr);

  const std::string& path() const { return path_; }
  // Opens `folder`. When it cannot be read nothing changes and the result is false.
  bool setPath(const std::string& folder);
  // Reads the open folder's subfolders again.
  void Reread();
  // The full path of the highlighted entry; empty when none is highlighted.
  std::string HighlightedPath() const;

  // The size the window's design gives the list; layouts start from it.
  void SetDesignSize(QSize size) { designSize_ = size; }
  QSize sizeHint() const override;

 signals:
  void pathChanged();
  void customPathRequested();

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;

 private:
  void Fill(const std::vector<std::string>& subfolders);
  void OpenHighlighted();

  Extras extras_;
  std::string path_;
  QSize designSize_;
};

// A folder path as the lists keep it: absolute, without "." or ".." steps, doubled separators
// or a trailing separator ("/" for the root). A relative path is taken from `base`.
std::string CleanFolderPath(const std::string& path, const std::string& base);

}  // namespace keelpack::ui
