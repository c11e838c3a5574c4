#include "ui/main_window.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QCompleter>
#include <QDir>
#include <QFontDatabase>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QMoveEvent>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollArea>
#include <QShortcut>
#include <QStandardPaths>
#include <QStringListModel>
#include <QStyle>
#include <QSvgRenderer>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>

#include "platform/files.h"
#include "platform/folder.h"
#include "platform/folders.h"
#include "platform/listing.h"
#include "platform/viewer.h"
#include "runs/runs.h"
#include "settings/settings_file.h"
#include "ui/about_screen.h"
#include "ui/drive_list.h"
#include "ui/file_list.h"
#include "ui/folder_list.h"
#include "ui/list_look.h"
#include "ui/log_text_box.h"
#include "ui/option_widgets.h"
#include "ui/output_folder_dialog.h"
#include "ui/progress_status_bar.h"
#include "ui/text.h"
#include "ui/translucency.h"
#include "ui/twips.h"
#include "version.h"

namespace keelpack::ui {
namespace {

// Each Alt+letter does one thing: no two controls share an access key. Free for later
// controls: M, Q, X, Y, Z.
const QString kLogOff = QStringLiteral("L&og...");
// The log check box's caption for each log level; level 0 is "Log...".
const std::array<QString, 4> kLogCaptions = {kLogOff, QStringLiteral("L&og (Brief)"),
                                             QStringLiteral("L&og (Verbose)"),
                                             QStringLiteral("L&og (Explicit)")};

const QStringList kFontCandidates = {"tahoma",   "arial ce",    "segoe ui", "trebuchet ms",
                                     "freesans", "lucida sans", "arial"};

// The designed sizes of the window's controls, in twips.
constexpr int kFolderListWidthTwips = 3735;
constexpr int kFolderListHeightTwips = 8010;
constexpr int kFileListWidthTwips = 3015;
constexpr int kFileListHeightTwips = 8280;
constexpr int kRunButtonHeightTwips = 480;
constexpr int kOutputRowHeightTwips = 285;
constexpr int kChooseButtonWidthTwips = 375;
constexpr int kOptionFrameWidthTwips = 2895;
constexpr int kOptionFrameHeightTwips = 1575;
constexpr int kAbortWidthTwips = 1200;
constexpr int kStatusHeightTwips = 375;
constexpr int kMarginTwips = 120;
constexpr int kSpacingTwips = 105;
constexpr int kTargetGapTwips = 120;
constexpr int kTabIndentTwips = 90;

constexpr int kSafetyTab = 0;
constexpr int kTargetTab = 1;
constexpr int kRaisedTabTwips = 280;
constexpr int kOpeningRaisedTabTwips = 285;
constexpr int kLoweredTabTwips = 255;
constexpr int kTabWidthTwips = 735;
// The raised tab stands this much taller than the lowered one, whatever the font.
constexpr int kTabRiseTwips = 25;

// Until the window manager has framed the window, its frame is taken to be a title bar and
// thin borders of these sizes.
constexpr int kTitleBarEstimateTwips = 450;
constexpr int kBorderEstimateTwips = 60;

constexpr int kFadeIntervalMs = 5;
constexpr int kScreenWatchIntervalMs = 500;
constexpr int kNudgeTwips = 30;

// Character codes that Ctrl with a letter types: Ctrl+S is 19, Ctrl+T is 20.
constexpr int kCtrlS = 19;
constexpr int kCtrlT = 20;

template <typename Button>
Button* Named(Button* button, const char* name, const QString& toolTip = {}) {
  button->setObjectName(name);
  if (!toolTip.isEmpty()) button->setToolTip(toolTip);
  return button;
}

QCheckBox* MakeCheck(const QString& caption, const char* name, const QString& toolTip = {}) {
  return Named(new QCheckBox(caption), name, toolTip);
}

QRadioButton* MakeOption(const QString& caption, const char* name, const QString& toolTip) {
  return Named(new QRadioButton(caption), name, toolTip);
}

// The window shows each option choice at the position of its stored number: the button id in
// its group, the item index of the combo box. These are the only conversions between them.
template <OptionChoice Choice>
int ControlIndex(Choice choice) {
  return ChoiceNumber(choice);
}

template <OptionChoice Choice>
Choice ChoiceAt(int index) {
  return ChoiceFromNumber<Choice>(index).value_or(Choice{});
}

IccPolicy IccValue(Qt::CheckState state) {
  switch (state) {
    case Qt::Unchecked:
      return IccPolicy::kAutomatic;
    case Qt::Checked:
      return IccPolicy::kKeepAll;
    case Qt::PartiallyChecked:
      return IccPolicy::kForceRemoval;
  }
  return IccPolicy::kAutomatic;
}

Qt::CheckState IccState(IccPolicy value) {
  switch (value) {
    case IccPolicy::kAutomatic:
      return Qt::Unchecked;
    case IccPolicy::kKeepAll:
      return Qt::Checked;
    case IccPolicy::kForceRemoval:
      return Qt::PartiallyChecked;
  }
  return Qt::Unchecked;
}

// The character code a key press types, as the classic key-press event gives it: Ctrl with a
// letter types the control character, whatever else is held.
int CharacterCode(const QKeyEvent& key) {
  if ((key.modifiers() & Qt::ControlModifier) && key.key() >= Qt::Key_A && key.key() <= Qt::Key_Z) {
    return key.key() - Qt::Key_A + 1;
  }
  return key.text().isEmpty() ? 0 : key.text().front().unicode();
}

Qt::KeyboardModifiers ShiftState(const QKeyEvent& key) {
  return key.modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier);
}

// "~" and "~/..." are the home folder, as in a shell.
std::string ExpandHome(const QString& typed) {
  if (typed == QLatin1String("~") || typed.startsWith(QLatin1String("~/"))) {
    return ToBytes(QDir::homePath() + typed.mid(1));
  }
  return ToBytes(typed);
}

// The packaged icon, drawn at the sizes window managers and task bars ask for.
QIcon ProgramIcon() {
  QSvgRenderer drawing(QStringLiteral(":/keelpack.svg"));
  QIcon icon;
  for (int side : {16, 24, 32, 48, 64, 128, 256}) {
    QPixmap picture(side, side);
    picture.fill(Qt::transparent);
    QPainter painter(&picture);
    drawing.render(&painter);
    painter.end();
    icon.addPixmap(picture);
  }
  return icon;
}

// A block of controls kept together, one below the other (or side by side).
QWidget* Block(std::initializer_list<QWidget*> widgets, int spacing, bool across = false) {
  auto* block = new QWidget;
  QBoxLayout* layout =
      across ? static_cast<QBoxLayout*>(new QHBoxLayout(block)) : new QVBoxLayout(block);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(spacing);
  for (QWidget* widget : widgets) layout->addWidget(widget);
  return block;
}

QString ExifWords(ExifOption exif) {
  switch (exif) {
    case ExifOption::kKeepOriginal:
      return QStringLiteral("Exif kept as it is");
    case ExifOption::kReduceSize:
      return QStringLiteral("Exif reduced");
    case ExifOption::kDelete:
      return QStringLiteral("Exif deleted");
  }
  return {};
}

}  // namespace

