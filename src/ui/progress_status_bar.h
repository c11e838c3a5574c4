#pragma once

#include <QFrame>
#include <QString>

class QLabel;

namespace keelpack::ui {

// The progress bar that doubles as the status line: a grey back layer with black text and a
// blue front layer, anchored at the left, with the same text in white. The front layer clips
// its copy of the text, so the text reads white on blue where the bar has filled and black on
// grey elsewhere. This widget is the back layer (`backFrame`).
class ProgressStatusBar : public QFrame {
  Q_OBJECT

 public:
  explicit ProgressStatusBar(QWidget* parent = nullptr);

  void setText(const QString& text);
  QString text() const;

  // The front layer becomes `percent` of the bar's width, rounded to the nearest pixel
  // (halves to the even one). A negative percentage leaves it as it is.
  void SetPercent(float percent);
  int FilledWidth() const;

 signals:
  void textChanged(const QString& text);

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  void PlaceFrontLayer();

  QLabel* backLabel_;
  QFrame* frontFrame_;
  QLabel* frontLabel_;
  float percent_ = -1;  // none set yet: the front layer keeps its opening width
};

}  // namespace keelpack::ui
