#pragma once

#include <QPlainTextEdit>
#include <QStringList>
#include <string_view>

namespace keelpack::ui {

// The on-screen log (`debugtext`). It keeps the newest kMaxLines lines, so that a long run
// with every message echoed neither exhausts memory nor slows each append. Lines are
// gathered and added to the document in batches, at the next turn of the event loop or when
// a batch is full: adding them one by one costs thirty times as much, and nobody sees them
// before the window next paints anyway.
class LogTextBox : public QPlainTextEdit {
  Q_OBJECT

 public:
  static constexpr int kMaxLines = 100'000;
  static constexpr int kBatchLines = 1'000;
  // However short the window gets, this many lines stay in view.
  static constexpr int kMinimumLines = 3;

  explicit LogTextBox(QWidget* parent = nullptr);

  // Adds one line (raw 8-bit text, shown as UTF-8). With `showNewest` the caret goes to the
  // end so that the new line is in view; otherwise the view stays where it was.
  void AppendLine(std::string_view line, bool showNewest);
  void ClearLines();
  // Adds the gathered lines to the document now, for whoever reads it before the next turn
  // of the event loop.
  void Flush();

  QSize minimumSizeHint() const override;

 signals:
  // F12, with or without shift keys: the hidden switch for echoing every log message.
  void screenDebugRequested();

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void FlushQueued();

  QStringList pending_;
  bool showNewest_ = false;  // a gathered line asked for the newest line to be shown
  bool flushQueued_ = false;
  bool empty_ = true;  // an empty document still has one block; this tells "no line yet"
};

}  // namespace keelpack::ui