MainWindow::MainWindow(const QStringList& startPaths, QWidget* parent)
    : QWidget(parent), session_(*this), translucency_(WindowOpacityAvailable()) {
  setObjectName("Form1");
  setWindowTitle(FromBytes(kProgramName));
  setWindowIcon(ProgramIcon());
  setAcceptDrops(true);
  fontCandidates_ = kFontCandidates;

  CreateControls();
  CreateMenus();
  LayOutControls();
  ConnectSignals();

  ShowStatus(session_, std::string(kProgramName) + " " + std::string(kVersion) + " (" +
                           std::string(kReleaseYears) + ")");
  const std::string lastFolder = LoadSettings();
  OpenStartFolder(startPaths, lastFolder);
  SelectFont();
  FitToScreen();
  // A panel that appears or grows later (one started after the program at login) must not
  // cover the window's bottom either.
  if (QScreen* shown = screen()) {
    connect(shown, &QScreen::availableGeometryChanged, this, [this](const QRect& available) {
      if (!available.contains(frameGeometry())) FitToScreen();
    });
  }
  // Where the window can be translucent it starts transparent and fades in as soon as it is
  // shown; elsewhere showing it shows it at once.
  if (translucency_.available()) {
    translucency_.Apply(*this, 0);
    fadeTimer_->start();
    screenWidthTimer_->start();
  }
}

MainWindow::~MainWindow() = default;

