#pragma once

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/file.h"

namespace keelpack::platform {

// Closes files on threads of its own. Closing the last descriptor of a file whose name is gone
// frees its blocks, and on a file system that discards freed blocks close then waits for the
// disk: a run hands the photos it has replaced to this and goes on with the next file. The
// threads start with the first file; the destructor closes whatever still waits.
class BackgroundCloser {
 public:
  BackgroundCloser() = default;
  ~BackgroundCloser();
  BackgroundCloser(const BackgroundCloser&) = delete;
  BackgroundCloser& operator=(const BackgroundCloser&) = delete;

  // Closes `file` soon, or at once when many wait already.
  void Close(File file);

 private:
  void Loop();

  std::mutex mutex_;
  std::condition_variable added_;
  std::deque<File> waiting_;
  bool stopping_ = false;
  std::vector<std::thread> threads_;
};

}  // namespace keelpack::platform
