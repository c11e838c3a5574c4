#include "ui/log_text_box.h"

#include <QKeyEvent>
#include <QScrollBar>

#include "ui/text.h"

namespace keelpack::ui {

LogTextBox::LogTextBox(QWidget* parent) : QPlainTextEdit(parent) {
  setObjectName("debugtext");
  // The log is the program's record; the user reads, selects and copies it but does not edit
  // it, so that appends never land in the middle of something typed.
  setReadOnly(true);
  setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  setFocusPolicy(Qt::StrongFocus);
  setLineWrapMode(QPlainTextEdit::NoWrap);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  setMaximumBlockCount(kMaxLines);
  setUndoRedoEnabled(false);
}

QSize LogTextBox::minimumSizeHint() const {
  const int margins = 2 * (frameWidth() + static_cast<int>(document()->documentMargin()));
  return {QPlainTextEdit::minimumSizeHint().width(),
          kMinimumLines * fontMetrics().lineSpacing() + margins +
              horizontalScrollBar()->sizeHint().height()};
}

void LogTextBox::AppendLine(std::string_view line, bool showNewest) {
  pending_ << FromBytes(line);
  showNewest_ = showNewest_ || showNewest;
  if (pending_.size() >= kBatchLines) {
    Flush();
  } else if (!flushQueued_) {
    flushQueued_ = true;
    QMetaObject::invokeMethod(this, &LogTextBox::FlushQueued, Qt::QueuedConnection);
  }
}

void LogTextBox::ClearLines() {
  pending_.clear();
  showNewest_ = false;
  clear();
  empty_ = true;
}

void LogTextBox::Flush() {
  if (pending_.isEmpty()) return;
  QScrollBar* bar = verticalScrollBar();
  const int scrolledTo = bar->value();
  QTextCursor end(document());
  end.movePosition(QTextCursor::End);
  if (!empty_) end.insertBlock();
  // Every line feed becomes a block boundary: one block per line.
  end.insertText(pending_.join(QChar::LineFeed));
  empty_ = false;
  pending_.clear();
  if (showNewest_) {
    moveCursor(QTextCursor::End);
  } else {
    bar->setValue(scrolledTo);
  }
  showNewest_ = false;
}

void LogTextBox::FlushQueued() {
  flushQueued_ = false;
  Flush();
}

void LogTextBox::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_F12) {
    emit screenDebugRequested();
    return;
  }
  QPlainTextEdit::keyPressEvent(event);
}

}  // namespace keelpack::ui