void MainWindow::CreateControls() {
  driveList_ = new DriveList;
  folderList_ = new FolderList(FolderList::Extras::kNavigator);
  pathText_ =
      Named(new QLineEdit, "pathText",
            QStringLiteral("The open directory. Type or paste another one and press Enter."));
  pathText_->setPlaceholderText(QStringLiteral("Directory to open"));
  pathCompletions_ = new QStringListModel(this);
  pathCompleter_ = new QCompleter(pathCompletions_, this);
  pathCompleter_->setCaseSensitivity(Qt::CaseSensitive);
  pathText_->setCompleter(pathCompleter_);
  folderList_->SetDesignSize(
      QSize(Twips(this, kFolderListWidthTwips), Twips(this, kFolderListHeightTwips)));
  fileList_ = new FileList;
  fileList_->SetDesignSize(
      QSize(Twips(this, kFileListWidthTwips), Twips(this, kFileListHeightTwips)));

  processFilesButton_ = Named(
      new QPushButton(style()->standardIcon(QStyle::SP_FileIcon),
                      QStringLiteral("Process selected &file(s)")),
      "few",
      QStringLiteral("Runs the optimization for each file selected in the list to the left."));
  processFolderButton_ = Named(new QPushButton(style()->standardIcon(QStyle::SP_DirIcon),
                                               QStringLiteral("Process the &directory")),
                               "many");
  abortButton_ = Named(new QPushButton(QStringLiteral("&Abort")), "cancelCommand");
  abortButton_->setEnabled(false);
  // Abort keeps the ordinary arrow while the rest of the window shows the busy pointer.
  abortButton_->setCursor(Qt::ArrowCursor);
  abortButton_->setToolTip(QStringLiteral("Stops the run after the file under way (Esc)."));
  aboutButton_ = Named(new QPushButton(QStringLiteral("Abo&ut...")), "aboutCommand",
                       QStringLiteral("Shows the version and the licence (F1)."));
  // Escape aborts a run, and only while one goes on: otherwise it stays with the controls.
  escapeAborts_ = new QShortcut(QKeySequence(Qt::Key_Escape), this);
  escapeAborts_->setEnabled(false);
  for (QPushButton* button : {processFilesButton_, processFolderButton_})
    button->setMinimumHeight(Twips(this, kRunButtonHeightTwips));

  statusBar_ = new ProgressStatusBar;
  logBox_ = new LogTextBox;

  exifFrame_ = Named(new QGroupBox(QStringLiteral("Exif")), "exifFrame");
  exifButtons_ = {
      MakeOption(
          QStringLiteral("&Keep original"), "exifOption0",
          QStringLiteral("Will not alter EXIF. Since Exifs contain a lot of garbage, this is "
                         "not recommended.\nKeeps everything: location (GPS), thumbnail, maker "
                         "notes, serial numbers and owner names too.")),
      MakeOption(
          QStringLiteral("&Reduce size"), "exifOption1",
          QStringLiteral("Reworks the camera data to keep as much interesting data as "
                         "possible while drastically reducing the file size.\nKeeps camera "
                         "settings, date and orientation; removes location (GPS), thumbnail, "
                         "maker notes, serial numbers and owner names.")),
      MakeOption(
          QStringLiteral("D&elete"), "exifOption2",
          QStringLiteral("Removes the Exif. Saves space the most. You will not be able to see "
                         "your camera settings in the file anymore.\nKeeps only what shows the "
                         "picture upright (its orientation) and, with Keep DPI, its resolution."))};
  exifButtonGroup_ = new QButtonGroup(this);
  keepDpiCheck_ =
      MakeCheck(QStringLiteral("Keep D&PI"), "dpiCheck",
                QStringLiteral("Useful for printing CD booklets. Printing software will "
                               "maintain original size on paper."));
  iccCheck_ =
      Named(new IccCheckBox(QStringLiteral("Keep embedded &ICC (for custom profiles)")), "iccCheck",
            QStringLiteral("Clear: Auto, Check: Keep all, Grayed (right click): Force Remove "
                           "(only for files reported by Photoshop as bad)"));

  optimizeCombo_ =
      Named(new QComboBox, "optimizeCombo",
            QStringLiteral("Codes the picture data again, losslessly: every pixel stays as it "
                           "was. Progressive files are the smallest. Damaged files keep "
                           "their picture data as it is."));
  optimizeCombo_->addItems({QStringLiteral("Optimize coding: off"),
                            QStringLiteral("Optimize coding: Huffman tables"),
                            QStringLiteral("Optimize coding: progressive")});
  uprightCheck_ = MakeCheck(
      QStringLiteral("Turn pictures uprig&ht"), "uprightCheck",
      QStringLiteral("Turns each picture the way its Exif orientation asks, losslessly, and sets "
                     "the orientation to upright. A picture whose edge blocks cannot turn "
                     "without loss keeps its data and its orientation."));

  corruptedFrame_ = Named(new QGroupBox(QStringLiteral("Corrupted images")), "corFrame");
  corruptedButtons_ = {
      MakeOption(QStringLiteral("I&gnore"), "corOption0",
                 QStringLiteral("This will leave the bad file unchanged in place.")),
      MakeOption(QStringLiteral("De&lete"), "corOption1",
                 QStringLiteral("Assume irrecoverable JPEGs if blocks are damaged.")),
      MakeOption(QStringLiteral("Re&name to"), "corOption2",
                 QStringLiteral("Recommended. Search for these later and try to fix them. First "
                                "asterisk is replaced with filename, the other with extension."))};
  corruptedButtonGroup_ = new QButtonGroup(this);
  for (int i = 0; i < 3; ++i) {
    exifButtonGroup_->addButton(exifButtons_[i], i);
    corruptedButtonGroup_->addButton(corruptedButtons_[i], i);
  }
  exifButtons_[ControlIndex(ExifOption::kReduceSize)]->setChecked(true);
  corruptedButtons_[ControlIndex(CorruptedChoice::kRename)]->setChecked(true);
  maskText_ = Named(new QLineEdit(QString::fromUtf8(kDefaultMask)), "corren");
  nonJpegsCheck_ =
      MakeCheck(QStringLiteral("non-&JPEGs"), "evenCheck",
                QStringLiteral("The program protects other formats having a JPG extension by "
                               "accident by default. Check this to delete such files."));

  safetyFrame_ = Named(new QGroupBox(QStringLiteral("Safety")), "safetyFrame");
  readabilityCheck_ =
      MakeCheck(QStringLiteral("&Check readability"), "readCheck",
                QStringLiteral("The program will attempt to load the JPEG after the change "
                               "to ensure readability."));
  slowParsingCheck_ =
      MakeCheck(QStringLiteral("Slo&w entropy parsing"), "slowCheck",
                QStringLiteral("A more thorough algorithm will make sure that the entropy "
                               "data are correct. Use this for suspicious directories."));
  backupsCheck_ = MakeCheck(QStringLiteral("Make &backups"), "bakCheck",
                            QStringLiteral("Please note that this may fill your disk and cause the "
                                           "operation to fail."));
  logCheck_ = MakeCheck(kLogOff, "logCheck");

  targetFrame_ = Named(new QGroupBox(QStringLiteral("Target")), "targetFrame");
  differentFolderCheck_ =
      MakeCheck(QStringLiteral("Sa&ve in different directory"), "difdirCheck",
                QStringLiteral("Allows you to specify a different output directory."));
  outputFolderText_ = Named(new QLineEdit, "newdirText");
  chooseOutputButton_ = Named(new QToolButton, "chooseCommand", QStringLiteral("Choose Directory"));
  chooseOutputButton_->setIcon(style()->standardIcon(QStyle::SP_DirOpenIcon));

  tabLabels_ = {new TabLabel(kSafetyTab, QStringLiteral("&Safety")),
                new TabLabel(kTargetTab, QStringLiteral("&Target"))};
  tabLabels_[kSafetyTab]->setObjectName("tabLabel0");
  tabLabels_[kTargetTab]->setObjectName("tabLabel1");
  // A label shows its access key only with a buddy; the key itself shows the label's frame.
  tabLabels_[kSafetyTab]->setBuddy(safetyFrame_);
  tabLabels_[kTargetTab]->setBuddy(targetFrame_);
  for (TabLabel* label : tabLabels_) label->setMinimumWidth(Twips(this, kTabWidthTwips));
  ShowTab(kSafetyTab);
  tabLabels_[kSafetyTab]->setFixedHeight(
      std::max(tabLabels_[kSafetyTab]->height(), Twips(this, kOpeningRaisedTabTwips)));

  fadeTimer_ = new QTimer(this);
  fadeTimer_->setObjectName("transTimer1");
  fadeTimer_->setInterval(kFadeIntervalMs);
  screenWidthTimer_ = new QTimer(this);
  screenWidthTimer_->setObjectName("winfixTimer");
  screenWidthTimer_->setInterval(kScreenWatchIntervalMs);
}

void MainWindow::CreateMenus() {
  logMenu_ = new QMenu(QStringLiteral("Log"), this);
  logMenu_->setObjectName("logtop");
  briefAction_ = Named(logMenu_->addAction(QStringLiteral("Brief")), "logbrief");
  verboseAction_ = Named(logMenu_->addAction(QStringLiteral("Verbose")), "logverb");
  explicitAction_ = Named(logMenu_->addAction(QStringLiteral("Explicit")), "logexp");
  logMenu_->addSeparator();
  openLogAction_ = Named(logMenu_->addAction(QStringLiteral("Open")), "logopen");
  logMenu_->addSeparator();
  aboutAction_ = Named(logMenu_->addAction(QStringLiteral("About...")), "aboutmenu");

  iccMenu_ = new QMenu(QStringLiteral("ICC"), this);
  iccMenu_->setObjectName("iccmenu");
  forceIccRemovalAction_ = Named(
      iccMenu_->addAction(QStringLiteral("Force Removal (may corrupt files)")), "forceiccremoval");
}

