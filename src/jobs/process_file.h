#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "jpeg/rewrite_jpeg.h"

namespace keelpack {

namespace platform {
class BackgroundCloser;
class Folder;
}  // namespace platform
class LogSink;
struct OptionSet;

// What became of one file.
enum class JobOutcome {
  kRewritten,  // replaced by its rewritten form, or written to the output folder; or left as
               // it was, when that form would be larger ("Larger when rewritten, ...")
  kDamaged,    // damaged: deleted, renamed by the mask or left alone, as the options say
  kNotJpeg,    // a JPEG name on other data: deleted, renamed or left alone
  kSkipped,    // not processed: a name with "?", a vanished file, not a regular file, a file
               // another run works on
  kFailed,     // could not be processed: left as it was (backup, folders, writing, check)
};

// What a job did to the file, or to its new form.
enum class FileAction {
  kLeft,             // nothing: the file is as it was
  kWaiting,          // complete and durable-to-be, waiting in a batch to take the file's place
  kReplaced,         // replaced by its new form
  kWrittenToOutput,  // its new form written to the output folder (`target`)
  kDeleted,          // deleted as damaged or not JPEG data
  kRenamed,          // renamed by the mask to `target`
};

// The whole account of one file's job.
struct JobReport {
  std::string path;  // as the job normalised it
  JobOutcome outcome = JobOutcome::kSkipped;
  FileAction action = FileAction::kLeft;
  // The message that ended the job without its path ("Missing file - "), when one did.
  std::string reason;
  std::string target;                     // for kWrittenToOutput and kRenamed: the new path
  std::optional<RewriteOutcome> rewrite;  // when the job came as far as the rewrite
};

// Run totals that every file put in place adds to.
struct RewriteTotals {
  double filesReduced = 0;  // files that came out smaller
  double bytesSaved = 0;    // input length minus output length, summed (can go down)

  // Counts a file whose new form took its place, or went to the output folder.
  void Add(const JobReport& report);
};

struct JobCounts {
  int rewritten = 0;
  int damaged = 0;
  int notJpeg = 0;
  int skipped = 0;
  int failed = 0;

  void Add(JobOutcome outcome);
  int total() const { return rewritten + damaged + notJpeg + skipped + failed; }
};

// Folders whose entries the jobs of a run have changed, flushed to the disk together, once
// per folder rather than once per file. A crash before the flush can bring an old file back,
// complete; it can never lose one, as every new file is on the disk before it takes a name.
// Jobs on several threads may share one.
class PendingFolderSyncs {
 public:
  void Add(const std::string& folder) {
    std::lock_guard lock(mutex_);
    folders_.insert(folder);
  }
  void Flush();

 private:
  std::mutex mutex_;
  std::set<std::string> folders_;
};

// New files that are complete but not yet in place, made durable together: their write-back
// is started as each one is finished; Commit makes them all durable at once (one flush per
// file system rather than one per file), then gives each its source's name in one atomic
// rename, then flushes each folder once. Up to that rename a source is its old, whole self;
// after it, the name holds a new file whose every byte was on the disk before the rename was
// made. A crash at any moment therefore leaves each source old and whole or new and whole.
// Jobs on several threads may share one.
class DurableBatch {
 public:
  struct Pending;
  DurableBatch();
  ~DurableBatch();
  DurableBatch(const DurableBatch&) = delete;
  DurableBatch& operator=(const DurableBatch&) = delete;

  void Add(std::unique_ptr<Pending> pending);
  // Hands every waiting file on to `other`, to be committed with its files.
  void MoveTo(DurableBatch& other);
  // Enough files or bytes wait that the batch should be committed now.
  bool Full();
  // Puts every waiting file in place and gives their final reports, in the order the files
  // were added: replaced; skipped, when another program changed the source since it was read
  // ("File changed during processing - "); or failed. A file not put in place leaves its
  // source as it was and its new file removed. The replaced sources go to `closer` when there
  // is one.
  std::vector<JobReport> Commit(LogSink& log, const std::function<void()>& yield,
                                platform::BackgroundCloser* closer = nullptr);

 private:
  std::mutex mutex_;
  std::vector<std::unique_ptr<Pending>> pending_;
  int64_t bytes_ = 0;
};

// What a file job needs besides the file's path.
struct JobEnv {
  LogSink& log;
  const OptionSet& options;       // as they are when the job starts
  const std::string& baseFolder;  // the folder the run started from
  // Lets the front end handle pending events between attempts to put the new file in place.
  std::function<void()> yield;
  bool durable = true;  // flush the new file to the disk before it replaces the old one
  // Where a durable job leaves the folder it changed; without one it flushes it at once.
  PendingFolderSyncs* folderSyncs = nullptr;
  // The open folder that holds the file, when the run has one (its path is the file's
  // folder); otherwise the job opens the folder of its path.
  const platform::Folder* folder = nullptr;
  // The output folder lies inside the tree being processed, so a file at an output path may
  // be a photo of the user's: it is replaced only when it holds the same picture as the
  // source (an earlier output of it).
  bool outputInTree = false;
  // Where a durable in-place job leaves its complete new file to be put in place with others;
  // without one it is made durable and put in place at once.
  DurableBatch* batch = nullptr;
  // Where a replaced source is closed, when the run has one; otherwise the job closes it.
  platform::BackgroundCloser* closer = nullptr;
  // Called with the path once the source has been read and judged, before anything is put in
  // place or removed: a test stands in here for another program that saves the file meanwhile.
  std::function<void(const std::string& path)> judged = nullptr;
  // Judges the file as a real job would and reports, in the same lines, what would become of
  // it, but changes nothing: no backup, folder, temporary file, deletion, rename or replacement.
  bool dryRun = false;
};

// Carries one file through the name check, the backup, the rewrite, the verdict on damaged
// and non-JPEG files, the readability check and the final replacement. `path` is normalised
// in place. Never throws; every outcome is reported through the log and in the report, whose
// action is kWaiting when the new file waits in the job's batch. Jobs on different files
// may run on several threads at once; each holds a lock on its source file for its whole
// length, so that two runs (two processes) never work on one file.
//
// The source is only ever replaced, deleted or renamed while it is still the file that was
// read, with the size, modification time and change time it had then: a file that another
// program saves meanwhile is left as it is. With an output folder no source is ever touched:
// a damaged one, or one that holds no JPEG data, is left alone, and nothing is written for it.
// A new file that cannot keep its source's owner and group does not take its place. No
// failure leaves a temporary file behind.
JobReport ProcessFile(const JobEnv& env, std::string& path);

}  // namespace keelpack
