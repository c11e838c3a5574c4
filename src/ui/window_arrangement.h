#pragma once

#include <QSize>

class QWidget;

namespace keelpack::ui {

// The designed sizes of the folder list and the file list, in twips. Beside each other, they
// share the room across in the proportion of their widths.
inline constexpr int kFolderListWidthTwips = 3735;
inline constexpr int kFolderListHeightTwips = 8010;
inline constexpr int kFileListWidthTwips = 3015;
inline constexpr int kFileListHeightTwips = 8280;

// The main window's blocks of controls; each one stays together wherever it stands.
struct WindowBlocks {
  QWidget* navigator;  // the drive list, the path field and the folder list
  QWidget* fileList;
  QWidget* runButtons;
  QWidget* exif;
  QWidget* corrupted;
  QWidget* tabs;
  QWidget* log;
  QWidget* status;  // the progress bar, Abort and About
};

// Where the blocks stand in the window's content: as designed (the options beside the lists,
// the log box under all), with the options beside the log box as well, or, for small screens
// and large fonts, with the lists one above the other and the options in two columns beside
// them.
class WindowArrangement {
 public:
  enum class Kind { kDesigned, kBesideLog, kCompact };

  // Arranges `blocks` in `content` as designed.
  WindowArrangement(QWidget* content, const WindowBlocks& blocks);

  void Arrange(Kind kind);
  // The first arrangement whose controls all fit into `room`; where none does, the last,
  // whose content then scrolls.
  void ArrangeToFit(QSize room);

 private:
  QWidget* content_;
  WindowBlocks blocks_;
};

}  // namespace keelpack::ui