void MainWindow::LayOutControls() {
  const int spacing = Twips(this, kSpacingTwips);

  navigatorBlock_ = Block({driveList_, pathText_, folderList_}, spacing / 2);
  static_cast<QBoxLayout*>(navigatorBlock_->layout())->setStretch(2, 1);

  auto* exifLayout = new QVBoxLayout(exifFrame_);
  for (QRadioButton* option : exifButtons_) exifLayout->addWidget(option);

  auto* corLayout = new QGridLayout(corruptedFrame_);
  corLayout->addWidget(corruptedButtons_[ControlIndex(CorruptedChoice::kIgnore)], 0, 0, 1, 2);
  corLayout->addWidget(corruptedButtons_[ControlIndex(CorruptedChoice::kDelete)], 1, 0, 1, 2);
  corLayout->addWidget(corruptedButtons_[ControlIndex(CorruptedChoice::kRename)], 2, 0);
  corLayout->addWidget(maskText_, 2, 1);
  corLayout->addWidget(nonJpegsCheck_, 3, 0, 1, 2);
  corLayout->setColumnStretch(1, 1);

  auto* safetyLayout = new QVBoxLayout(safetyFrame_);
  for (QCheckBox* box : {readabilityCheck_, slowParsingCheck_, backupsCheck_, logCheck_})
    safetyLayout->addWidget(box);
  safetyLayout->addStretch(1);

  auto* targetLayout = new QGridLayout(targetFrame_);
  targetLayout->addWidget(differentFolderCheck_, 0, 0, 1, 2);
  targetLayout->setRowMinimumHeight(1, Twips(this, kTargetGapTwips));
  // The row and the button's column, not the controls, have the designed sizes: neither ever
  // gets less than its font needs.
  targetLayout->setRowMinimumHeight(2, Twips(this, kOutputRowHeightTwips));
  targetLayout->setColumnMinimumWidth(1, Twips(this, kChooseButtonWidthTwips));
  targetLayout->addWidget(outputFolderText_, 2, 0);
  targetLayout->addWidget(chooseOutputButton_, 2, 1);
  // How the picture data is coded in what is written: with the target, so that the options
  // column keeps its designed height.
  targetLayout->addWidget(optimizeCombo_, 3, 0, 1, 2);
  targetLayout->addWidget(uprightCheck_, 4, 0, 1, 2);
  targetLayout->setColumnStretch(0, 1);
  targetLayout->setRowStretch(5, 1);

  // The two frames share one place; the tab labels hang below them.
  tabsBlock_ = new QWidget;
  auto* tabs = new QGridLayout(tabsBlock_);
  tabs->setContentsMargins(0, 0, 0, 0);
  tabs->setSpacing(0);
  for (QGroupBox* frame : {safetyFrame_, targetFrame_}) tabs->addWidget(frame, 0, 0);
  auto* tabStrip = new QHBoxLayout;
  tabStrip->setSpacing(0);
  tabStrip->setContentsMargins(Twips(this, kTabIndentTwips), 0, 0, 0);
  for (TabLabel* label : tabLabels_) tabStrip->addWidget(label, 0, Qt::AlignTop);
  tabStrip->addStretch(1);
  tabs->addLayout(tabStrip, 1, 0);

  runBlock_ = Block({processFilesButton_, processFolderButton_}, spacing);
  exifBlock_ = Block({exifFrame_, keepDpiCheck_, iccCheck_}, spacing);
  statusBlock_ = Block({statusBar_, abortButton_, aboutButton_}, spacing, true);
  static_cast<QBoxLayout*>(statusBlock_->layout())->setStretch(0, 1);
  abortButton_->setMinimumWidth(Twips(this, kAbortWidthTwips));

  content_ = new QWidget;
  content_->setObjectName("content");
  scroller_ = new QScrollArea;
  scroller_->setObjectName("scroller");
  scroller_->setFrameShape(QFrame::NoFrame);
  scroller_->setWidgetResizable(true);
  scroller_->setWidget(content_);
  auto* whole = new QVBoxLayout(this);
  whole->setContentsMargins(0, 0, 0, 0);
  whole->addWidget(scroller_);
  Arrange(Arrangement::kDesigned);

  setTabOrder(driveList_, pathText_);
  setTabOrder(pathText_, folderList_);
  setTabOrder(folderList_, fileList_);
  setTabOrder(fileList_, processFilesButton_);
  // Drops go to the window, not as text into a box.
  for (QWidget* box :
       std::initializer_list<QWidget*>{pathText_, maskText_, outputFolderText_, logBox_})
    box->setAcceptDrops(false);
}

void MainWindow::Arrange(Arrangement arrangement) {
  // Only the placement goes: the widgets stay the content's children.
  delete content_->layout();
  const int margin = Twips(this, kMarginTwips);
  const int spacing = Twips(this, kSpacingTwips);
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
  switch (arrangement) {
    case Arrangement::kDesigned:
    case Arrangement::kBesideLog: {
      const bool besideLog = arrangement == Arrangement::kBesideLog;
      grid->addWidget(navigatorBlock_, 0, 0);
      grid->addWidget(fileList_, 0, 1);
      grid->addLayout(column({runBlock_, exifBlock_, corruptedFrame_}, tabsBlock_), 0, 2,
                      besideLog ? 2 : 1, 1);
      grid->addWidget(logBox_, 1, 0, 1, besideLog ? 2 : 3);
      grid->setRowStretch(0, 1);
      grid->setColumnStretch(0, kFolderListWidthTwips);
      grid->setColumnStretch(1, kFileListWidthTwips);
      break;
    }
    case Arrangement::kCompact: {
      auto* lists = new QVBoxLayout;
      lists->setSpacing(spacing);
      lists->addWidget(navigatorBlock_, 1);
      lists->addWidget(fileList_, 1);
      grid->addLayout(lists, 0, 0, 2, 1);
      grid->addLayout(column({runBlock_, exifBlock_}, nullptr), 0, 1);
      grid->addWidget(logBox_, 1, 1);
      grid->addLayout(column({corruptedFrame_}, tabsBlock_), 0, 2, 2, 1);
      grid->setRowStretch(1, 1);
      grid->setColumnStretch(0, 1);
      break;
    }
  }
  grid->addWidget(statusBlock_, 2, 0, 1, 3);
  grid->activate();
}

QSize MainWindow::sizeHint() const { return content_->sizeHint(); }

