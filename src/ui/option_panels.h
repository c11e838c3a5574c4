#pragma once

#include <QGroupBox>
#include <QWidget>
#include <array>
#include <optional>
#include <string>

#include "settings/option_set.h"

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QKeyEvent;
class QLineEdit;
class QMenu;
class QRadioButton;
class QToolButton;

// The main window's option panels. Each one shows its part of the option set: SetOptions puts
// the values into its controls, ReadOptions takes them out again. Every control's Qt object
// name is the design's name for it. Each Alt+letter does one thing in the whole window: no two
// controls share an access key. Free for later controls: M, Q, X, Y, Z.

namespace keelpack::ui {

class IccCheckBox;
class TabLabel;

// The Exif choice, and under it the boxes for the resolution and the colour profile.
class ExifPanel : public QWidget {
  Q_OBJECT

 public:
  explicit ExifPanel(QWidget* parent = nullptr);

  void SetOptions(const OptionSet& options);
  void ReadOptions(OptionSet& options) const;

 private:
  QGroupBox* exifFrame_;
  std::array<QRadioButton*, 3> exifButtons_;  // design: exifOption
  QButtonGroup* exifButtonGroup_;
  QCheckBox* keepDpiCheck_;  // design: dpiCheck
  IccCheckBox* iccCheck_;
};

// "Corrupted images": what becomes of damaged files and of non-JPEG files with a JPEG name.
// design: corFrame
class CorruptedPanel : public QGroupBox {
  Q_OBJECT

 public:
  explicit CorruptedPanel(QWidget* parent = nullptr);

  void SetOptions(const OptionSet& options);
  void ReadOptions(OptionSet& options) const;

 private:
  std::array<QRadioButton*, 3> corruptedButtons_;  // design: corOption
  QButtonGroup* corruptedButtonGroup_;
  QLineEdit* maskText_;       // design: corren
  QCheckBox* nonJpegsCheck_;  // design: evenCheck
};

// The Safety and Target tabs: two frames in one place, with the tab labels under them that
// switch between them, as Ctrl+S and Ctrl+T do. The log check box on the Safety tab chooses
// the log level through its menu; with "Save in different directory" on, the Target label
// is bold and no backups are made.
class OptionTabs : public QWidget {
  Q_OBJECT

 public:
  explicit OptionTabs(QWidget* parent = nullptr);

  void SetOptions(const OptionSet& options);
  void ReadOptions(OptionSet& options) const;
  // As the settings file left it: the log check box ticked or not, and the level if one was
  // chosen. Ticking it this way does not open its menu.
  void SetLogState(bool ticked, std::optional<int> level);

  // With "Save in different directory" on, a run needs an output folder it can use: what is
  // wrong with the one given, or empty when nothing is.
  std::string OutputFolderProblem() const;
  // Brings the Target tab forward with the output folder selected, for the user to correct.
  void PointAtOutputFolder();

  // Both frames get the size of the larger, so that switching tabs moves nothing else, and
  // the tab labels the height of their captions in the window's font.
  void FitToFont();

  // The tab shortcuts, given every key press and release of the window before its control.
  void HandleShortcutKey(const QKeyEvent& key);

 signals:
  // The user switched the log file off (0) or chose a level from the log menu (1 to 3).
  void logLevelChosen(int level);
  void openLogRequested();
  void aboutRequested();

 private slots:
  void ShowTab(int index);
  void LogCheckToggled();
  void ChooseLogLevel(int level);
  void ChooseOpenLog();
  void DifferentFolderToggled(bool checked);
  void ChooseOutputFolder();

 private:
  // The tab labels' indices.
  static constexpr int kSafetyTab = 0;
  static constexpr int kTargetTab = 1;

  void CreateMenu();
  void LayOutControls();
  void ConnectSignals();

  bool shortcutsArmed_ = false;  // Ctrl+S and Ctrl+T switch tabs; design: ctrlArmed

  QGroupBox* safetyFrame_;
  QCheckBox* readabilityCheck_;  // design: readCheck
  QCheckBox* slowParsingCheck_;  // design: slowCheck
  QCheckBox* backupsCheck_;      // design: bakCheck
  QCheckBox* logCheck_;
  QGroupBox* targetFrame_;
  QCheckBox* differentFolderCheck_;     // design: difdirCheck
  QLineEdit* outputFolderText_;         // design: newdirText
  QToolButton* chooseOutputButton_;     // design: chooseCommand
  QComboBox* optimizeCombo_;            // the `optimize` option, its value the item index
  QCheckBox* uprightCheck_;             // the `upright` option
  std::array<TabLabel*, 2> tabLabels_;  // design: tabLabel

  QMenu* logMenu_;  // design: logtop
};

}  // namespace keelpack::ui
