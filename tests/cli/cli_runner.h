#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace keelpack::test {

// How to start the built keelpack-cli. The child gets its own $XDG_CONFIG_HOME and
// $XDG_CACHE_HOME, so that no test reads or writes the user's own folders.
struct CliCall {
  std::vector<std::string> args;
  std::string configHome;
  std::string cacheHome;
  std::string input{};  // standard input
};

struct CliResult {
  int exitStatus = -1;  // -1 when the child did not exit normally
  std::string out;
  std::string err;
};

// A running keelpack-cli; its standard output and error go to files in memory that can be
// read while it runs.
class CliProcess {
 public:
  explicit CliProcess(const CliCall& call);
  ~CliProcess();
  CliProcess(const CliProcess&) = delete;
  CliProcess& operator=(const CliProcess&) = delete;

  // False when standard output (or error) does not show `text` in time.
  bool WaitFor(const std::string& text, std::chrono::seconds timeout, bool onError = false) const;
  void Signal(int signal) const;
  CliResult Finish();

 private:
  pid_t pid_ = -1;
  int out_ = -1;
  int err_ = -1;
};

inline CliResult RunCli(const CliCall& call) { return CliProcess(call).Finish(); }

// A file as the tests compare it before and after a run.
struct FileState {
  std::vector<uint8_t> bytes;
  int64_t mtimeNs = 0;
  unsigned mode = 0;
  friend bool operator==(const FileState&, const FileState&) = default;
};

// Every file below `folder` by its path relative to it.
std::map<std::string, FileState> Snapshot(const std::string& folder);

// Gives a file its permission bits and a modification time in nanoseconds.
void SetModeAndTime(const std::string& path, unsigned mode, int64_t mtimeNs);

// The numbers of a summary line "Finished. Out of F files, R were reduced saving B bytes.".
struct Summary {
  long files = -1;
  long reduced = -1;
  long long bytesSaved = -1;
};
// Every summary line of `out`, in order.
std::vector<Summary> Summaries(const std::string& out);

}  // namespace keelpack::test