void MainWindow::FitToScreen() {
  const QScreen* shown = screen();
  if (shown == nullptr) return;
  const QRect available = shown->availableGeometry();
  fittedToRealFrame_ = isVisible() && frameGeometry() != geometry();
  const QMargins frame =
      fittedToRealFrame_
          ? QMargins(geometry().left() - frameGeometry().left(),
                     geometry().top() - frameGeometry().top(),
                     frameGeometry().right() - geometry().right(),
                     frameGeometry().bottom() - geometry().bottom())
          : QMargins(Twips(this, kBorderEstimateTwips), Twips(this, kTitleBarEstimateTwips),
                     Twips(this, kBorderEstimateTwips), Twips(this, kBorderEstimateTwips));
  const QSize room = available.size().shrunkBy(frame);
  // Both frames get the size of the larger, so that switching tabs moves nothing else; and
  // the tab labels the height of their captions in the font now chosen.
  const QSize frameSize =
      QSize(Twips(this, kOptionFrameWidthTwips), Twips(this, kOptionFrameHeightTwips))
          .expandedTo(safetyFrame_->minimumSizeHint())
          .expandedTo(targetFrame_->minimumSizeHint());
  for (QGroupBox* tabFrame : {safetyFrame_, targetFrame_}) tabFrame->setMinimumSize(frameSize);
  // The status line is as tall as its buttons need.
  const int statusHeight =
      std::max(Twips(this, kStatusHeightTwips), abortButton_->minimumSizeHint().height());
  for (QWidget* status : std::initializer_list<QWidget*>{statusBar_, abortButton_, aboutButton_})
    status->setFixedHeight(statusHeight);
  ShowTab(targetFrame_->isVisible() ? kTargetTab : kSafetyTab);
  // The first arrangement whose controls all fit; the last one scrolls where none does.
  for (Arrangement arrangement :
       {Arrangement::kDesigned, Arrangement::kBesideLog, Arrangement::kCompact}) {
    Arrange(arrangement);
    const QSize least = content_->minimumSizeHint();
    if (least.width() <= room.width() && least.height() <= room.height()) break;
  }
  const QSize designed = sizeHint();
  const QSize size =
      designed.boundedTo(room).expandedTo(content_->minimumSizeHint().boundedTo(room));
  resize(size);
  if (size == designed && !fittedToRealFrame_) return;  // the window manager places it
  // Inside the free area, title bar first; a window larger than the area hangs off its
  // right and bottom edges rather than its top.
  const QRect framed(pos(), size.grownBy(frame));
  const int left =
      std::max(available.left(), std::min(framed.left(), available.right() + 1 - framed.width()));
  const int top =
      std::max(available.top(), std::min(framed.top(), available.bottom() + 1 - framed.height()));
  if (QPoint(left, top) != pos()) move(left, top);
}

// Once the window manager has framed the window (at once, or on the move that framing makes),
// the window is fitted once more with the frame's real size.
void MainWindow::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (!fittedToRealFrame_ && frameGeometry() != geometry()) FitToScreen();
}

void MainWindow::moveEvent(QMoveEvent* event) {
  QWidget::moveEvent(event);
  if (!fittedToRealFrame_ && isVisible() && frameGeometry() != geometry()) FitToScreen();
}

void MainWindow::ConnectSignals() {
  connect(processFilesButton_, &QPushButton::clicked, this, &MainWindow::RunSelectedFiles);
  connect(processFolderButton_, &QPushButton::clicked, this, &MainWindow::RunFolderTree);
  connect(abortButton_, &QPushButton::clicked, this, &MainWindow::Abort);
  connect(escapeAborts_, &QShortcut::activated, this, &MainWindow::Abort);
  connect(aboutButton_, &QPushButton::clicked, this, &MainWindow::ShowAbout);
  connect(new QShortcut(QKeySequence(Qt::Key_F1), this), &QShortcut::activated, this,
          &MainWindow::ShowAbout);
  connect(pathText_, &QLineEdit::returnPressed, this, &MainWindow::OpenTypedPath);
  connect(pathText_, &QLineEdit::textEdited, this, &MainWindow::OfferCompletions);

  connect(driveList_, &DriveList::driveChanged, this,
          [this] { FollowDrive(*driveList_, *folderList_); });
  connect(folderList_, &FolderList::pathChanged, this, &MainWindow::FolderChanged);
  connect(folderList_, &FolderList::customPathRequested, this, &MainWindow::AskForCustomPath);

  // `toggled` follows every change of the box, the program's as well as the user's.
  connect(logCheck_, &QCheckBox::toggled, this, &MainWindow::LogCheckToggled);
  connect(briefAction_, &QAction::triggered, this, [this] { ChooseLogLevel(kBrief); });
  connect(verboseAction_, &QAction::triggered, this, [this] { ChooseLogLevel(kVerbose); });
  connect(explicitAction_, &QAction::triggered, this, [this] { ChooseLogLevel(kExplicit); });
  connect(openLogAction_, &QAction::triggered, this, &MainWindow::OpenLogFile);
  connect(aboutAction_, &QAction::triggered, this, &MainWindow::ShowAbout);
  connect(logBox_, &LogTextBox::screenDebugRequested, this, &MainWindow::EnableScreenDebug);

  connect(iccCheck_, &IccCheckBox::menuRequested, this, &MainWindow::ShowIccMenu);
  connect(forceIccRemovalAction_, &QAction::triggered, this, &MainWindow::ForceIccRemoval);

  connect(differentFolderCheck_, &QCheckBox::toggled, this, &MainWindow::DifferentFolderToggled);
  connect(chooseOutputButton_, &QToolButton::clicked, this, &MainWindow::ChooseOutputFolder);
  // A click or the access key shows the frame; the key also takes the focus into it.
  for (TabLabel* label : tabLabels_) connect(label, &TabLabel::clicked, this, &MainWindow::ShowTab);
  connect(tabLabels_[kSafetyTab], &TabLabel::clicked, readabilityCheck_,
          [this] { readabilityCheck_->setFocus(Qt::ShortcutFocusReason); });
  connect(tabLabels_[kTargetTab], &TabLabel::clicked, differentFolderCheck_,
          [this] { differentFolderCheck_->setFocus(Qt::ShortcutFocusReason); });

  connect(fadeTimer_, &QTimer::timeout, this, &MainWindow::FadeStep);
  connect(screenWidthTimer_, &QTimer::timeout, this, &MainWindow::WatchScreenWidth);

  // The window sees every key before the focused control does, for the tab shortcuts.
  qApp->installEventFilter(this);
}

// --- Start-up and shut-down --------------------------------------------------------------

std::string MainWindow::LoadSettings() {
  const LoadedSettings loaded = keelpack::LoadSettings(SettingsFilePath(), Options());
  SetControls(loaded.options);
  fontName_ = loaded.options.font;
  charset_ = loaded.options.charset;
  confirmTree_ = loaded.options.confirmTree;
  if (!fontName_.empty()) fontCandidates_.prepend(FromBytes(fontName_));
  if (loaded.logTicked) {
    // Ticked while disabled, so that the user's way of ticking (the menu) does not run.
    logCheck_->setEnabled(false);
    logCheck_->setChecked(true);
    logCheck_->setEnabled(true);
  }
  if (loaded.logLevel) ChooseLogLevel(*loaded.logLevel);
  return loaded.options.lastFolder;
}

