#include "ui/window_arrangement.h"

#include <QGridLayout>
#include <QVBoxLayout>
#include <QWidget>

#include "ui/twips.h"

namespace keelpack::ui {
namespace {

constexpr int kMarginTwips = 120;

}  // namespace

WindowArrangement::WindowArrangement(QWidget* content, const WindowBlocks& blocks)
    : content_(content), blocks_(blocks) {
  Arrange(Kind::kDesigned);
}

void WindowArrangement::Arrange(Kind kind) {
  // Only the placement goes: the widgets stay the content's children.
  delete content_->layout();
  const int margin = Twips(content_, kMarginTwips);
  const int spacing = Twips(content_, kWindowSpacingTwips);
  auto* grid = new QGridLayout(content_);
  grid->setContentsMargins(margin, margin, margin, margin);
  grid->setSpacing(spacing);
  // A column of blocks; the stretch before `last` keeps it at the bottom.
  auto column = [&](std::initializer_list<QWidget*> blocks, QWidget* last) {
    auto* layout = new QVBoxLayout;
    layout->setSpacing(spacing);
    for (QWidget* block : blocks) layout->addWidget(block);
    layout->addStretch(1);
    if (last != nullptr) layout->addWidget(last);
    return layout;
  };
  const WindowBlocks& b = blocks_;
  switch (kind) {
    case Kind::kDesigned:
    case Kind::kBesideLog: {
      const bool besideLog = kind == Kind::kBesideLog;
      grid->addWidget(b.navigator, 0, 0);
      grid->addWidget(b.fileList, 0, 1);
      grid->addLayout(column({b.runButtons, b.exif, b.corrupted}, b.tabs), 0, 2, besideLog ? 2 : 1,
                      1);
      grid->addWidget(b.log, 1, 0, 1, besideLog ? 2 : 3);
      grid->setRowStretch(0, 1);
      grid->setColumnStretch(0, kFolderListWidthTwips);
      grid->setColumnStretch(1, kFileListWidthTwips);
      break;
    }
    case Kind::kCompact: {
      auto* lists = new QVBoxLayout;
      lists->setSpacing(spacing);
      lists->addWidget(b.navigator, 1);
      lists->addWidget(b.fileList, 1);
      grid->addLayout(lists, 0, 0, 2, 1);
      grid->addLayout(column({b.runButtons, b.exif}, nullptr), 0, 1);
      grid->addWidget(b.log, 1, 1);
      grid->addLayout(column({b.corrupted}, b.tabs), 0, 2, 2, 1);
      grid->setRowStretch(1, 1);
      grid->setColumnStretch(0, 1);
      break;
    }
  }
  grid->addWidget(b.status, 2, 0, 1, 3);
  grid->activate();
}

void WindowArrangement::ArrangeToFit(QSize room) {
  for (Kind kind : {Kind::kDesigned, Kind::kBesideLog, Kind::kCompact}) {
    Arrange(kind);
    const QSize least = content_->minimumSizeHint();
    if (least.width() <= room.width() && least.height() <= room.height()) return;
  }
}

}  // namespace keelpack::ui
