#include "ui/about_screen.h"

#include <QFrame>
#include <QGraphicsDropShadowEffect>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QPixmap>
#include <QRandomGenerator>
#include <QScreen>
#include <QStringList>
#include <algorithm>

#include "ui/about_pictures.h"
#include "ui/translucency.h"
#include "ui/twips.h"
#include "version.h"

namespace keelpack::ui {
namespace {

// The screen's layout, in twips like the rest of the program's windows.
constexpr double kAboutWidth = 7200;
constexpr double kAboutHeight = 5400;
constexpr double kHorizon = 3900;  // where the sea begins on the night picture
struct TwipsBox {
  double left, top, width, height;
};
// The boat stands on the water; its size is the one it has when it sets off at tick 50.
constexpr TwipsBox kLogoDesign{3400, 4380, 400, 200};
constexpr TwipsBox kWordMark{900, 240, 5400, 1200};
constexpr TwipsBox kCreditsWindow{900, 1560, 5400, 2250};
// The credits start two thirds down their window, so the first lines show at once.
constexpr double kCreditsStartTop = 1500;
// The foot line with the version and the licence, and its gap to the bottom edge.
constexpr double kFootTwips = 450;
constexpr double kFootGapTwips = 120;

// How the logo sails off from tick 50: per tick to the right and up, shrinking.
constexpr double kLogoRightPerTick = 2.6;
constexpr double kLogoUpPerTick = 4.5;
constexpr int kLogoWidthBase = 130;  // width = (130 - n) * 5
constexpr double kLogoWidthPerTick = 5;
constexpr double kLogoHeightPerTick = 2.5;  // height = 200 - (n - 50) * 2.5

constexpr int kZoomIntervalMs = 10;
constexpr int kScrollIntervalMs = 60;
constexpr int kScrollStepPixels = 1;
constexpr int kOpaque = 255;
constexpr int kAlphaPerTick = 2;

// Letter keys type into the code-word buffer; every other key, and a mouse press (key code
// 0), looks at the buffer and otherwise closes the screen.
constexpr int kMouseKeyCode = 0;
constexpr int kCodeWordLength = 3;
const std::array<QString, 3> kCodeWords = {QStringLiteral("dct"), QStringLiteral("sun"),
                                           QStringLiteral("hex")};

// Drawn larger than it is ever shown, so that scaling it down keeps it smooth.
constexpr QSize kLogoPictureSize(200, 100);

const QColor kCreditsColour(223, 233, 245);
constexpr int kCreditsPointSize = 10;
// A dark halo round the letters. On the black it cannot be seen; where the black is
// see-through it keeps the light letters readable over whatever lies behind.
const QColor kCreditsHalo(8, 22, 40);
constexpr double kCreditsHaloRadius = 5;

// The licence the program is distributed under, as the about screen names it.
const QString kLicence = QStringLiteral("GNU General Public License, version 3 or later");

// The people in the credits go by their nicknames.
const QString kAuthor = QStringLiteral("Skerry");
const QStringList kBetatesters = {QStringLiteral("Barnacle"), QStringLiteral("Tiller"),
                                  QStringLiteral("Gullwing"), QStringLiteral("Lanyard")};
const std::array<QStringList, 3> kGreetings = {
    QStringList{QStringLiteral("Bosun"), QStringLiteral("Driftwood"), QStringLiteral("Halyard")},
    QStringList{QStringLiteral("Mizzen"), QStringLiteral("Saltpan"), QStringLiteral("Windlass")},
    QStringList{QStringLiteral("Ebbtide"), QStringLiteral("Fathom"), QStringLiteral("Sandpiper")}};

// ". A . B . C ."
QString NicknameLine(const QStringList& names) {
  return QStringLiteral(". ") + names.join(QStringLiteral(" . ")) + QStringLiteral(" .");
}

QString FromView(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// "2026" of "2026" or "2026-2028".
QString FirstReleaseYear() {
  return FromView(kReleaseYears).section(QLatin1Char('-'), 0, 0).trimmed();
}

// "Keelpack 0.1.0, GNU General Public License, version 3 or later".
QString VersionLine() {
  return QStringLiteral("%1 %2, %3").arg(FromView(kProgramName), FromView(kVersion), kLicence);
}

QLabel* PictureLabel(const QString& name, const QImage& picture, QWidget* parent) {
  auto* label = new QLabel(parent);
  label->setObjectName(name);
  label->setScaledContents(true);
  label->setPixmap(QPixmap::fromImage(picture));
  return label;
}

// Darkens the credits towards the top and bottom of their window, so that lines fade in and
// out instead of being cut. The very edge is pure black: see-through like the sky around it.
class EdgeFade : public QWidget {
 public:
  explicit EdgeFade(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    constexpr int kBand = 28;
    const int band = std::min(kBand, height() / 4);
    QPainter painter(this);
    QLinearGradient top(0, 0, 0, band);
    top.setColorAt(0, Qt::black);
    top.setColorAt(1, Qt::transparent);
    painter.fillRect(0, 0, width(), band, top);
    QLinearGradient bottom(0, height() - band, 0, height());
    bottom.setColorAt(0, Qt::transparent);
    bottom.setColorAt(1, Qt::black);
    painter.fillRect(0, height() - band, width(), band, bottom);
  }
};

}  // namespace

QString CreditsText() {
  const QStringList lines = {
      FromView(kProgramName),
      QString(),
      QStringLiteral("the ultimate JPEG reducing program"),
      QStringLiteral("written by %1 in %2").arg(kAuthor, FirstReleaseYear()),
      QString(),
      QStringLiteral("Betatesters:"),
      NicknameLine(kBetatesters),
      QString(),
      QStringLiteral("Greetings to:"),
      NicknameLine(kGreetings[0]),
      NicknameLine(kGreetings[1]),
      NicknameLine(kGreetings[2]),
      QString(),
      QStringLiteral("Look forward to more releases"),
      QStringLiteral("Fair winds and lean files, %1").arg(kAuthor),
      QString(),
      QString(),
      VersionLine(),
  };
  return lines.join(QStringLiteral("\r\n"));
}

QPoint RandomPlace(const QRect& screen, const QSize& window, double r1, double r2) {
  const int roomAcross = std::max(0, screen.width() - window.width());
  const int roomDown = std::max(0, screen.height() - window.height());
  return screen.topLeft() +
         QPoint(static_cast<int>(roomAcross * r1), static_cast<int>(roomDown * r2));
}

void ShowAboutScreen(QWidget* mainWindow) {
  AboutScreen screen(mainWindow);
  screen.exec();
}

AboutScreen::AboutScreen(QWidget* mainWindow, Clock clock)
    : QDialog(mainWindow, Qt::Dialog | Qt::FramelessWindowHint),
      mainWindow_(mainWindow),
      translucent_(WindowOpacityAvailable()) {
  setObjectName(QStringLiteral("splashForm"));
  setWindowTitle(tr("About %1").arg(FromView(kProgramName)));
  setModal(true);
  setFocusPolicy(Qt::StrongFocus);
  setFixedSize(TwipsRect(0, 0, kAboutWidth, kAboutHeight).size());
  // Black is what the desktop shows through; the form itself is all black.
  QPalette black = palette();
  black.setColor(QPalette::Window, Qt::black);
  setPalette(black);
  setAutoFillBackground(true);

  CreateElements();

  zoomTimer_.setObjectName(QStringLiteral("Timerqelup"));
  zoomTimer_.setInterval(kZoomIntervalMs);
  scrollTimer_.setObjectName(QStringLiteral("Timerframeup"));
  scrollTimer_.setInterval(kScrollIntervalMs);
  if (clock == Clock::kTimers) {
    connect(&zoomTimer_, &QTimer::timeout, this, &AboutScreen::ZoomTick);
    connect(&scrollTimer_, &QTimer::timeout, this, &AboutScreen::ScrollTick);
  }

  const QScreen* screen =
      mainWindow != nullptr ? mainWindow->screen() : QGuiApplication::primaryScreen();
  if (screen != nullptr) {
    QRandomGenerator* random = QRandomGenerator::global();
    move(RandomPlace(screen->geometry(), size(), random->generateDouble(),
                     random->generateDouble()));
  }
}

void AboutScreen::CreateElements() {
  const QRect credits = TwipsRect(kCreditsWindow.left, kCreditsWindow.top, kCreditsWindow.width,
                                  kCreditsWindow.height);
  const int horizon = TwipsRect(0, kHorizon, 0, 0).top();

  // Pictures are painted in the screen's device pixels, so that they stay sharp where one
  // pixel of the layout is several on the screen.
  const qreal ratio = devicePixelRatioF();

  // Children are stacked in the order they are made: the night at the back.
  nightSea_ =
      PictureLabel(QStringLiteral("Image3"), DrawNightSea(size(), horizon, credits, ratio), this);
  nightSea_->setGeometry(rect());

  logoTwips_ = QRectF(kLogoDesign.left, kLogoDesign.top, kLogoDesign.width, kLogoDesign.height);
  logo_ = PictureLabel(QStringLiteral("Image1"), DrawBoatLogo(kLogoPictureSize), this);
  logo_->setGeometry(
      TwipsRect(logoTwips_.left(), logoTwips_.top(), logoTwips_.width(), logoTwips_.height()));

  const QRect wordMark =
      TwipsRect(kWordMark.left, kWordMark.top, kWordMark.width, kWordMark.height);
  wordMark_ = PictureLabel(QStringLiteral("Image2"), DrawWordMark(wordMark.size(), ratio), this);
  wordMark_->setGeometry(wordMark);
  wordMark_->hide();

  creditsWindow_ = new QFrame(this);
  creditsWindow_->setObjectName(QStringLiteral("Frame1"));
  creditsWindow_->setGeometry(credits);
  creditsWindow_->hide();

  scrollingCredits_ = new QFrame(creditsWindow_);
  scrollingCredits_->setObjectName(QStringLiteral("Frame2"));
  creditsLabel_ = new QLabel(scrollingCredits_);
  creditsLabel_->setObjectName(QStringLiteral("rantLabel"));
  QFont font(QStringLiteral("Sans Serif"));
  font.setStyleHint(QFont::SansSerif);
  font.setPointSize(kCreditsPointSize);
  creditsLabel_->setFont(font);
  QPalette light = creditsLabel_->palette();
  light.setColor(QPalette::WindowText, kCreditsColour);
  creditsLabel_->setPalette(light);
  auto* halo = new QGraphicsDropShadowEffect(creditsLabel_);
  halo->setOffset(0, 0);
  halo->setBlurRadius(kCreditsHaloRadius);
  halo->setColor(kCreditsHalo);
  creditsLabel_->setGraphicsEffect(halo);
  creditsLabel_->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
  creditsLabel_->setWordWrap(true);
  creditsLabel_->setText(CreditsText().replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
  creditsLabel_->setGeometry(0, 0, credits.width(), creditsLabel_->heightForWidth(credits.width()));
  scrollingCredits_->setGeometry(0, TwipsToPixels(kCreditsStartTop, logicalDpiY()), credits.width(),
                                 creditsLabel_->y() + creditsLabel_->height());
  edgeFade_ = new EdgeFade(creditsWindow_);
  edgeFade_->setGeometry(creditsWindow_->rect());

  // The version and the licence stand at the foot of the screen from the start.
  auto* versionLabel = new QLabel(VersionLine(), this);
  versionLabel->setObjectName(QStringLiteral("versionLabel"));
  versionLabel->setFont(font);
  versionLabel->setPalette(light);
  versionLabel->setAlignment(Qt::AlignHCenter | Qt::AlignBottom);
  const int foot = TwipsRect(0, 0, 0, kFootTwips).height();
  versionLabel->setGeometry(0, height() - foot, width(),
                            foot - TwipsRect(0, 0, 0, kFootGapTwips).height());

  ownPicture_ = DrawBlockShapes(size(), ratio);
  storedPictures_ = {DrawSunset(size(), ratio), DrawCommentDump(size(), ratio)};
  pictureBox_ = PictureLabel(QStringLiteral("pictureBox"), ownPicture_, this);
  pictureBox_->setGeometry(rect());
  pictureBox_->hide();
}

QImage AboutScreen::CodeWordPicture(int word) const {
  return word == 0 ? ownPicture_ : storedPictures_.at(static_cast<std::size_t>(word - 1));
}

void AboutScreen::showEvent(QShowEvent* event) {
  // Where black is cut out, a fade to black would only leave dark smudges over the desktop:
  // the credits are cut off at the edges of their window instead.
  edgeFade_->setVisible(!translucent_);
  QDialog::showEvent(event);
  if (!zoomTimer_.isActive() && tickCount_ == 0 && !closing_) zoomTimer_.start();
  RefreshSeeThrough();
}

void AboutScreen::ZoomTick() {
  ++tickCount_;
  SetMainWindowAlpha(kOpaque - kAlphaPerTick * tickCount_);
  if (tickCount_ < kZoomStartTick) {
    logoLeftTwips_ = logoTwips_.left();
    logoTopTwips_ = static_cast<int>(logoTwips_.top());
  } else {
    const int sailed = tickCount_ - kZoomStartTick;
    logoTwips_ =
        QRectF(logoLeftTwips_ + sailed * kLogoRightPerTick, logoTopTwips_ - sailed * kLogoUpPerTick,
               (kLogoWidthBase - tickCount_) * kLogoWidthPerTick,
               kLogoDesign.height - sailed * kLogoHeightPerTick);
    logo_->setGeometry(
        TwipsRect(logoTwips_.left(), logoTwips_.top(), logoTwips_.width(), logoTwips_.height()));
  }
  if (tickCount_ == kSwitchTick) {
    zoomTimer_.stop();
    wordMark_->show();
    creditsWindow_->show();
    scrollTimer_.start();
  }
  RefreshSeeThrough();
}

void AboutScreen::ScrollTick() {
  scrollingCredits_->move(scrollingCredits_->x(), scrollingCredits_->y() - kScrollStepPixels);
  if (scrollingCredits_->y() + scrollingCredits_->height() < 0) {
    scrollTimer_.stop();
    KeyDown(kMouseKeyCode);
    return;
  }
  RefreshSeeThrough();
}

void AboutScreen::keyPressEvent(QKeyEvent* event) {
  // The key's own action first, then the character it typed, as a key-down comes before the
  // character it produces.
  KeyDown(event->key());
  typedLetters_ += event->text();
  event->accept();
}

void AboutScreen::mousePressEvent(QMouseEvent* event) {
  // Presses on the pictures and the credits arrive here too: those children ignore them.
  KeyDown(kMouseKeyCode);
  event->accept();
}

void AboutScreen::KeyDown(int keyCode) {
  if (keyCode >= Qt::Key_A && keyCode <= Qt::Key_Z) return;
  const QString typed = typedLetters_.right(kCodeWordLength).toLower();
  const auto word = std::find(kCodeWords.begin(), kCodeWords.end(), typed);
  if (word != kCodeWords.end()) {
    ShowPicture(static_cast<int>(word - kCodeWords.begin()));
    typedLetters_.clear();
    return;
  }
  CloseScreen();
}

void AboutScreen::ShowPicture(int word) {
  scrollingCredits_->hide();
  pictureBox_->setPixmap(QPixmap::fromImage(CodeWordPicture(word)));
  pictureBox_->show();
  pictureBox_->raise();
  RefreshSeeThrough();
}

void AboutScreen::reject() { CloseScreen(); }

void AboutScreen::CloseScreen() {
  if (closing_) return;
  closing_ = true;
  // A tick after this would fade the main window down again.
  zoomTimer_.stop();
  scrollTimer_.stop();
  SetMainWindowAlpha(kOpaque);
  QDialog::done(QDialog::Accepted);
}

void AboutScreen::SetMainWindowAlpha(int alpha) {
  if (translucent_ && mainWindow_ != nullptr) MakeWindowTransparent(mainWindow_, alpha);
}

void AboutScreen::RefreshSeeThrough() {
  if (translucent_ && isVisible() && !closing_) MakeBlackTransparent(this);
}

QRect AboutScreen::TwipsRect(double left, double top, double width, double height) const {
  const int dpiX = logicalDpiX();
  const int dpiY = logicalDpiY();
  return QRect(TwipsToPixels(left, dpiX), TwipsToPixels(top, dpiY), TwipsToPixels(width, dpiX),
               TwipsToPixels(height, dpiY));
}

}  // namespace keelpack::ui