void MainWindow::SetControls(const OptionSet& options) {
  exifButtons_[ControlIndex(options.exif)]->setChecked(true);
  iccCheck_->setCheckState(IccState(options.icc));
  keepDpiCheck_->setChecked(options.dpi == 1);
  corruptedButtons_[ControlIndex(options.corrupted)]->setChecked(true);
  nonJpegsCheck_->setChecked(options.nonjpegs == 1);
  maskText_->setText(FromBytes(options.mask));
  differentFolderCheck_->setChecked(options.differentFolder());
  outputFolderText_->setText(FromBytes(options.output));
  readabilityCheck_->setChecked(options.readability == 1);
  slowParsingCheck_->setChecked(options.slow == 1);
  backupsCheck_->setChecked(options.backups == 1);
  optimizeCombo_->setCurrentIndex(ControlIndex(options.optimize));
  uprightCheck_->setChecked(options.upright == 1);
}

void MainWindow::SelectFont() {
  const QStringList families = QFontDatabase::families();
  for (const QString& candidate : fontCandidates_) {
    const auto known = std::find_if(families.begin(), families.end(), [&](const QString& family) {
      return family.compare(candidate, Qt::CaseInsensitive) == 0;
    });
    if (known == families.end()) continue;
    QFont chosen = font();
    chosen.setFamily(*known);
    setFont(chosen);
    // The menus are windows of their own and do not inherit the window's font.
    logMenu_->setFont(chosen);
    iccMenu_->setFont(chosen);
    return;
  }
  // None known: the desktop's own interface font stays. The character set changes nothing
  // on screen, since text is Unicode; it is only kept for the settings file.
}

void MainWindow::closeEvent(QCloseEvent* event) {
  // A run still going stops at its next check; the settings are saved as the controls show.
  session_.RequestCancel();
  SaveSettings(SettingsFilePath(), Options(), session_.log().logLevel());
  // A fade still under way must not show the closed window again.
  fadeTimer_->stop();
  screenWidthTimer_->stop();
  event->accept();
}

// --- The core's front end ------------------------------------------------------------------

void MainWindow::AppendLine(std::string_view line, bool showNewest) {
  logBox_->AppendLine(line, showNewest);
}

void MainWindow::Clear() { logBox_->ClearLines(); }

void MainWindow::SetStatusText(std::string_view text) { statusBar_->setText(FromBytes(text)); }

void MainWindow::ProcessPendingEvents() { QCoreApplication::processEvents(QEventLoop::AllEvents); }

void MainWindow::SetProgressPercent(float percent) { statusBar_->SetPercent(percent); }

OptionSet MainWindow::Options() {
  OptionSet options;
  options.exif = ChoiceAt<ExifOption>(exifButtonGroup_->checkedId());
  options.icc = IccValue(iccCheck_->checkState());
  options.dpi = keepDpiCheck_->isChecked() ? 1 : 0;
  options.corrupted = ChoiceAt<CorruptedChoice>(corruptedButtonGroup_->checkedId());
  options.nonjpegs = nonJpegsCheck_->isChecked() ? 1 : 0;
  options.mask = ToBytes(maskText_->text());
  options.difdir = differentFolderCheck_->isChecked() ? 1 : 0;
  options.output = ToBytes(outputFolderText_->text());
  options.readability = readabilityCheck_->isChecked() ? 1 : 0;
  options.slow = slowParsingCheck_->isChecked() ? 1 : 0;
  options.backups = backupsCheck_->isChecked() ? 1 : 0;
  options.optimize = ChoiceAt<OptimizeChoice>(optimizeCombo_->currentIndex());
  options.upright = uprightCheck_->isChecked() ? 1 : 0;
  options.font = fontName_;
  options.charset = charset_;
  options.confirmTree = confirmTree_;
  options.lastFolder = folderList_->path();
  return options;
}

void MainWindow::SetRunning(RunKind kind, bool running) {
  // A disabled control hands the focus on along the tab order, into the options, where an
  // arrow key would change one unseen. During a run the focus rests on Abort, the one run
  // control that acts; afterwards it goes back to the control that started the run.
  if (running) {
    abortButton_->setEnabled(true);
    abortButton_->setFocus();
  }
  escapeAborts_->setEnabled(running);
  processFilesButton_->setEnabled(!running);
  processFolderButton_->setEnabled(!running);
  // A folder-tree run leaves the file list usable; it only re-reads it at the end.
  if (kind == RunKind::kSelectedFiles) fileList_->setEnabled(!running);
  if (running) {
    setCursor(Qt::WaitCursor);
  } else {
    QWidget* starter = runStarter_ != nullptr ? runStarter_ : fileList_;
    // Unless the user has put the focus elsewhere meanwhile.
    if (focusWidget() == abortButton_ || focusWidget() == nullptr) starter->setFocus();
    runStarter_ = nullptr;
    abortButton_->setEnabled(false);
    unsetCursor();
  }
}

std::string MainWindow::FolderPath() { return folderList_->path(); }

std::vector<FileEntry> MainWindow::FileEntries() { return fileList_->Entries(); }

void MainWindow::RereadFileList() { fileList_->Reread(); }

// --- Runs ------------------------------------------------------------------------------------

void MainWindow::RunSelectedFiles() {
  if (!OutputFolderUsable()) return;
  runStarter_ = processFilesButton_;
  keelpack::RunSelectedFiles(session_);
}

void MainWindow::RunFolderTree() {
  if (!OutputFolderUsable()) return;
  runStarter_ = processFolderButton_;
  keelpack::RunFolderTree(session_);
}

void MainWindow::Abort() { session_.RequestCancel(); }

bool MainWindow::OutputFolderUsable() {
  if (!differentFolderCheck_->isChecked()) return true;
  const std::string output = ToBytes(outputFolderText_->text());
  std::string problem;
  if (output.empty()) {
    problem = "Please choose an output directory, or clear \"Save in different directory\".";
  } else if (output.front() != '/') {
    problem = "The output directory must be a full path: " + output;
  } else {
    // The run makes a missing output folder; the nearest existing one above it must be a folder.
    std::string existing = output;
    while (!platform::Exists(existing)) existing = platform::ParentFolder(existing);
    if (!platform::IsFolder(existing)) problem = "Cannot create the output directory " + output;
  }
  if (problem.empty()) return true;
  ShowTab(kTargetTab);
  outputFolderText_->setFocus(Qt::OtherFocusReason);
  outputFolderText_->selectAll();
  SetStatusText(problem);
  session_.log().AppendScreenLog(problem, kScreenOnly);
  return false;
}

