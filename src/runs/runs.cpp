#include "runs/runs.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <optional>
#include <set>

#include "jobs/path_utils.h"
#include "platform/folder.h"
#include "platform/listing.h"
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

// Progress lines come at most about once a second, after a file, never during one: the first
// after the first file. Timed by a clock that a change of the system time or the time zone
// does not move.
class ProgressClock {
 public:
  bool Due() {
    const auto now = std::chrono::steady_clock::now();
    if (lastUpdate_ && now - *lastUpdate_ <= std::chrono::seconds(1)) return false;
    lastUpdate_ = now;
    return true;
  }

 private:
  std::optional<std::chrono::steady_clock::time_point> lastUpdate_;
};

void StartRun(Session& session, RunKind kind) {
  session.ClearCancel();
  session.frontEnd().SetRunning(kind, true);
  session.frontEnd().Clear();
  session.run().totals = {};
  session.run().outcomes = {};
  session.run().fileTotal = 0;
  session.run().folderTotal = 0;
  session.run().skippedFolders = 0;
  session.run().outputInTree = false;
}

// A folder left out of the run: logged as designed, and told to the front end.
void SkipFolder(Session& session, const std::string& line, int folders = 1) {
  session.log().WriteLog(line, kVerbose);
  session.run().skippedFolders += folders;
  session.frontEnd().FolderSkipped(line);
}

// The output folder when the run writes one, opened so that it can be told by device and
// inode wherever it turns up; and whether it lies inside the run's base folder.
std::optional<platform::Folder> OpenOutputFolder(Session& session, const platform::Folder& base) {
  const OptionSet options = session.frontEnd().Options();
  platform::Folder output;
  if (!options.differentFolder() || options.output.empty() || !output.Open(options.output))
    return std::nullopt;
  session.run().outputInTree = output.Id() == base.Id() || base.Holds(output);
  return output;
}

void EndRun(Session& session, RunKind kind) {
  CommitBatch(session);
  session.folderSyncs().Flush();
  SetProgress(session, 100);
  const std::string summary = "Finished. Out of " + std::to_string(session.run().fileTotal) +
                              " files, " + Number(session.run().totals.filesReduced) +
                              " were reduced saving " + Number(session.run().totals.bytesSaved) +
                              " bytes.";
  ShowStatus(session, summary);
  session.log().WriteLog(summary, kBrief);
  session.frontEnd().SetRunning(kind, false);
}

// `folder` is open already; its subfolders are opened through it, never through a link.
void ScanFolder(Session& session, const platform::Folder& folder, const platform::Folder* output) {
  if (session.cancelRequested()) return;
  const std::string& path = folder.path();
  if (path.find('?') != std::string::npos) {
    SkipFolder(session, "Invalid characters in the name - " + path);
    return;
  }
  // The output folder and all below it stay out of the run, by device and inode: a second
  // mount of it, or another spelling of its name, is still the same folder.
  if (output != nullptr && output->Id() == folder.Id()) {
    session.run().outputInTree = true;
    return;
  }
  auto names = folder.SubfolderAndFileNames(platform::kJpegPatterns);
  if (!names) {
    SkipFolder(session, "Cannot open directory " + path);
    return;
  }
  std::vector<std::string>& subfolders = names->subfolders;
  RunRecord& run = session.run();
  run.fileTotal += static_cast<int>(names->files.size());
  run.folderTotal += 1;
  run.dirList.push_back(path);
  if (run.folderTotal % 5 == 0) {
    ShowStatus(session, "Found " + std::to_string(run.folderTotal) + " directories, " +
                            std::to_string(run.fileTotal) + " files...");
  }
  if (subfolders.size() > kMaxSubfolders) {
    SkipFolder(session, "Too many directories in " + path,
               static_cast<int>(subfolders.size() - kMaxSubfolders));
    subfolders.resize(kMaxSubfolders);
  }
  for (const std::string& name : subfolders) {
    if (session.cancelRequested()) return;
    platform::Folder subfolder;
    if (!subfolder.OpenIn(folder, name)) {
      SkipFolder(session, "Cannot open directory " + folder.PathOf(name));
      continue;
    }
    ScanFolder(session, subfolder, output);
  }
}

}  // namespace

void ShowStatus(Session& session, std::string_view text) {
  session.frontEnd().SetStatusText(text);
  session.frontEnd().ProcessPendingEvents();
}

void SetProgress(Session& session, float percentage) {
  if (percentage < 0) return;
  session.frontEnd().SetProgressPercent(percentage);
}

