#include "runs/runs.h"

#include <cmath>
#include <cstdio>

#include "jobs/path_utils.h"
#include "platform/listing.h"
#include "platform/system.h"
#include "runs/file_jobs.h"
#include "runs/session.h"

namespace keelpack {
namespace {

// More subfolders of one folder than this are left out of a folder-tree run.
constexpr size_t kMaxSubfolders = 2001;

// Numbers in messages: plain decimal, no group separators.
std::string Number(double value) {
  char text[64];
  std::snprintf(text, sizeof text, "%.0f", value);
  return text;
}

// Progress lines come at most about once a second, after a file, never during one.
class ProgressClock {
 public:
  bool Due() {
    const double now = platform::SecondsSinceMidnight();
    if (std::fabs(now - lastUpdate_) <= 1) return false;
    lastUpdate_ = now;
    return true;
  }

 private:
  double lastUpdate_ = 0;
};

void StartRun(Session& session, RunKind kind) {
  session.cancelRequested = false;
  session.frontEnd.SetRunning(kind, true);
  session.frontEnd.Clear();
  session.totals = {};
  session.outcomes = {};
  session.fileTotal = 0;
  session.folderTotal = 0;
}

void EndRun(Session& session, RunKind kind) {
  session.folderSyncs.Flush();
  SetProgress(session, 100);
  const std::string summary = "Finished. Out of " + std::to_string(session.fileTotal) + " files, " +
                              Number(session.totals.filesReduced) + " were reduced saving " +
                              Number(session.totals.bytesSaved) + " bytes.";
  ShowStatus(session, summary);
  session.log.WriteLog(summary, kBrief);
  session.frontEnd.SetRunning(kind, false);
}

void ScanFolder(Session& session, const std::string& folder) {
  if (session.cancelRequested) return;
  if (folder.find('?') != std::string::npos) {
    session.log.WriteLog("Invalid characters in the name - " + folder, kVerbose);
    return;
  }
  const OptionSet options = session.frontEnd.Options();
  if (options.differentFolder()) {
    std::string a = folder, b = options.output;
    StripTrailingSeparator(a);
    StripTrailingSeparator(b);
    auto upper = [](std::string& s) {
      for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    };
    upper(a);
    upper(b);
    if (a == b) return;  // the output folder and all below it stay out of the run
  }
  auto subfolders = platform::ListSubfolders(folder);
  auto files = platform::ListFiles(folder);
  if (!subfolders || !files) {
    session.log.WriteLog("Cannot open directory " + folder, kVerbose);
    return;
  }
  session.fileTotal += static_cast<int>(files->size());
  session.folderTotal += 1;
  session.dirList.push_back(folder);
  if (session.folderTotal % 5 == 0) {
    ShowStatus(session, "Found " + std::to_string(session.folderTotal) + " directories, " +
                            std::to_string(session.fileTotal) + " files...");
  }
  if (subfolders->size() > kMaxSubfolders) {
    subfolders->resize(kMaxSubfolders);
    session.log.WriteLog("Too many directories in " + folder, kVerbose);
  }
  for (const std::string& subfolder : *subfolders) {
    if (session.cancelRequested) return;
    ScanFolder(session, subfolder);
  }
}

}  // namespace

void ShowStatus(Session& session, std::string_view text) {
  session.frontEnd.SetStatusText(text);
  session.frontEnd.ProcessPendingEvents();
}

void SetProgress(Session& session, float percentage) {
  if (percentage < 0) return;
  session.frontEnd.SetProgressPercent(percentage);
}

void RunSelectedFiles(Session& session) {
  StartRun(session, RunKind::kSelectedFiles);
  // The folder and the selection as they are now; navigating during the run changes neither.
  const std::string folder = session.frontEnd.FolderPath();
  session.baseFolder = folder;
  SetProgress(session, 0);
  session.log.WriteLog("Starting to process selected files in " + folder, kBrief, true);
  ShowStatus(session, "Starting...");

  std::vector<std::string> selected;
  for (const FileEntry& entry : session.frontEnd.FileEntries()) {
    if (entry.selected) selected.push_back(entry.name);
  }
  session.fileTotal = static_cast<int>(selected.size());

  ProgressClock clock;
  int processed = 0;
  FileJobs jobs(session, [&] {
    ++processed;
    if (clock.Due()) {
      SetProgress(session, static_cast<float>(processed * 100.0 / session.fileTotal));
      ShowStatus(session, "Processed " + std::to_string(processed) + " of " +
                              std::to_string(session.fileTotal) + " files...");
    }
  });
  bool cancelled = false;
  for (const std::string& name : selected) {
    if ((cancelled = session.cancelRequested)) break;
    jobs.Add(folder + "/" + name);
  }
  jobs.Finish();
  // Jobs that were waiting for a worker when the cancel came were left out too.
  if (cancelled || jobs.Dropped() > 0) session.log.AppendScreenLog("Operation cancelled!", kBrief);
  session.frontEnd.RereadFileList();
  if (selected.empty()) session.log.AppendScreenLog("Please select a file.", kScreenOnly);
  EndRun(session, RunKind::kSelectedFiles);
}

void BuildFolderList(Session& session, const std::string& top) {
  session.dirList.clear();
  SetProgress(session, 0);
  ShowStatus(session, "Starting...");
  session.folderTotal = 0;
  session.fileTotal = 0;
  session.baseFolder = top;
  ScanFolder(session, top);
}

void RunFolderTree(Session& session) {
  StartRun(session, RunKind::kFolderTree);
  const std::string top = session.frontEnd.FolderPath();
  session.log.WriteLog("Starting to recurse " + top, kBrief, true);
  BuildFolderList(session, top);

  ProgressClock clock;
  int processed = 0;
  size_t foldersDone = 0;  // of the jobs passed on so far
  FileJobs jobs(session, [&] {
    ++processed;
    if (clock.Due()) {
      if (session.fileTotal > 0) {
        SetProgress(session, static_cast<float>(processed * 100.0 / session.fileTotal));
      }
      ShowStatus(session, "Processed " + std::to_string(processed) + " of " +
                              std::to_string(session.fileTotal) + " files in " +
                              std::to_string(foldersDone + 1) + " of " +
                              std::to_string(session.folderTotal) + " directories.");
    }
  });
  bool cancelled = false;
  for (size_t i = 0; i < session.dirList.size(); ++i) {
    std::string folder = session.dirList[i];
    CollapseSeparators(folder);
    // Listed afresh: files that came or went since the scan are processed or skipped.
    const auto files = platform::ListFiles(folder);
    if (!files) {
      jobs.Then([&session, folder] {
        session.log.WriteLog("Cannot open directory " + folder, kVerbose);
      });
    }
    for (const std::string& name : files.value_or(std::vector<std::string>{})) {
      if (session.cancelRequested) break;
      jobs.Add(folder + "/" + name);
    }
    jobs.Then([&] {
      session.folderSyncs.Flush();
      ++foldersDone;
    });
    if ((cancelled = session.cancelRequested)) break;
  }
  jobs.Finish();
  if (cancelled || jobs.Dropped() > 0) session.log.AppendScreenLog("Operation cancelled!", kBrief);
  session.frontEnd.RereadFileList();
  if (session.fileTotal < 1) session.log.AppendScreenLog("No compatible file found.", kScreenOnly);
  EndRun(session, RunKind::kFolderTree);
}

}  // namespace keelpack
