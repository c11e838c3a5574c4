#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace keelpack::test {

// How to start the built keelpack-cli. The child gets its own $XDG_CONFIG_HOME and
// $XDG_CACHE_HOME, so that no test reads or writes the user's own folders.
struct CliCall {
  std::vector<std::string> args;
  std::string configHome;
  std::string cacheHome;
  bool stderrOnTerminal = false;  // standard error is a pseudo-terminal 100 columns wide
  std::string input{};            // standard input (at most a pipe's size); else /dev/null
};

struct CliResult {
  int exitStatus = -1;  // -1 when the child did not exit normally
  std::string out;
  std::string err;
};

// A running keelpack-cli whose standard output and error are read as it goes.
class CliProcess {
 public:
  explicit CliProcess(const CliCall& call);
  ~CliProcess();
  CliProcess(const CliProcess&) = delete;
  CliProcess& operator=(const CliProcess&) = delete;

  // Reads until standard output (or error) holds `text`; false when the child ends or time
  // runs out.
  bool WaitFor(std::string_view text, std::chrono::milliseconds timeout, bool onError = false);
  void Signal(int signal);
  // Stops reading standard output, as a pager that was closed early.
  void CloseOutput();
  // Reads everything that is left and waits for the child's end.
  CliResult Finish();

 private:
  bool Pump(int timeoutMs);  // false once both streams are closed

  pid_t pid_ = -1;
  int fds_[2] = {-1, -1};  // standard output, standard error
  CliResult result_;
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

// The lines of `text`, without their line ends.
std::vector<std::string> Lines(const std::string& text);

}  // namespace keelpack::test
