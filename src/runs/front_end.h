#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "jobs/process_file.h"
#include "log/log_sink.h"
#include "settings/option_set.h"

namespace keelpack {

enum class RunKind { kSelectedFiles, kFolderTree };

// What the batch runs need from the front end they run under, the window or the command
// line. Everything is called on the front end's own thread; the log box is the LogBox part.
class FrontEnd : public LogBox {
 public:
  // The status line's text. ShowStatus follows it with ProcessPendingEvents.
  virtual void SetStatusText(std::string_view text) = 0;
  // Lets the front end handle what is pending: repaints, clicks on Abort, a second Ctrl+C.
  virtual void ProcessPendingEvents() = 0;
  // The filled part of the progress bar, in percent of its width (callers pass 0 to 100).
  virtual void SetProgressPercent(float percent) = 0;
  // The option values as they are now; read again before every file.
  virtual OptionSet Options() = 0;
  // A run starts (true) or ends (false): the front end enables Abort and disables the run
  // controls (and, for a selected-files run, the file list), and shows it is busy.
  virtual void SetRunning(RunKind kind, bool running) = 0;
  // A run has ended that may have replaced, renamed or deleted files: a front end that shows
  // them reads them again.
  virtual void FilesChanged() {}
  // A folder of the tree was left out (the log line that says why, already logged); the
  // command line reports it on its own.
  virtual void FolderSkipped(std::string_view /*line*/) {}
  // A file's fate is settled (a file whose new form waits in a batch, once the batch is put in
  // place), in the order the fates are settled.
  virtual void FileFinished(const JobReport& /*report*/) {}
  // A folder-tree run has counted the `files` it is about to process in `folder` and below;
  // false stops it before any of them is touched. The window may ask its user here.
  virtual bool ConfirmFolderTree(std::string_view /*folder*/, int /*files*/) { return true; }
};

}  // namespace keelpack