void RunSelectedFiles(Session& session, const FileSelection files) {
  StartRun(session, RunKind::kSelectedFiles);
  const std::string& folder = files.folder;
  const std::vector<std::string>& selected = files.names;
  session.run().baseFolder = folder;
  SetProgress(session, 0);
  session.log().WriteLog("Starting to process selected files in " + folder, kBrief, true);
  ShowStatus(session, "Starting...");

  session.run().fileTotal = static_cast<int>(selected.size());
  if (platform::Folder base; base.Open(folder)) OpenOutputFolder(session, base);
  // Temporary files that a killed run left beside the selected files go, once per folder (a
  // dry run leaves them).
  std::set<std::string> cleaned;
  for (const std::string& name : selected) {
    const std::string holder = platform::SplitPath(folder + "/" + name).first;
    if (platform::Folder open;
        !session.settings().dryRun && cleaned.insert(holder).second && open.Open(holder)) {
      open.RemoveStaleTemporaries();
    }
  }

  ProgressClock clock;
  int processed = 0;
  FileJobs jobs(session, [&] {
    ++processed;
    if (clock.Due()) {
      SetProgress(session, static_cast<float>(processed * 100.0 / session.run().fileTotal));
      ShowStatus(session, "Processed " + std::to_string(processed) + " of " +
                              std::to_string(session.run().fileTotal) + " files...");
    }
  });
  bool cancelled = false;
  for (const std::string& name : selected) {
    if ((cancelled = session.cancelRequested())) break;
    jobs.Add(folder + "/" + name);
  }
  jobs.Finish();
  // Jobs that were waiting for a worker when the cancel came were left out too.
  if (cancelled || jobs.Dropped() > 0)
    session.log().AppendScreenLog("Operation cancelled!", kBrief);
  session.frontEnd().FilesChanged();
  if (selected.empty()) session.log().AppendScreenLog("Please select a file.", kScreenOnly);
  EndRun(session, RunKind::kSelectedFiles);
}

void BuildFolderList(Session& session, const std::string& top) {
  session.run().dirList.clear();
  SetProgress(session, 0);
  ShowStatus(session, "Starting...");
  session.run().folderTotal = 0;
  session.run().fileTotal = 0;
  session.run().baseFolder = top;
  platform::Folder folder;
  if (!folder.Open(top)) {
    SkipFolder(session, "Cannot open directory " + top);
    return;
  }
  const std::optional<platform::Folder> output = OpenOutputFolder(session, folder);
  ScanFolder(session, folder, output ? &*output : nullptr);
}

void RunFolderTree(Session& session, const std::string top) {
  StartRun(session, RunKind::kFolderTree);
  session.log().WriteLog("Starting to recurse " + top, kBrief, true);
  BuildFolderList(session, top);
  if (session.run().fileTotal > 0 && !session.cancelRequested() &&
      !session.frontEnd().ConfirmFolderTree(top, session.run().fileTotal)) {
    session.RequestCancel();
    session.run().dirList.clear();  // not a folder is opened
  }

  ProgressClock clock;
  int processed = 0;
  size_t foldersDone = 0;  // of the jobs passed on so far
  FileJobs jobs(session, [&] {
    ++processed;
    if (clock.Due()) {
      if (session.run().fileTotal > 0) {
        SetProgress(session, static_cast<float>(processed * 100.0 / session.run().fileTotal));
      }
      ShowStatus(session, "Processed " + std::to_string(processed) + " of " +
                              std::to_string(session.run().fileTotal) + " files in " +
                              std::to_string(foldersDone + 1) + " of " +
                              std::to_string(session.run().folderTotal) + " directories.");
    }
  });
  platform::Folder topFolder;
  if (!session.run().dirList.empty()) (void)topFolder.Open(top);
  std::optional<platform::Folder> output;
  if (topFolder.IsOpen()) {
    const bool inTree = session.run().outputInTree;  // as the scan found it
    output = OpenOutputFolder(session, topFolder);
    session.run().outputInTree = session.run().outputInTree || inTree;
  }
  bool cancelled = session.cancelRequested();
  for (size_t i = 0; i < session.run().dirList.size(); ++i) {
    std::string path = session.run().dirList[i];
    CollapseSeparators(path);
    // Entered again from the top one name at a time: a folder swapped for a link since the
    // scan is not followed out of the tree. Listed afresh: files that came or went since the
    // scan are processed or skipped. Kept open until the last of its jobs has been passed on.
    auto folder = std::make_shared<platform::Folder>();
    std::optional<std::vector<std::string>> files;
    const std::string_view relative =
        std::string_view(path).substr(std::min(top.size(), path.size()));
    if (topFolder.IsOpen() && folder->OpenBelow(topFolder, relative, false)) {
      // Temporary files that a killed run left here go (but for a dry run), from the same
      // reading of the folder.
      files = folder->FileNames(platform::kJpegPatterns, !session.settings().dryRun);
    }
    if (!files) {
      jobs.Then([&session, path] { SkipFolder(session, "Cannot open directory " + path); });
    } else {
      // So do those left in this folder's mirror below the output folder.
      platform::Folder mirror;
      if (output && !session.settings().dryRun && mirror.OpenBelow(*output, relative, false)) {
        mirror.RemoveStaleTemporaries();
      }
    }
    for (const std::string& name : files.value_or(std::vector<std::string>{})) {
      if (session.cancelRequested()) break;
      jobs.Add(folder->PathOf(name), folder);
    }
    jobs.Then([&] {
      session.folderSyncs().Flush();
      ++foldersDone;
    });
    if ((cancelled = session.cancelRequested())) break;
  }
  jobs.Finish();
  if (cancelled || jobs.Dropped() > 0)
    session.log().AppendScreenLog("Operation cancelled!", kBrief);
  session.frontEnd().FilesChanged();
  if (session.run().fileTotal < 1)
    session.log().AppendScreenLog("No compatible file found.", kScreenOnly);
  EndRun(session, RunKind::kFolderTree);
}

}  // namespace keelpack
