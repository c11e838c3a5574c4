#pragma once

#include <atomic>
#include <string>
#include <vector>

#include "jobs/process_file.h"
#include "jpeg/rewrite_jpeg.h"
#include "log/log_sink.h"
#include "platform/system.h"
#include "runs/front_end.h"

namespace keelpack {

// What a front end keeps for the runs it starts: the log, the run totals and the cancel
// request. It lives as long as the front end.
struct Session {
  explicit Session(FrontEnd& front) : frontEnd(front), log(front) {}
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  FrontEnd& frontEnd;
  LogSink log;

  // Set by Abort, by closing the window or by Ctrl+C (from a signal handler, hence atomic);
  // a run looks at it between files. Cleared when a run starts.
  std::atomic<bool> cancelRequested{false};

  // Totals of the current run, kept after it until the next run starts.
  RewriteTotals totals;  // files reduced and bytes saved
  JobCounts outcomes;    // what became of the files
  int fileTotal = 0;
  int folderTotal = 0;
  std::string baseFolder;
  std::vector<std::string> dirList;  // the last folder-tree run's work list
  int skippedFolders = 0;            // folders the scan or the processing had to leave out
  // The output folder lies inside the processed tree (see JobEnv::outputInTree).
  bool outputInTree = false;

  // Flush every new file to the disk before it replaces the old one. The command line may
  // turn this off for speed, at the price of what a power cut can do.
  bool durable = true;
  PendingFolderSyncs folderSyncs;
  // File jobs that run at the same time. The window keeps to one, so that a job may let it
  // handle its events; the command line may run more, on threads of their own.
  int jobs = 1;
  DurableBatch batch;  // durable runs put their new files in place in batches
};

}  // namespace keelpack
