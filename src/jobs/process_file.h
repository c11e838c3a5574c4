#pragma once

#include <functional>
#include <mutex>
#include <set>
#include <string>

namespace keelpack {

class LogSink;
struct OptionSet;
struct RewriteTotals;

// What became of one file.
enum class JobOutcome {
  kRewritten,  // replaced by its rewritten form, or written to the output folder
  kDamaged,    // damaged: deleted, renamed by the mask or left alone, as the options say
  kNotJpeg,    // a JPEG name on other data: deleted, renamed or left alone
  kSkipped,    // not processed: a name with "?", a vanished file, not a regular file
  kFailed,     // could not be processed: left as it was (backup, folders, writing, check)
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
// Jobs on several threads may add to it at once.
class PendingFolderSyncs {
 public:
  void Add(const std::string& folder) {
    const std::lock_guard lock(mutex_);
    folders_.insert(folder);
  }
  void Flush();

 private:
  std::mutex mutex_;
  std::set<std::string> folders_;
};

// What a file job needs besides the file's path.
struct JobEnv {
  LogSink& log;
  const OptionSet& options;  // as they are when the job starts
  RewriteTotals& totals;
  const std::string& baseFolder;  // the folder the run started from
  // Lets the front end handle pending events between attempts to put the new file in place.
  std::function<void()> yield;
  bool durable = true;  // flush the new file to the disk before it replaces the old one
  std::string workId;   // names the job's Exif work files
  // Where a durable job leaves the folder it changed; without one it flushes it at once.
  PendingFolderSyncs* folderSyncs = nullptr;
};

// Carries one file through the name check, the backup, the rewrite, the verdict on damaged
// and non-JPEG files, the readability check and the final replacement. `path` is normalised
// in place. Never throws; every outcome is reported through the log.
JobOutcome ProcessFile(const JobEnv& env, std::string& path);

}  // namespace keelpack
