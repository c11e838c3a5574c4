#pragma once

#include <QListWidget>
#include <string>
#include <vector>

#include "runs/front_end.h"

namespace keelpack::ui {

// The file list (`FileBox`): the JPEG-named files of one folder in natural name order, hidden ones
// included, with extended multiple selection.
class FileList : public QListWidget {
  Q_OBJECT

 public:
  explicit FileList(QWidget* parent = nullptr);

  // Lists `folder`'s files, none selected. When it cannot be read the old entries stay.
  void SetFolder(const std::string& folder);
  // Reads the same folder again.
  void Reread();
  // Selects the entries of these names (as the file system has them), and only those.
  void Select(const std::vector<std::string>& names);
  // The selected entries' names as the file system has them, in the list's order.
  std::vector<std::string> SelectedNames() const;

  void SetDesignSize(QSize size) { designSize_ = size; }
  QSize sizeHint() const override;

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  std::string folder_;
  QSize designSize_;
};

}  // namespace keelpack::ui