bool MainWindow::ConfirmFolderTree(std::string_view folder, int files) {
  // Output to another folder leaves the files in place as they are.
  if (confirmTree_ == 0 || differentFolderCheck_->isChecked()) return true;
  const QString what =
      QStringLiteral("Rewrite %1 in place in %2 and all its subdirectories, with %3 and %4?")
          .arg(files == 1 ? QStringLiteral("1 file") : QStringLiteral("%1 files").arg(files),
               FromBytes(folder), ExifWords(Options().exif),
               Options().makeBackups() ? QStringLiteral("backups") : QStringLiteral("no backups"));
  QMessageBox box(QMessageBox::Question, windowTitle(), what, QMessageBox::NoButton, this);
  box.setObjectName("confirmTree");
  QPushButton* rewrite = box.addButton(QStringLiteral("&Rewrite"), QMessageBox::AcceptRole);
  QPushButton* cancel = box.addButton(QMessageBox::Cancel);
  // Enter and Escape both keep the files as they are; rewriting takes a deliberate choice.
  box.setDefaultButton(cancel);
  box.setEscapeButton(cancel);
  auto* dontAsk = new QCheckBox(QStringLiteral("&Do not ask again"));
  dontAsk->setObjectName("dontAskCheck");
  box.setCheckBox(dontAsk);
  box.exec();
  if (box.clickedButton() != rewrite) return false;
  // Kept only with a yes: a user who ticks it and then cancels is not left without the question.
  if (dontAsk->isChecked()) confirmTree_ = 0;
  return true;
}

// --- Log controls ----------------------------------------------------------------------------

// The log check box is disabled while its menu is open; that is how this handler and the menu
// commands tell the user's clicks from the program's own changes to the box.
void MainWindow::LogCheckToggled() {
  if (!logCheck_->isEnabled()) return;
  if (!logCheck_->isChecked()) {
    logCheck_->setText(kLogOff);
    session_.log().SetLogLevel(0);
    return;
  }
  // Disabling the box hands the focus on; it comes back when the menu closes.
  const bool hadFocus = focusWidget() == logCheck_;
  logCheck_->setEnabled(false);
  logMenu_->exec(logCheck_->mapToGlobal(QPoint(0, logCheck_->height())));
  // Dismissed, or a command that leaves logging off: clearing the enabled box switches it off.
  if (!logCheck_->isEnabled()) {
    logCheck_->setEnabled(true);
    logCheck_->setChecked(false);
  }
  if (hadFocus) logCheck_->setFocus();
}

void MainWindow::ChooseLogLevel(int level) {
  logCheck_->setEnabled(true);
  logCheck_->setText(kLogCaptions[level]);
  session_.log().SetLogLevel(level);
}

void MainWindow::OpenLogFile() {
  // Cleared while still disabled, so that its handler leaves caption and level alone.
  logCheck_->setChecked(false);
  logCheck_->setEnabled(true);
  platform::OpenInViewer(LogSink::LogFilePath().value_or(""));
}

void MainWindow::ShowAbout() {
  // Modal: returns when the screen has closed. Logging stays off afterwards: the menu leaves
  // the log check box disabled, and it is cleared when the menu closes.
  ShowAboutScreen(this);
}

void MainWindow::EnableScreenDebug() {
  session_.log().AppendScreenLog("Dirty debug enabled!", kScreenOnly);
  session_.log().SetScreenDebug(true);
}

// --- Colour profiles -------------------------------------------------------------------------

void MainWindow::ShowIccMenu() {
  iccMenu_->exec(iccCheck_->mapToGlobal(QPoint(0, iccCheck_->height())));
}

void MainWindow::ForceIccRemoval() { iccCheck_->setCheckState(Qt::PartiallyChecked); }

// --- Output folder and tabs ------------------------------------------------------------------

// Output to a different folder never makes backups: the backups box is disabled (keeping its
// check mark) and the Target label shows in bold while the option is on.
void MainWindow::DifferentFolderToggled(bool checked) {
  backupsCheck_->setEnabled(!checked);
  // Only the weight is the label's own; the family and size follow the window's font.
  QFont weight;
  weight.setBold(checked);
  tabLabels_[kTargetTab]->setFont(weight);
}

void MainWindow::ShowTab(int index) {
  safetyFrame_->hide();
  targetFrame_->hide();
  // The designed heights, unless a large font needs more: a caption is never cut.
  int lowered = Twips(this, kLoweredTabTwips);
  for (const TabLabel* label : tabLabels_) lowered = std::max(lowered, label->sizeHint().height());
  const int raised = std::max(Twips(this, kRaisedTabTwips), lowered + Twips(this, kTabRiseTwips));
  for (int i : {kSafetyTab, kTargetTab}) {
    tabLabels_[i]->setFixedHeight(i == index ? raised : lowered);
    tabLabels_[i]->SetRaised(i == index);
  }
  (index == kSafetyTab ? safetyFrame_ : targetFrame_)->show();
}

void MainWindow::ChooseOutputFolder() {
  OutputFolderDialog chooser(this);
  if (chooser.exec() != QDialog::Accepted) return;
  outputFolderText_->setText(FromBytes(chooser.FolderPath()));
  outputFolderText_->end(false);
  differentFolderCheck_->setChecked(true);
}

