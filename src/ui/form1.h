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
class QGridLayout;
class QComboBox;
class QGroupBox;
class QLineEdit;
class QMenu;
class QPushButton;
class QRadioButton;
class QTimer;
class QToolButton;
class QVBoxLayout;

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
class Form1 : public QWidget, public FrontEnd {
  Q_OBJECT

 public:
  explicit Form1(QWidget* parent = nullptr);
  ~Form1() override;


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

 protected:
  void closeEvent(QCloseEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void moveEvent(QMoveEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private slots:
  void RunSelectedFiles();
  void RunFolderTree();
  void Abort();

  void LogCheckChanged();
  void ChooseLogLevel(int level);
  void OpenLogFile();
  void ShowAbout();
  void EnableDirtyDebug();

  void ShowIccMenu();
  void ForceIccRemoval();

  void DifdirChanged(bool checked);
  void ShowTab(int index);
  void ChooseOutputFolder();

  void FolderChanged();
  void AskForCustomPath();

  void FadeStep();
  void WatchScreenWidth();

 private:
  void CreateControls();
  void CreateMenus();
  void LayOutControls();
  // Puts the options column beside the lists only (the designed arrangement) or beside the
  // lists and the log box, for screens too short for the design.
  void ArrangeOptions(bool besideLog);
  // Keeps the designed size where the screen's free area allows it; otherwise the window and
  // its frame fit into that area, and the lists and the log box give up height first.
  void FitToScreen();
  void ConnectSignals();

  void LoadSettings();
  void SetControls(const OptionSet& options);
  void SelectFont();
  void HandleTabShortcutKeys(QEvent* event);

  Session session_;
  Translucency translucency_;
  FadeIn fade_;
  int lastScreenWidth_ = 0;         // in twips; 0 until the first watch, so the first one nudges
  bool fittedToRealFrame_ = false;  // the window manager's frame was known at the last fit
  QWidget* runStarter_ = nullptr;   // the run button that started the run going on
  bool ctrlArmed = false;           // the Ctrl+S / Ctrl+T tab shortcuts are armed

  // Kept verbatim from the settings file and written back unchanged.
  std::string fontName_;
  std::string charset_;
  // Font candidates, best first; a `font` setting goes in front of them.
  QStringList fontList;

  // Folder browser.
  DriveList* Drive1;
  FolderList* Dir1;
  FileList* FileBox;

  QGridLayout* windowGrid_;
  QVBoxLayout* optionsColumn_;

  // Run controls and status.
  QPushButton* few;
  QPushButton* many;
  QPushButton* cancelCommand;
  ProgressStatusBar* backFrame;
  LogTextBox* debugtext;

  // Options.
  QGroupBox* exifFrame;
  std::array<QRadioButton*, 3> exifOption;
  QButtonGroup* exifGroup;
  QCheckBox* dpiCheck;
  IccCheckBox* iccCheck;
  QComboBox* optimizeCombo;  // the `optimize` option, its value the item index
  QGroupBox* corFrame;
  std::array<QRadioButton*, 3> corOption;
  QButtonGroup* corGroup;
  QLineEdit* corren;
  QCheckBox* evenCheck;

  // The two tabs.
  QGroupBox* safetyFrame;
  QCheckBox* readCheck;
  QCheckBox* slowCheck;
  QCheckBox* bakCheck;
  QCheckBox* logCheck;
  QGroupBox* targetFrame;
  QCheckBox* difdirCheck;
  QLineEdit* newdirText;
  QToolButton* chooseCommand;
  std::array<TabLabel*, 2> tabLabel;

  // Pop-up menus.
  QMenu* logtop;
  QAction* logbrief;
  QAction* logverb;
  QAction* logexp;
  QAction* logopen;
  QAction* aboutmenu;
  QMenu* iccmenu;
  QAction* forceiccremoval;

  QTimer* transTimer1;  // the opening fade
  QTimer* winfixTimer;  // the screen-width watch
};

}  // namespace keelpack::ui
