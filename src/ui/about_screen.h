#pragma once

#include <QDialog>
#include <QImage>
#include <QPointer>
#include <QRectF>
#include <QString>
#include <QTimer>
#include <array>

class QFrame;
class QLabel;

namespace keelpack::ui {

// Opens the about screen over `mainWindow` and returns when it has closed. The command
// behind the window's "About..." menu entry.
void ShowAboutScreen(QWidget* mainWindow);

// The credits that scroll up the about screen, one line after the other, CR LF between them.
QString CreditsText();

// Where a window of `window` size opens on `screen`: at the fractions `r1` and `r2` (each
// from 0 up to 1) of the room that is left across and down.
QPoint RandomPlace(const QRect& screen, const QSize& window, double r1, double r2);

// The about screen. It opens at a random place with its black areas see-through, fades the
// main window down while the logo sails off, then scrolls the credits up and closes when they
// have left the top. A key or a mouse press closes it earlier and gives the main window its
// full opacity back. Three typed code words show the hidden pictures instead.
// design: splashForm (its Qt object name)
class AboutScreen : public QDialog {
  Q_OBJECT

 public:
  // With kManual the timers still start and stop as the screen says, but their ticks come
  // only from calls to ZoomTick() and ScrollTick(): tests drive the screen
  // without waiting on the clock.
  enum class Clock { kTimers, kManual };

  // Tick at which the logo starts to sail off, and at which the credits take over.
  static constexpr int kZoomStartTick = 50;
  static constexpr int kSwitchTick = 82;

  explicit AboutScreen(QWidget* mainWindow, Clock clock = Clock::kTimers);

  // Whether the fade and the see-through black are shown; found out from the platform at
  // construction. Set it before the screen is shown.
  void SetTranslucencyAvailable(bool available) { translucent_ = available; }
  bool TranslucencyAvailable() const { return translucent_; }

  int TickCount() const { return tickCount_; }
  const QTimer& ZoomTimer() const { return zoomTimer_; }
  const QTimer& ScrollTimer() const { return scrollTimer_; }

  // The picture behind each code word: the picture box's own one and its two stored ones.
  QImage CodeWordPicture(int word) const;

 public slots:
  void ZoomTick();
  void ScrollTick();
  void reject() override;

 protected:
  void showEvent(QShowEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;

 private:
  void CreateElements();
  void KeyDown(int keyCode);
  void ShowPicture(int word);
  void CloseScreen();
  void SetMainWindowAlpha(int alpha);
  void RefreshSeeThrough();
  QRect TwipsRect(double left, double top, double width, double height) const;

  QPointer<QWidget> mainWindow_;
  bool translucent_ = false;

  QLabel* logo_ = nullptr;              // the logo that sails off; design: Image1
  QLabel* wordMark_ = nullptr;          // the lettering, shown with the credits; design: Image2
  QLabel* nightSea_ = nullptr;          // the night sea behind everything; design: Image3
  QFrame* creditsWindow_ = nullptr;     // the window the credits scroll in; design: Frame1
  QFrame* scrollingCredits_ = nullptr;  // what scrolls: the credits label; design: Frame2
  QLabel* creditsLabel_ = nullptr;      // design: rantLabel
  QWidget* edgeFade_ = nullptr;         // darkens the credits towards the edges of their window
  QLabel* pictureBox_ = nullptr;        // hidden until a code word is typed
  QImage ownPicture_;
  std::array<QImage, 2> storedPictures_;

  QTimer zoomTimer_;    // design: Timerqelup
  QTimer scrollTimer_;  // design: Timerframeup
  int tickCount_ = 0;
  QRectF logoTwips_;          // where the logo is now
  double logoLeftTwips_ = 0;  // where it stood before it set off
  int logoTopTwips_ = 0;
  QString typedLetters_;
  bool closing_ = false;
};

}  // namespace keelpack::ui
