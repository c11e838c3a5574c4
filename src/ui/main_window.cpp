#include "ui/main_window.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QCompleter>
#include <QDir>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QMoveEvent>
#include <QPainter>
#include <QPushButton>
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
#include "ui/log_text_box.h"
#include "ui/named.h"
#include "ui/natural_order.h"
#include "ui/option_panels.h"
#include "ui/progress_status_bar.h"
#include "ui/text.h"
#include "ui/translucency.h"
#include "ui/twips.h"
#include "ui/window_arrangement.h"
#include "version.h"

namespace keelpack::ui {
namespace {

const QStringList kFontCandidates = {"tahoma",   "arial ce",    "segoe ui", "trebuchet ms",
                                     "freesans", "lucida sans", "arial"};

// The designed sizes of the window's own controls, in twips.
constexpr int kRunButtonHeightTwips = 480;
constexpr int kAbortWidthTwips = 1200;
constexpr int kStatusHeightTwips = 375;

// Until the window manager has framed the window, its frame is taken to be a title bar and
// thin borders of these sizes.
constexpr int kTitleBarEstimateTwips = 450;
constexpr int kBorderEstimateTwips = 60;

constexpr int kFadeIntervalMs = 5;
constexpr int kScreenWatchIntervalMs = 500;
constexpr int kNudgeTwips = 30;

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

QString ExifWords(ExifChoice exif) {
  switch (exif) {
    case ExifChoice::kKeep:
      return QStringLiteral("Exif kept as it is");
    case ExifChoice::kReduce:
      return QStringLiteral("Exif reduced");
    case ExifChoice::kDelete:
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
  // Drops go to the window, not as text into a box.
  for (QWidget* box : std::initializer_list<QWidget*>{pathText_, logBox_})
    box->setAcceptDrops(false);
  exifPanel_ = new ExifPanel;
  corruptedPanel_ = new CorruptedPanel;
  optionTabs_ = new OptionTabs;

  fadeTimer_ = new QTimer(this);
  fadeTimer_->setObjectName("transTimer1");
  fadeTimer_->setInterval(kFadeIntervalMs);
  screenWidthTimer_ = new QTimer(this);
  screenWidthTimer_->setObjectName("winfixTimer");
  screenWidthTimer_->setInterval(kScreenWatchIntervalMs);
}

void MainWindow::LayOutControls() {
  const int spacing = Twips(this, kWindowSpacingTwips);
  QWidget* navigator = Block({driveList_, pathText_, folderList_}, spacing / 2);
  static_cast<QBoxLayout*>(navigator->layout())->setStretch(2, 1);
  QWidget* runButtons = Block({processFilesButton_, processFolderButton_}, spacing);
  QWidget* status = Block({statusBar_, abortButton_, aboutButton_}, spacing, true);
  static_cast<QBoxLayout*>(status->layout())->setStretch(0, 1);
  abortButton_->setMinimumWidth(Twips(this, kAbortWidthTwips));

  content_ = new QWidget;
  content_->setObjectName("content");
  auto* scroller = new QScrollArea;
  scroller->setObjectName("scroller");
  scroller->setFrameShape(QFrame::NoFrame);
  scroller->setWidgetResizable(true);
  scroller->setWidget(content_);
  auto* whole = new QVBoxLayout(this);
  whole->setContentsMargins(0, 0, 0, 0);
  whole->addWidget(scroller);
  arrangement_ =
      std::make_unique<WindowArrangement>(content_, WindowBlocks{.navigator = navigator,
                                                                 .fileList = fileList_,
                                                                 .runButtons = runButtons,
                                                                 .exif = exifPanel_,
                                                                 .corrupted = corruptedPanel_,
                                                                 .tabs = optionTabs_,
                                                                 .log = logBox_,
                                                                 .status = status});

  setTabOrder(driveList_, pathText_);
  setTabOrder(pathText_, folderList_);
  setTabOrder(folderList_, fileList_);
  setTabOrder(fileList_, processFilesButton_);
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
  optionTabs_->FitToFont();
  // The status line is as tall as its buttons need.
  const int statusHeight =
      std::max(Twips(this, kStatusHeightTwips), abortButton_->minimumSizeHint().height());
  for (QWidget* status : std::initializer_list<QWidget*>{statusBar_, abortButton_, aboutButton_})
    status->setFixedHeight(statusHeight);
  arrangement_->ArrangeToFit(room);
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

  connect(optionTabs_, &OptionTabs::logLevelChosen, this, &MainWindow::SetLogLevel);
  connect(optionTabs_, &OptionTabs::openLogRequested, this, &MainWindow::OpenLogFile);
  connect(optionTabs_, &OptionTabs::aboutRequested, this, &MainWindow::ShowAbout);
  connect(logBox_, &LogTextBox::screenDebugRequested, this, &MainWindow::EnableScreenDebug);

  connect(fadeTimer_, &QTimer::timeout, this, &MainWindow::FadeStep);
  connect(screenWidthTimer_, &QTimer::timeout, this, &MainWindow::WatchScreenWidth);

  // The window sees every key before the focused control does, for the tab shortcuts.
  qApp->installEventFilter(this);
}

// --- Start-up and shut-down --------------------------------------------------------------

std::string MainWindow::LoadSettings() {
  const LoadedSettings loaded = keelpack::LoadSettings(SettingsFilePath(), Options());
  exifPanel_->SetOptions(loaded.options);
  corruptedPanel_->SetOptions(loaded.options);
  optionTabs_->SetOptions(loaded.options);
  fontName_ = loaded.options.font;
  charset_ = loaded.options.charset;
  confirmTree_ = loaded.options.confirmTree;
  if (!fontName_.empty()) fontCandidates_.prepend(FromBytes(fontName_));
  optionTabs_->SetLogState(loaded.logTicked, loaded.logLevel);
  return loaded.options.lastFolder;
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
    for (QMenu* menu : findChildren<QMenu*>()) menu->setFont(chosen);
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
  exifPanel_->ReadOptions(options);
  corruptedPanel_->ReadOptions(options);
  optionTabs_->ReadOptions(options);
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

void MainWindow::FilesChanged() { fileList_->Reread(); }

// --- Runs ------------------------------------------------------------------------------------

void MainWindow::RunSelectedFiles() {
  if (!OutputFolderUsable()) return;
  runStarter_ = processFilesButton_;
  keelpack::RunSelectedFiles(session_, {folderList_->path(), fileList_->SelectedNames()});
}

void MainWindow::RunFolderTree() {
  if (!OutputFolderUsable()) return;
  runStarter_ = processFolderButton_;
  keelpack::RunFolderTree(session_, folderList_->path());
}

void MainWindow::Abort() { session_.RequestCancel(); }

bool MainWindow::OutputFolderUsable() {
  const std::string problem = optionTabs_->OutputFolderProblem();
  if (problem.empty()) return true;
  optionTabs_->PointAtOutputFolder();
  SetStatusText(problem);
  session_.log().AppendScreenLog(problem, kScreenOnly);
  return false;
}

bool MainWindow::ConfirmFolderTree(std::string_view folder, int files) {
  const OptionSet options = Options();
  // Output to another folder leaves the files in place as they are.
  if (confirmTree_ == 0 || options.differentFolder()) return true;
  const QString what =
      QStringLiteral("Rewrite %1 in place in %2 and all its subdirectories, with %3 and %4?")
          .arg(files == 1 ? QStringLiteral("1 file") : QStringLiteral("%1 files").arg(files),
               FromBytes(folder), ExifWords(options.exif),
               options.makeBackups() ? QStringLiteral("backups") : QStringLiteral("no backups"));
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

void MainWindow::SetLogLevel(int level) { session_.log().SetLogLevel(level); }

void MainWindow::OpenLogFile() { platform::OpenInViewer(LogSink::LogFilePath().value_or("")); }

void MainWindow::ShowAbout() {
  // Modal: returns when the screen has closed. Logging stays off afterwards: the menu leaves
  // the log check box disabled, and it is cleared when the menu closes.
  ShowAboutScreen(this);
}

void MainWindow::EnableScreenDebug() {
  session_.log().AppendScreenLog("Dirty debug enabled!", kScreenOnly);
  session_.log().SetScreenDebug(true);
}

// --- Keys ------------------------------------------------------------------------------------

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
  if ((event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease) &&
      watched->isWidgetType() && static_cast<QWidget*>(watched)->window() == this) {
    // A key that the focused control ignores travels up to its parents and passes here again;
    // the handling gives the same result however often it runs.
    const auto& key = static_cast<const QKeyEvent&>(*event);
    optionTabs_->HandleShortcutKey(key);
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
