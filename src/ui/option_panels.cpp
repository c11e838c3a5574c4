#include "ui/option_panels.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QRadioButton>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>

#include "log/log_sink.h"
#include "platform/files.h"
#include "ui/named.h"
#include "ui/option_widgets.h"
#include "ui/output_folder_dialog.h"
#include "ui/text.h"
#include "ui/twips.h"

namespace keelpack::ui {
namespace {

const QString kLogOff = QStringLiteral("L&og...");
// The log check box's caption for each log level; level 0 is "Log...".
const std::array<QString, 4> kLogCaptions = {kLogOff, QStringLiteral("L&og (Brief)"),
                                             QStringLiteral("L&og (Verbose)"),
                                             QStringLiteral("L&og (Explicit)")};

// The designed sizes of the panels' controls, in twips.
constexpr int kOutputRowHeightTwips = 285;
constexpr int kChooseButtonWidthTwips = 375;
constexpr int kOptionFrameWidthTwips = 2895;
constexpr int kOptionFrameHeightTwips = 1575;
constexpr int kTargetGapTwips = 120;
constexpr int kTabIndentTwips = 90;
constexpr int kRaisedTabTwips = 280;
constexpr int kOpeningRaisedTabTwips = 285;
constexpr int kLoweredTabTwips = 255;
constexpr int kTabWidthTwips = 735;
// The raised tab stands this much taller than the lowered one, whatever the font.
constexpr int kTabRiseTwips = 25;

// Character codes that Ctrl with a letter types: Ctrl+S is 19, Ctrl+T is 20.
constexpr int kCtrlS = 19;
constexpr int kCtrlT = 20;

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

}  // namespace

// --- Exif ------------------------------------------------------------------------------------

ExifPanel::ExifPanel(QWidget* parent) : QWidget(parent) {
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
  for (int i = 0; i < 3; ++i) exifButtonGroup_->addButton(exifButtons_[i], i);
  exifButtons_[ControlIndex(ExifChoice::kReduce)]->setChecked(true);
  keepDpiCheck_ =
      MakeCheck(QStringLiteral("Keep D&PI"), "dpiCheck",
                QStringLiteral("Useful for printing CD booklets. Printing software will "
                               "maintain original size on paper."));
  iccCheck_ =
      Named(new IccCheckBox(QStringLiteral("Keep embedded &ICC (for custom profiles)")), "iccCheck",
            QStringLiteral("Clear: Auto, Check: Keep all, Grayed (right click): Force Remove "
                           "(only for files reported by Photoshop as bad)"));

  auto* exifLayout = new QVBoxLayout(exifFrame_);
  for (QRadioButton* option : exifButtons_) exifLayout->addWidget(option);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(Twips(this, kWindowSpacingTwips));
  for (QWidget* control : std::initializer_list<QWidget*>{exifFrame_, keepDpiCheck_, iccCheck_})
    layout->addWidget(control);
}

void ExifPanel::SetOptions(const OptionSet& options) {
  exifButtons_[ControlIndex(options.exif)]->setChecked(true);
  iccCheck_->setCheckState(IccState(options.icc));
  keepDpiCheck_->setChecked(options.dpi == 1);
}

void ExifPanel::ReadOptions(OptionSet& options) const {
  options.exif = ChoiceAt<ExifChoice>(exifButtonGroup_->checkedId());
  options.icc = IccValue(iccCheck_->checkState());
  options.dpi = keepDpiCheck_->isChecked() ? 1 : 0;
}

// --- Corrupted images ------------------------------------------------------------------------

CorruptedPanel::CorruptedPanel(QWidget* parent)
    : QGroupBox(QStringLiteral("Corrupted images"), parent) {
  setObjectName("corFrame");
  corruptedButtons_ = {
      MakeOption(QStringLiteral("I&gnore"), "corOption0",
                 QStringLiteral("This will leave the bad file unchanged in place.")),
      MakeOption(QStringLiteral("De&lete"), "corOption1",
                 QStringLiteral("Assume irrecoverable JPEGs if blocks are damaged.")),
      MakeOption(QStringLiteral("Re&name to"), "corOption2",
                 QStringLiteral("Recommended. Search for these later and try to fix them. First "
                                "asterisk is replaced with filename, the other with extension."))};
  corruptedButtonGroup_ = new QButtonGroup(this);
  for (int i = 0; i < 3; ++i) corruptedButtonGroup_->addButton(corruptedButtons_[i], i);
  corruptedButtons_[ControlIndex(CorruptedChoice::kRename)]->setChecked(true);
  maskText_ = Named(new QLineEdit(QString::fromUtf8(kDefaultMask)), "corren");
  // Drops go to the window, not as text into the box.
  maskText_->setAcceptDrops(false);
  nonJpegsCheck_ =
      MakeCheck(QStringLiteral("non-&JPEGs"), "evenCheck",
                QStringLiteral("The program protects other formats having a JPG extension by "
                               "accident by default. Check this to delete such files."));

  auto* layout = new QGridLayout(this);
  layout->addWidget(corruptedButtons_[ControlIndex(CorruptedChoice::kIgnore)], 0, 0, 1, 2);
  layout->addWidget(corruptedButtons_[ControlIndex(CorruptedChoice::kDelete)], 1, 0, 1, 2);
  layout->addWidget(corruptedButtons_[ControlIndex(CorruptedChoice::kRename)], 2, 0);
  layout->addWidget(maskText_, 2, 1);
  layout->addWidget(nonJpegsCheck_, 3, 0, 1, 2);
  layout->setColumnStretch(1, 1);
}

void CorruptedPanel::SetOptions(const OptionSet& options) {
  corruptedButtons_[ControlIndex(options.corrupted)]->setChecked(true);
  nonJpegsCheck_->setChecked(options.includeNonJpegs == 1);
  maskText_->setText(FromBytes(options.mask));
}

void CorruptedPanel::ReadOptions(OptionSet& options) const {
  options.corrupted = ChoiceAt<CorruptedChoice>(corruptedButtonGroup_->checkedId());
  options.includeNonJpegs = nonJpegsCheck_->isChecked() ? 1 : 0;
  options.mask = ToBytes(maskText_->text());
}

// --- Safety and Target tabs ------------------------------------------------------------------

OptionTabs::OptionTabs(QWidget* parent) : QWidget(parent) {
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
  // Drops go to the window, not as text into the box.
  outputFolderText_->setAcceptDrops(false);
  chooseOutputButton_ = Named(new QToolButton, "chooseCommand", QStringLiteral("Choose Directory"));
  chooseOutputButton_->setIcon(style()->standardIcon(QStyle::SP_DirOpenIcon));
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

  CreateMenu();
  LayOutControls();
  ConnectSignals();
}

void OptionTabs::CreateMenu() {
  logMenu_ = new QMenu(QStringLiteral("Log"), this);
  logMenu_->setObjectName("logtop");
  connect(Named(logMenu_->addAction(QStringLiteral("Brief")), "logbrief"), &QAction::triggered,
          this, [this] { ChooseLogLevel(kBrief); });
  connect(Named(logMenu_->addAction(QStringLiteral("Verbose")), "logverb"), &QAction::triggered,
          this, [this] { ChooseLogLevel(kVerbose); });
  connect(Named(logMenu_->addAction(QStringLiteral("Explicit")), "logexp"), &QAction::triggered,
          this, [this] { ChooseLogLevel(kExplicit); });
  logMenu_->addSeparator();
  connect(Named(logMenu_->addAction(QStringLiteral("Open")), "logopen"), &QAction::triggered, this,
          &OptionTabs::ChooseOpenLog);
  logMenu_->addSeparator();
  connect(Named(logMenu_->addAction(QStringLiteral("About...")), "aboutmenu"), &QAction::triggered,
          this, &OptionTabs::aboutRequested);
}

void OptionTabs::LayOutControls() {
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
  auto* tabs = new QGridLayout(this);
  tabs->setContentsMargins(0, 0, 0, 0);
  tabs->setSpacing(0);
  for (QGroupBox* frame : {safetyFrame_, targetFrame_}) tabs->addWidget(frame, 0, 0);
  auto* tabStrip = new QHBoxLayout;
  tabStrip->setSpacing(0);
  tabStrip->setContentsMargins(Twips(this, kTabIndentTwips), 0, 0, 0);
  for (TabLabel* label : tabLabels_) tabStrip->addWidget(label, 0, Qt::AlignTop);
  tabStrip->addStretch(1);
  tabs->addLayout(tabStrip, 1, 0);
}

void OptionTabs::ConnectSignals() {
  // `toggled` follows every change of the box, the program's as well as the user's.
  connect(logCheck_, &QCheckBox::toggled, this, &OptionTabs::LogCheckToggled);
  connect(differentFolderCheck_, &QCheckBox::toggled, this, &OptionTabs::DifferentFolderToggled);
  connect(chooseOutputButton_, &QToolButton::clicked, this, &OptionTabs::ChooseOutputFolder);
  // A click or the access key shows the frame; the key also takes the focus into it.
  for (TabLabel* label : tabLabels_) connect(label, &TabLabel::clicked, this, &OptionTabs::ShowTab);
  connect(tabLabels_[kSafetyTab], &TabLabel::clicked, readabilityCheck_,
          [this] { readabilityCheck_->setFocus(Qt::ShortcutFocusReason); });
  connect(tabLabels_[kTargetTab], &TabLabel::clicked, differentFolderCheck_,
          [this] { differentFolderCheck_->setFocus(Qt::ShortcutFocusReason); });
}

void OptionTabs::SetOptions(const OptionSet& options) {
  differentFolderCheck_->setChecked(options.differentFolder());
  outputFolderText_->setText(FromBytes(options.output));
  readabilityCheck_->setChecked(options.readability == 1);
  slowParsingCheck_->setChecked(options.slow == 1);
  backupsCheck_->setChecked(options.backups == 1);
  optimizeCombo_->setCurrentIndex(ControlIndex(options.optimize));
  uprightCheck_->setChecked(options.upright == 1);
}

void OptionTabs::ReadOptions(OptionSet& options) const {
  options.saveInDifferentFolder = differentFolderCheck_->isChecked() ? 1 : 0;
  options.output = ToBytes(outputFolderText_->text());
  options.readability = readabilityCheck_->isChecked() ? 1 : 0;
  options.slow = slowParsingCheck_->isChecked() ? 1 : 0;
  options.backups = backupsCheck_->isChecked() ? 1 : 0;
  options.optimize = ChoiceAt<OptimizeChoice>(optimizeCombo_->currentIndex());
  options.upright = uprightCheck_->isChecked() ? 1 : 0;
}

void OptionTabs::SetLogState(bool ticked, std::optional<int> level) {
  if (ticked) {
    // Ticked while disabled, so that the user's way of ticking (the menu) does not run.
    logCheck_->setEnabled(false);
    logCheck_->setChecked(true);
    logCheck_->setEnabled(true);
  }
  if (level) ChooseLogLevel(*level);
}

std::string OptionTabs::OutputFolderProblem() const {
  if (!differentFolderCheck_->isChecked()) return {};
  const std::string output = ToBytes(outputFolderText_->text());
  if (output.empty()) {
    return "Please choose an output directory, or clear \"Save in different directory\".";
  }
  if (output.front() != '/') return "The output directory must be a full path: " + output;
  // The run makes a missing output folder; the nearest existing one above it must be a folder.
  std::string existing = output;
  while (!platform::Exists(existing)) existing = platform::ParentFolder(existing);
  if (!platform::IsFolder(existing)) return "Cannot create the output directory " + output;
  return {};
}

void OptionTabs::PointAtOutputFolder() {
  ShowTab(kTargetTab);
  outputFolderText_->setFocus(Qt::OtherFocusReason);
  outputFolderText_->selectAll();
}

void OptionTabs::FitToFont() {
  const QSize frameSize =
      QSize(Twips(this, kOptionFrameWidthTwips), Twips(this, kOptionFrameHeightTwips))
          .expandedTo(safetyFrame_->minimumSizeHint())
          .expandedTo(targetFrame_->minimumSizeHint());
  for (QGroupBox* tabFrame : {safetyFrame_, targetFrame_}) tabFrame->setMinimumSize(frameSize);
  ShowTab(targetFrame_->isVisible() ? kTargetTab : kSafetyTab);
}

// The shortcuts are armed by any key that goes down with Ctrl alone held, and disarmed only
// by a key released with Alt alone held.
void OptionTabs::HandleShortcutKey(const QKeyEvent& key) {
  if (key.type() == QEvent::KeyRelease) {
    if (ShiftState(key) == Qt::AltModifier) shortcutsArmed_ = false;
    return;
  }
  if (ShiftState(key) == Qt::ControlModifier) shortcutsArmed_ = true;
  if (!shortcutsArmed_) return;
  const int code = CharacterCode(key);
  if (code == kCtrlS) ShowTab(kSafetyTab);
  if (code == kCtrlT) ShowTab(kTargetTab);
}

void OptionTabs::ShowTab(int index) {
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

// The log check box is disabled while its menu is open; that is how this handler and the menu
// commands tell the user's clicks from the program's own changes to the box.
void OptionTabs::LogCheckToggled() {
  if (!logCheck_->isEnabled()) return;
  if (!logCheck_->isChecked()) {
    logCheck_->setText(kLogOff);
    emit logLevelChosen(0);
    return;
  }
  // Disabling the box hands the focus on; it comes back when the menu closes.
  const bool hadFocus = window()->focusWidget() == logCheck_;
  logCheck_->setEnabled(false);
  logMenu_->exec(logCheck_->mapToGlobal(QPoint(0, logCheck_->height())));
  // Dismissed, or a command that leaves logging off: clearing the enabled box switches it off.
  if (!logCheck_->isEnabled()) {
    logCheck_->setEnabled(true);
    logCheck_->setChecked(false);
  }
  if (hadFocus) logCheck_->setFocus();
}

void OptionTabs::ChooseLogLevel(int level) {
  logCheck_->setEnabled(true);
  logCheck_->setText(kLogCaptions[level]);
  emit logLevelChosen(level);
}

void OptionTabs::ChooseOpenLog() {
  // Cleared while still disabled, so that its handler leaves caption and level alone.
  logCheck_->setChecked(false);
  logCheck_->setEnabled(true);
  emit openLogRequested();
}

// Output to a different folder never makes backups: the backups box is disabled (keeping its
// check mark) and the Target label shows in bold while the option is on.
void OptionTabs::DifferentFolderToggled(bool checked) {
  backupsCheck_->setEnabled(!checked);
  // Only the weight is the label's own; the family and size follow the window's font.
  QFont weight;
  weight.setBold(checked);
  tabLabels_[kTargetTab]->setFont(weight);
}

void OptionTabs::ChooseOutputFolder() {
  OutputFolderDialog chooser(window());
  if (chooser.exec() != QDialog::Accepted) return;
  outputFolderText_->setText(FromBytes(chooser.FolderPath()));
  outputFolderText_->end(false);
  differentFolderCheck_->setChecked(true);
}

}  // namespace keelpack::ui
