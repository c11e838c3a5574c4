#include "runs/file_jobs.h"

#include <algorithm>

#include "platform/folder.h"
#include "runs/session.h"

namespace keelpack {

void CountFile(Session& session, const JobReport& report) {
  session.run().outcomes.Add(report.outcome);
  session.run().totals.Add(report);
  session.frontEnd().FileFinished(report);
}

void CommitBatch(Session& session) {
  const std::vector<JobReport> reports = session.batch().Commit(
      session.log(), [&session] { session.frontEnd().ProcessPendingEvents(); }, &session.closer());
  for (const JobReport& report : reports) CountFile(session, report);
}

namespace {

// Jobs added ahead per worker. A waiting job holds its path, its options and its lines, so the
// window can let a slow file be overtaken by many quick ones. A durable job that finished
// ahead also holds its source, its new file and their folder open until it is passed on, so
// the window stays well within the usual limit of 1024 open files on machines with many cores.
constexpr size_t kWindowPerWorker = 16;
constexpr size_t kMaxWindow = 128;

// What the lines of one job waiting for its turn may take. A job that logs more (a file of
// millions of fill bytes at the most detailed level) waits until its turn has come and its
// lines go out as they come.
constexpr size_t kMostHeldBytes = size_t{256} << 10;

}  // namespace

struct FileJobs::Slot : MessageHolder {
  enum class State { kWaiting, kRunning, kDone, kDropped };

  Slot(FileJobs& owner, std::string file, std::shared_ptr<const platform::Folder> holder,
       std::function<void()> then)
      : jobs(owner),
        path(std::move(file)),
        folder(std::move(holder)),
        step(std::move(then)),
        log(owner.session_.log(), *this) {}

  void Hold(LogMessage message) override {
    std::unique_lock lock(jobs.mutex_);
    heldBytes += sizeof message + message.text.size();
    held.push_back(std::move(message));
    if (jobs.order_.front().get() == this) jobs.headChanged_.notify_one();
    jobs.drained_.wait(lock, [this] { return heldBytes < kMostHeldBytes; });
  }
  bool Finished() const { return step || state == State::kDone || state == State::kDropped; }

  FileJobs& jobs;
  std::string path;
  std::shared_ptr<const platform::Folder> folder;
  std::function<void()> step;  // set for a step; a job has a path instead
  OptionSet options;
  LogSink log;         // holds the job's messages in `held`
  DurableBatch batch;  // the job's finished file, until it is passed on
  JobReport report;
  // Guarded by the mutex:
  std::vector<LogMessage> held;
  size_t heldBytes = 0;
  State state = State::kWaiting;
};

FileJobs::FileJobs(Session& session, std::function<void()> released)
    : session_(session), released_(std::move(released)) {
  const auto workers = static_cast<size_t>(std::max(session.settings().jobs, 1));
  if (workers == 1) return;
  for (size_t i = 0; i < workers; ++i) {
    try {
      workers_.emplace_back(&FileJobs::Worker, this);
    } catch (const std::system_error&) {
      // A process limit, or a container's: the run goes on with the threads it has, or with
      // none but this one, rather than stop half way.
      session.log().AppendScreenLog("Threads refused, jobs at a time: " +
                                        std::to_string(std::max<size_t>(workers_.size(), 1)),
                                    kVerbose);
      break;
    }
  }
  if (workers_.empty()) return;
  window_ = std::max(workers_.size(), std::min(kWindowPerWorker * workers_.size(), kMaxWindow));
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

void FileJobs::Add(std::string path, std::shared_ptr<const platform::Folder> folder) {
  auto slot = std::make_unique<Slot>(*this, std::move(path), std::move(folder), nullptr);
  slot->options = session_.frontEnd().Options();
  if (workers_.empty()) {
    const JobReport report =
        Run(*slot, session_.log(), session_.settings().durable ? &session_.batch() : nullptr,
            [this] { session_.frontEnd().ProcessPendingEvents(); });
    if (report.action != FileAction::kWaiting) CountFile(session_, report);
    Passed();
    return;
  }
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
  order_.push_back(std::make_unique<Slot>(*this, std::string(), nullptr, std::move(step)));
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
    if (head.heldBytes >= kMostHeldBytes) drained_.notify_all();
    head.heldBytes = 0;
    std::unique_ptr<Slot> finished;
    if (head.Finished()) {
      finished = std::move(order_.front());
      order_.pop_front();
    }
    lock.unlock();
    for (const LogMessage& message : messages) session_.log().Pass(message);
    if (finished) Release(*finished);
    lock.lock();
    if (!finished) return;
  }
}

void FileJobs::Release(Slot& slot) {
  if (slot.step) return slot.step();
  if (slot.state != Slot::State::kDone) return;  // never started: a cancel came first
  // A file that waits in a batch is counted when the batch puts it in place.
  if (slot.report.action != FileAction::kWaiting) CountFile(session_, slot.report);
  slot.batch.MoveTo(session_.batch());
  Passed();
}

void FileJobs::Passed() {
  if (session_.batch().Full()) CommitBatch(session_);
  if (released_) released_();
}

JobReport FileJobs::Run(Slot& slot, LogSink& log, DurableBatch* batch,
                        std::function<void()> yield) {
  const JobEnv env{log,
                   slot.options,
                   session_.run().baseFolder,
                   std::move(yield),
                   session_.settings().durable,
                   &session_.folderSyncs(),
                   slot.folder.get(),
                   session_.run().outputInTree,
                   batch,
                   &session_.closer(),
                   /*judged=*/nullptr,
                   session_.settings().dryRun};
  return ProcessFile(env, slot.path);
}

void FileJobs::Worker() {
  std::unique_lock lock(mutex_);
  for (;;) {
    workAdded_.wait(lock, [this] { return stopping_ || !toStart_.empty(); });
    if (toStart_.empty()) return;
    Slot& slot = *toStart_.front();
    toStart_.pop_front();
    if (session_.cancelRequested()) {
      slot.state = Slot::State::kDropped;
      ++dropped_;
    } else {
      slot.state = Slot::State::kRunning;
      lock.unlock();
      // No front end to yield to on this thread: a job's attempts to put its new file in
      // place follow one another. A durable job leaves its file in the slot's own batch.
      JobReport report =
          Run(slot, slot.log, session_.settings().durable ? &slot.batch : nullptr, nullptr);
      lock.lock();
      slot.report = std::move(report);
      slot.state = Slot::State::kDone;
    }
    if (order_.front().get() == &slot) headChanged_.notify_one();
  }
}

}  // namespace keelpack
