#pragma once

#include <atomic>
#include <string>
#include <vector>

#include "jobs/process_file.h"
#include "jpeg/rewrite_jpeg.h"
#include "log/log_sink.h"
#include "platform/background_closer.h"
#include "runs/front_end.h"

namespace keelpack {

// How a front end wants its runs done; fixed when it makes its session.
struct RunSettings {
  // File jobs that run at the same time. The window keeps to one, so that a job may let it
  // handle its events; the command line may run more, on threads of their own.
  int jobs = 1;
  // Flush every new file to the disk before it replaces the old one. The command line may
  // turn this off for speed, at the price of what a power cut can do.
  bool durable = true;
  // Judge every file and tell what would become of it, changing nothing on the disk (the
  // command line's --dry-run).
  bool dryRun = false;
};

// What the current run found and did, kept after it until the next run starts. Only the runs
// write it; front ends read it through Session::lastRun.
struct RunRecord {
  RewriteTotals totals;  // files reduced and bytes saved
  JobCounts outcomes;    // what became of the files
  int fileTotal = 0;
  int folderTotal = 0;
  int skippedFolders = 0;  // folders the scan or the processing had to leave out
  std::string baseFolder;
  std::vector<std::string> dirList;  // the last folder-tree run's work list
  // The output folder lies inside the processed tree (see JobEnv::outputInTree).
  bool outputInTree = false;
};

// What a front end keeps for the runs it starts: the log, the cancel request and the last
// run's record. It lives as long as the front end.
class Session {
 public:
  explicit Session(FrontEnd& front, RunSettings settings = {})
      : frontEnd_(front), log_(front), settings_(settings) {}
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  FrontEnd& frontEnd() { return frontEnd_; }
  LogSink& log() { return log_; }
  const RunSettings& settings() const { return settings_; }

  // Abort, closing the window, Ctrl+C. A run looks at it between files; the next run clears it.
  void RequestCancel() { cancel_ = true; }
  bool cancelRequested() const { return cancel_; }
  // The flag itself, for a signal handler to set (an atomic store is safe there).
  std::atomic<bool>& cancelFlag() { return cancel_; }

  const RunRecord& lastRun() const { return run_; }

  // The runs' own working state.
  RunRecord& run() { return run_; }
  void ClearCancel() { cancel_ = false; }
  PendingFolderSyncs& folderSyncs() { return folderSyncs_; }
  DurableBatch& batch() { return batch_; }  // durable runs put their new files in place in batches
  platform::BackgroundCloser& closer() { return closer_; }  // for the photos the runs replaced

 private:
  FrontEnd& frontEnd_;
  LogSink log_;
  const RunSettings settings_;
  std::atomic<bool> cancel_{false};
  RunRecord run_;
  PendingFolderSyncs folderSyncs_;
  DurableBatch batch_;
  platform::BackgroundCloser closer_;  // last, so that it is gone first: it closes what waits
};

}  // namespace keelpack
