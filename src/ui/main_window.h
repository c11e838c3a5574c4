#pragma once

#include <QStringList>
#include <QWidget>
#include <array>
#include <string>

#include "runs/front_end.h"
#include "runs/session.h"
#include "ui/window_effects.h"

class QAction;
class QButtonGroup;
class QCheckBox;
class QComboBox;
class QCompleter;
class QGroupBox;
class QLineEdit;
class QMenu;
class QPushButton;
class QRadioButton;
class QScrollArea;
class QShortcut;
class QStringListModel;
class QTimer;
class QToolButton;

namespace keelpack::ui {

class DriveList;
class FileList;
class FolderList;
class IccCheckBox;
class LogTextBox;
class ProgressStatusBar;
class TabLabel;

// The main window: the folder browser, the run buttons, the option panels, the progress bar
// that doubles as the status line, Abort and the on-screen log. It is the front end the
// batch runs work through; all processing happens in the core.
// design: Form1 (its Qt object name)
class MainWindow : public QWidget, public FrontEnd {
  Q_OBJECT

 public:
  // Opens at `startPaths` (see OpenPaths); without them, or when none can be opened, where
  // the user last worked, else in the pictures folder, else in the home folder.
  explicit MainWindow(const QStringList& startPaths = {}, QWidget* parent = nullptr);
  ~MainWindow() override;

  // Shows what the user handed the window: the first path decides. A folder opens in the
  // folder list; a file opens its folder, and the given files of that folder with a JPEG
  // name are selected. Relative paths are taken from `base`. Nothing is processed. False
  // when the first path could not be opened.
  bool OpenPaths(const QStringList& paths, const std::string& base);

  QSize sizeHint() const override;

  // The on-screen log.
  void AppendLine(std::string_view line, bool showNewest) override;
  void Clear() override;

  // What the batch runs need.
  void SetStatusText(std::string_view text) override;
  void ProcessPendingEvents() override;
  void SetProgressPercent(float percent) override;
  OptionSet Options() override;
  void SetRunning(RunKind kind, bool running) override;
  std::string FolderPath() override;
  std::vector<FileEntry> FileEntries() override;
  void RereadFileList() override;
  bool ConfirmFolderTree(std::string_view folder, int files) override;

