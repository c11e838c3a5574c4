#include "runs/file_jobs.h"

#include <algorithm>

#include "runs/session.h"

namespace keelpack {
namespace {

// Jobs added ahead per worker. Each waiting job holds only its path, its options and its
// lines, so the window can let a slow file be overtaken by many quick ones.
constexpr size_t kWindowPerWorker = 16;

}  // namespace

struct FileJobs::Slot : MessageHolder {
  enum class State { kWaiting, kRunning, kDone, kDropped };

  Slot(FileJobs& owner, std::string file, std::function<void()> then)
      : jobs(owner), path(std::move(file)), step(std::move(then)), log(owner.session_.log, *this) {}

  void Hold(LogMessage message) override {
    const std::lock_guard lock(jobs.mutex_);
    held.push_back(std::move(message));
    if (jobs.order_.front().get() == this) jobs.headChanged_.notify_one();
  }
  bool Finished() const { return step || state == State::kDone || state == State::kDropped; }

  FileJobs& jobs;
  std::string path;
  std::function<void()> step;  // set for a step; a job has a path instead
  OptionSet options;
  LogSink log;  // holds the job's messages in `held`
  RewriteTotals totals;
  JobOutcome outcome = JobOutcome::kSkipped;
  // Guarded by the mutex:
  std::vector<LogMessage> held;
  State state = State::kWaiting;
};

FileJobs::FileJobs(Session& session, std::function<void()> released)
    : session_(session), released_(std::move(released)) {
  const int workers = std::max(session.jobs, 1);
  if (workers == 1) return;
  window_ = kWindowPerWorker * static_cast<size_t>(workers);
  for (int i = 0; i < workers; ++i) workers_.emplace_back(&FileJobs::Worker, this, i);
}

FileJobs::~FileJobs() {
  Finish();
  {
    const std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  workAdded_.notify_all();
  for (std::thread& worker : workers_) worker.join();
}

void FileJobs::Add(std::string path) {
  const OptionSet options = session_.frontEnd.Options();
  if (workers_.empty()) {
    const JobEnv env{session_.log,
                     options,
                     session_.totals,
                     session_.baseFolder,
                     [this] { session_.frontEnd.ProcessPendingEvents(); },
                     session_.durable,
                     session_.workId,
                     &session_.folderSyncs};
    session_.outcomes.Add(ProcessFile(env, path));
    if (released_) released_();
    return;
  }
  auto slot = std::make_unique<Slot>(*this, std::move(path), nullptr);
  slot->options = options;
  std::unique_lock lock(mutex_);
  PassOn(lock);
  while (order_.size() >= window_) {
    headChanged_.wait(lock, [this] { return HeadHasNews(); });
    PassOn(lock);
  }
  toStart_.push_back(slot.get());
  order_.push_back(std::move(slot));
  lock.unlock();
  workAdded_.notify_one();
}

void FileJobs::Then(std::function<void()> step) {
  if (workers_.empty()) return step();
  std::unique_lock lock(mutex_);
  order_.push_back(std::make_unique<Slot>(*this, std::string(), std::move(step)));
  PassOn(lock);
}

void FileJobs::Finish() {
  if (workers_.empty()) return;
  std::unique_lock lock(mutex_);
  PassOn(lock);
  while (!order_.empty()) {
    headChanged_.wait(lock, [this] { return HeadHasNews(); });
    PassOn(lock);
  }
}

int FileJobs::Dropped() {
  const std::lock_guard lock(mutex_);
  return dropped_;
}

bool FileJobs::HeadHasNews() const {
  const Slot& head = *order_.front();
  return !head.held.empty() || head.Finished();
}

void FileJobs::PassOn(std::unique_lock<std::mutex>& lock) {
  while (!order_.empty()) {
    Slot& head = *order_.front();
    std::vector<LogMessage> messages;
    messages.swap(head.held);
    std::unique_ptr<Slot> finished;
    if (head.Finished()) {
      finished = std::move(order_.front());
      order_.pop_front();
    }
    lock.unlock();
    for (const LogMessage& message : messages) session_.log.Pass(message);
    if (finished) Release(*finished);
    lock.lock();
    if (!finished) return;
  }
}

void FileJobs::Release(Slot& slot) {
  if (slot.step) return slot.step();
  if (slot.state != Slot::State::kDone) return;  // never started: a cancel came first
  session_.totals.filesReduced += slot.totals.filesReduced;
  session_.totals.bytesSaved += slot.totals.bytesSaved;
  session_.outcomes.Add(slot.outcome);
  if (released_) released_();
}

void FileJobs::Worker(int index) {
  // Jobs that run at the same time must not share work files.
  const std::string workId = session_.workId + "-" + std::to_string(index);
  std::unique_lock lock(mutex_);
  for (;;) {
    workAdded_.wait(lock, [this] { return stopping_ || !toStart_.empty(); });
    if (toStart_.empty()) return;
    Slot& slot = *toStart_.front();
    toStart_.pop_front();
    if (session_.cancelRequested) {
      slot.state = Slot::State::kDropped;
      ++dropped_;
    } else {
      slot.state = Slot::State::kRunning;
      lock.unlock();
      // No front end to yield to on this thread: a job's attempts to put its new file in
      // place follow one another.
      const JobEnv env{slot.log, slot.options,     slot.totals, session_.baseFolder,
                       nullptr,  session_.durable, workId,      &session_.folderSyncs};
      const JobOutcome outcome = ProcessFile(env, slot.path);
      lock.lock();
      slot.outcome = outcome;
      slot.state = Slot::State::kDone;
    }
    if (order_.front().get() == &slot) headChanged_.notify_one();
  }
}

}  // namespace keelpack