// The shortcuts are armed by any key that goes down with Ctrl alone held, and disarmed only
// by a key released with Alt alone held.
void MainWindow::HandleTabShortcutKeys(QEvent* event) {
  const auto& key = static_cast<const QKeyEvent&>(*event);
  if (event->type() == QEvent::KeyRelease) {
    if (ShiftState(key) == Qt::AltModifier) tabShortcutsArmed_ = false;
    return;
  }
  if (ShiftState(key) == Qt::ControlModifier) tabShortcutsArmed_ = true;
  if (!tabShortcutsArmed_) return;
  const int code = CharacterCode(key);
  if (code == kCtrlS) ShowTab(kSafetyTab);
  if (code == kCtrlT) ShowTab(kTargetTab);
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
  if ((event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease) &&
      watched->isWidgetType() && static_cast<QWidget*>(watched)->window() == this) {
    // A key that the focused control ignores travels up to its parents and passes here again;
    // the handling gives the same result however often it runs.
    HandleTabShortcutKeys(event);
    const auto& key = static_cast<const QKeyEvent&>(*event);
    const bool enter = key.key() == Qt::Key_Return || key.key() == Qt::Key_Enter;
    if (event->type() == QEvent::KeyPress && watched == focusWidget() &&
        key.modifiers() == Qt::NoModifier) {
      // Enter presses the focused button, as Space does.
      auto* button = qobject_cast<QAbstractButton*>(watched);
      if (enter && button != nullptr &&
          (qobject_cast<QPushButton*>(button) || qobject_cast<QToolButton*>(button))) {
        button->animateClick();
        return true;
      }
      // Escape in the path field gives up what was typed.
      if (watched == pathText_ && key.key() == Qt::Key_Escape &&
          pathCompleter_->popup()->isHidden()) {
        pathText_->setText(FromBytes(folderList_->path()));
        return true;
      }
    }
  }
  return false;  // the focused control receives the key as well
}

// --- Navigation ------------------------------------------------------------------------------

void MainWindow::FolderChanged() {
  fileList_->SetFolder(folderList_->path());
  const QString folder = FromBytes(folderList_->path());
  pathText_->setText(folder);
  // The run works on the open folder, whatever entry is highlighted; the tip says which.
  processFolderButton_->setToolTip(
      QStringLiteral(
          "Recurses the directory open in the left panel, %1, and all its subdirectories.")
          .arg(folder));
}

void MainWindow::OpenStartFolder(const QStringList& startPaths, const std::string& lastFolder) {
  const std::string here = platform::CurrentFolder().value_or("/");
  if (!startPaths.isEmpty() && OpenPaths(startPaths, here)) return;
  const std::string pictures =
      ToBytes(QStandardPaths::writableLocation(QStandardPaths::PicturesLocation));
  for (const std::string& folder :
       {lastFolder, pictures, ToBytes(QDir::homePath()), std::string("/")}) {
    if (!folder.empty() && folder.front() == '/' && folderList_->setPath(folder)) break;
  }
  driveList_->ShowDriveOf(folderList_->path());
}

bool MainWindow::OpenPaths(const QStringList& paths, const std::string& base) {
  if (paths.isEmpty()) return false;
  const std::string first = CleanFolderPath(ExpandHome(paths.front()), base);
  if (platform::IsFolder(first)) {
    if (!folderList_->setPath(first)) return false;
    driveList_->ShowDriveOf(folderList_->path());
    return true;
  }
  if (!platform::IsRegularFile(first)) return false;
  const std::string folder = platform::ParentFolder(first);
  if (!folderList_->setPath(folder)) return false;
  driveList_->ShowDriveOf(folderList_->path());
  std::vector<std::string> names;
  for (const QString& path : paths) {
    const std::string file = CleanFolderPath(ExpandHome(path), base);
    if (platform::ParentFolder(file) == folder)
      names.push_back(file.substr(folder == "/" ? 1 : folder.size() + 1));
  }
  fileList_->Select(names);
  fileList_->setFocus(Qt::OtherFocusReason);
  return true;
}

void MainWindow::OpenTypedPath() {
  const std::string typed = ToBytes(pathText_->text());
  if (OpenPaths({pathText_->text()}, folderList_->path())) return;
  SetStatusText("Cannot open directory " + typed);
  pathText_->selectAll();
}

// The path field offers the subfolders of the folder typed so far, read once per folder.
void MainWindow::OfferCompletions(const QString& typed) {
  const qsizetype slash = typed.lastIndexOf(QLatin1Char('/'));
  if (slash < 0) return;
  const QString typedFolder = typed.left(slash + 1);
  const std::string folder = ExpandHome(typedFolder);
  if (folder == completedFolder_) return;
  completedFolder_ = folder;
  QStringList offers;
  if (auto subfolders = platform::ListSubfolders(folder)) {
    SortNaturally(*subfolders);
    // Offered as typed, "~/" included.
    for (const std::string& subfolder : *subfolders)
      offers << typedFolder + FromBytes(subfolder).section(QLatin1Char('/'), -1);
  }
  pathCompletions_->setStringList(offers);
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event) {
  const QList<QUrl> urls = event->mimeData()->urls();
  const bool photos = std::any_of(urls.begin(), urls.end(), [](const QUrl& url) {
    const std::string path = ToBytes(url.toLocalFile());
    return url.isLocalFile() &&
           (platform::IsFolder(path) || platform::MatchesPatterns(path, platform::kJpegPatterns));
  });
  if (photos) event->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent* event) {
  QStringList paths;
  for (const QUrl& url : event->mimeData()->urls()) {
    if (url.isLocalFile()) paths << url.toLocalFile();
  }
  if (OpenPaths(paths, folderList_->path())) event->acceptProposedAction();
  activateWindow();
}

void MainWindow::AskForCustomPath() {
  const QString answer = QInputDialog::getText(
      this, windowTitle(), QStringLiteral("Enter custom path (network or hidden directory):"));
  if (answer.isEmpty()) return;
  // A path that cannot be opened leaves the folder list where it was; the drive list follows
  // the folder list without opening the drive, so that the typed folder stays open.
  folderList_->setPath(ExpandHome(answer));
  driveList_->ShowDriveOf(folderList_->path());
  folderList_->setFocus();
}

// --- Window effects --------------------------------------------------------------------------

void MainWindow::FadeStep() {
  bool last = false;
  const int alpha = fade_.Step(last);
  if (last) fadeTimer_->stop();
  translucency_.Apply(*this, alpha);
  setVisible(true);
}

// Once half a second after start and after every change of the screen's width, the window is
// nudged down and back so that it repaints cleanly.
void MainWindow::WatchScreenWidth() {
  const QScreen* shown = screen();
  if (shown == nullptr) return;
  const int width = static_cast<int>(std::lround(shown->geometry().width() * kTwipsPerPixelAt96Dpi *
                                                 kReferenceDpi / shown->logicalDotsPerInchX()));
  if (width == lastScreenWidth_) return;
  update();
  const QPoint at = pos();
  move(at.x(), at.y() + Twips(this, kNudgeTwips));
  move(at);
  lastScreenWidth_ = width;
}

}  // namespace keelpack::ui
