#include "platform/background_closer.h"

#include <system_error>

namespace keelpack::platform {
namespace {

// Enough to keep the disk busy with several files at once; few enough descriptors held open.
constexpr size_t kThreads = 4;
constexpr size_t kMostWaiting = 64;

}  // namespace

BackgroundCloser::~BackgroundCloser() {
  {
    const std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  added_.notify_all();
  for (std::thread& thread : threads_) thread.join();
}

void BackgroundCloser::Close(File file) {
  std::unique_lock lock(mutex_);
  if (waiting_.size() >= kMostWaiting) {
    lock.unlock();
    (void)file.Close();
    return;
  }
  if (threads_.size() < kThreads) {
    try {
      threads_.emplace_back([this] { Loop(); });
    } catch (const std::system_error&) {
      // The system refuses threads: those there are close it, or this one at once.
      if (threads_.empty()) {
        lock.unlock();
        (void)file.Close();
        return;
      }
    }
  }
  waiting_.push_back(std::move(file));
  lock.unlock();
  added_.notify_one();
}

void BackgroundCloser::Loop() {
  std::unique_lock lock(mutex_);
  for (;;) {
    added_.wait(lock, [this] { return stopping_ || !waiting_.empty(); });
    if (waiting_.empty()) return;
    File file = std::move(waiting_.front());
    waiting_.pop_front();
    lock.unlock();
    (void)file.Close();
    lock.lock();
  }
}

}  // namespace keelpack::platform
