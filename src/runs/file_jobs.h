#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "jobs/process_file.h"

namespace keelpack {

namespace platform {
class Folder;
}
class Session;

// Puts the new files that wait in the session's batch in place, and counts them: a file that
// could not be put in place counts as failed after all.
void CommitBatch(Session& session);

// The file jobs of one run, handed back in the order they were added: each job's log lines
// together, then its report (counted, and given to the front end), then `released` (the progress).
// With one job at a time a job runs on the caller's thread as it is added, and may let the front
// end handle its events. With more, worker threads run the jobs while the caller goes on adding;
// only the caller's thread passes their results on, so only it talks to the front end, and only it
// hands a durable job's finished file to the session's batch and commits the batch: a batch
// holds the same files, and its lines come at the same place, as with one job. The lines of
// the oldest unfinished job are passed on as they come, those of later jobs when it is their
// turn. A bounded window of jobs is added ahead, so that a slow file does not hold up the
// others and what waits stays small; a job whose held lines grow large waits for its turn.
// Once a cancel is requested, the workers start no further job; those already started are
// finished. When the system refuses threads, the jobs run on fewer, or on the caller's.
class FileJobs {
 public:
  FileJobs(Session& session, std::function<void()> released);
  ~FileJobs();
  FileJobs(const FileJobs&) = delete;
  FileJobs& operator=(const FileJobs&) = delete;

  // Adds the job of `path`, first waiting while the window is full. `folder` is the open
  // folder that holds the file, when the run has one; the job keeps it open until it has
  // been passed on.
  void Add(std::string path, std::shared_ptr<const platform::Folder> folder = nullptr);
  // Runs `step` on the caller's thread once every job added before it has been passed on.
  void Then(std::function<void()> step);
  // Waits for every job added so far and passes it on.
  void Finish();
  // Jobs that were added but never started, because a cancel came first.
  int Dropped();

 private:
  struct Slot;

  void Worker();
  // Runs the slot's job, with its lines and finished file going where they are told.
  JobReport Run(Slot& slot, LogSink& log, DurableBatch* batch, std::function<void()> yield);
  // After a job's outcome has been counted: commits the batch once it is full.
  void Passed();
  // With the lock held: passes on whatever the oldest slots have, in order, unlocking while
  // the results go to the session.
  void PassOn(std::unique_lock<std::mutex>& lock);
  bool HeadHasNews() const;
  void Release(Slot& slot);

  Session& session_;
  std::function<void()> released_;
  size_t window_ = 1;

  std::mutex mutex_;
  std::condition_variable headChanged_;  // the oldest slot has lines or has finished
  std::condition_variable workAdded_;
  std::condition_variable drained_;          // a job's held lines were passed on
  std::deque<std::unique_ptr<Slot>> order_;  // not yet passed on, in the order added
  std::deque<Slot*> toStart_;                // jobs no worker has taken yet
  bool stopping_ = false;
  int dropped_ = 0;
  std::vector<std::thread> workers_;
};

}  // namespace keelpack
