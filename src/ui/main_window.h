#pragma once

#include <QStringList>
#include <QWidget>
#include <memory>
#include <string>

#include "runs/front_end.h"
#include "runs/session.h"
#include "ui/window_effects.h"

class QCompleter;
class QLineEdit;
class QPushButton;
class QShortcut;
class QStringListModel;
class QTimer;

namespace keelpack::ui {

class CorruptedPanel;
class DriveList;
class ExifPanel;
class FileList;
class FolderList;
class LogTextBox;
class OptionTabs;
class ProgressStatusBar;
class WindowArrangement;

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
  void FilesChanged() override;
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

  void SetLogLevel(int level);
  void OpenLogFile();
  void ShowAbout();
  void EnableScreenDebug();

  void FolderChanged();
  void AskForCustomPath();
  void OpenTypedPath();
  void OfferCompletions(const QString& typed);

  void FadeStep();
  void WatchScreenWidth();

 private:
  void CreateControls();
  void LayOutControls();
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
  void SelectFont();

  Session session_;
  Translucency translucency_;
  FadeIn fade_;
  int lastScreenWidth_ = 0;         // in twips; 0 until the first watch, so the first one nudges
  bool fittedToRealFrame_ = false;  // the window manager's frame was known at the last fit
  QWidget* runStarter_ = nullptr;   // the run button that started the run going on
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

  // The window's content, in a scroll area that scrolls only where the screen is too small
  // for every arrangement of its blocks.
  QWidget* content_;
  std::unique_ptr<WindowArrangement> arrangement_;

  // Run controls and status.
  QPushButton* processFilesButton_;   // design: few
  QPushButton* processFolderButton_;  // design: many
  QPushButton* abortButton_;          // design: cancelCommand
  QPushButton* aboutButton_;
  QShortcut* escapeAborts_;
  ProgressStatusBar* statusBar_;  // design: backFrame
  LogTextBox* logBox_;            // design: debugtext

  ExifPanel* exifPanel_;
  CorruptedPanel* corruptedPanel_;
  OptionTabs* optionTabs_;

  QTimer* fadeTimer_;         // the opening fade; design: transTimer1
  QTimer* screenWidthTimer_;  // the screen-width watch; design: winfixTimer
};

}  // namespace keelpack::ui