 protected:
  void closeEvent(QCloseEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void moveEvent(QMoveEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private slots:
  void RunSelectedFiles();
  void RunFolderTree();
  void Abort();

  void LogCheckToggled();
  void ChooseLogLevel(int level);
  void OpenLogFile();
  void ShowAbout();
  void EnableScreenDebug();

  void ShowIccMenu();
  void ForceIccRemoval();

  void DifferentFolderToggled(bool checked);
  void ShowTab(int index);
  void ChooseOutputFolder();

  void FolderChanged();
  void AskForCustomPath();
  void OpenTypedPath();
  void OfferCompletions(const QString& typed);

  void FadeStep();
  void WatchScreenWidth();

 private:
  // Where the blocks of controls stand: as designed (the options beside the lists, the log
  // box under all), the options beside the log box as well, or, for small screens and large
  // fonts, the lists one above the other and the options in two columns beside them.
  enum class Arrangement { kDesigned, kBesideLog, kCompact };

  void CreateControls();
  void CreateMenus();
  void LayOutControls();
  void Arrange(Arrangement arrangement);
  // Keeps the designed size where the screen's free area allows it; otherwise the window and
  // its frame fit into that area: the lists and the log box give up room first, then the
  // options move beside the log box, then into two columns; where even that is too large,
  // the window's content scrolls.
  void FitToScreen();
  void OpenStartFolder(const QStringList& startPaths, const std::string& lastFolder);
  // With "Save in different directory" on, a run needs an output folder it can use; when
  // there is none, the Target tab comes forward with a message and false is returned.
  bool OutputFolderUsable();
  void ConnectSignals();

  // Returns the folder the window showed when it last closed.
  std::string LoadSettings();
  void SetControls(const OptionSet& options);
  void SelectFont();
  void HandleTabShortcutKeys(QEvent* event);

  Session session_;
  Translucency translucency_;
  FadeIn fade_;
  int lastScreenWidth_ = 0;         // in twips; 0 until the first watch, so the first one nudges
  bool fittedToRealFrame_ = false;  // the window manager's frame was known at the last fit
  QWidget* runStarter_ = nullptr;   // the run button that started the run going on
  bool tabShortcutsArmed_ = false;  // Ctrl+S and Ctrl+T switch tabs; design: ctrlArmed
  int confirmTree_ = 1;             // ask before a folder-tree run rewrites files in place
  std::string completedFolder_;     // the folder whose subfolders the path field offers

  // Kept verbatim from the settings file and written back unchanged.
  std::string fontName_;
  std::string charset_;
  // Font candidates, best first; a `font` setting goes in front of them. design: fontList
  QStringList fontCandidates_;

  // Folder browser.
  DriveList* driveList_;    // design: Drive1
  FolderList* folderList_;  // design: Dir1
  FileList* fileList_;      // design: FileBox

  QLineEdit* pathText_;  // the open folder, to type or paste another one into
  QCompleter* pathCompleter_;
  QStringListModel* pathCompletions_;

  // The window's content scrolls only where the screen is too small for every arrangement.
  QScrollArea* scroller_;
  QWidget* content_;
  // Blocks of controls that always stay together.
  QWidget* navigatorBlock_;
  QWidget* runBlock_;
  QWidget* exifBlock_;
  QWidget* tabsBlock_;
  QWidget* statusBlock_;

  // Run controls and status.
  QPushButton* processFilesButton_;   // design: few
  QPushButton* processFolderButton_;  // design: many
  QPushButton* abortButton_;          // design: cancelCommand
  QPushButton* aboutButton_;
  QShortcut* escapeAborts_;
  ProgressStatusBar* statusBar_;  // design: backFrame
  LogTextBox* logBox_;            // design: debugtext

  // Options.
  QGroupBox* exifFrame_;
  std::array<QRadioButton*, 3> exifButtons_;  // design: exifOption
  QButtonGroup* exifButtonGroup_;
  QCheckBox* keepDpiCheck_;    // design: dpiCheck
  IccCheckBox* iccCheck_;      // design: iccCheck
  QComboBox* optimizeCombo_;   // the `optimize` option, its value the item index
  QCheckBox* uprightCheck_;    // the `upright` option
  QGroupBox* corruptedFrame_;  // design: corFrame
  std::array<QRadioButton*, 3> corruptedButtons_;  // design: corOption
  QButtonGroup* corruptedButtonGroup_;
  QLineEdit* maskText_;       // design: corren
  QCheckBox* nonJpegsCheck_;  // design: evenCheck

  // The two tabs.
  QGroupBox* safetyFrame_;
  QCheckBox* readabilityCheck_;  // design: readCheck
  QCheckBox* slowParsingCheck_;  // design: slowCheck
  QCheckBox* backupsCheck_;      // design: bakCheck
  QCheckBox* logCheck_;
  QGroupBox* targetFrame_;
  QCheckBox* differentFolderCheck_;     // design: difdirCheck
  QLineEdit* outputFolderText_;         // design: newdirText
  QToolButton* chooseOutputButton_;     // design: chooseCommand
  std::array<TabLabel*, 2> tabLabels_;  // design: tabLabel

  // Pop-up menus.
  QMenu* logMenu_;                  // design: logtop
  QAction* briefAction_;            // design: logbrief
  QAction* verboseAction_;          // design: logverb
  QAction* explicitAction_;         // design: logexp
  QAction* openLogAction_;          // design: logopen
  QAction* aboutAction_;            // design: aboutmenu
  QMenu* iccMenu_;                  // design: iccmenu
  QAction* forceIccRemovalAction_;  // design: forceiccremoval

  QTimer* fadeTimer_;         // the opening fade; design: transTimer1
  QTimer* screenWidthTimer_;  // the screen-width watch; design: winfixTimer
};

}  // namespace keelpack::ui
