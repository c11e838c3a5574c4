#pragma once
// Starts the built keelpack-cli as a user would, and looks at the files before and after.

#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <stdexcept>
#include <thread>

#include "support/temp_dir.h"

namespace keelpack::test {

// The child gets its own $XDG_CONFIG_HOME and $XDG_CACHE_HOME, so that no test reads or
// writes the user's own folders.
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

inline std::string ReadAll(int fd) {
  struct stat info {};
  std::string text(::fstat(fd, &info) == 0 ? static_cast<size_t>(info.st_size) : 0, '\0');
  text.resize(static_cast<size_t>(std::max<ssize_t>(::pread(fd, text.data(), text.size(), 0), 0)));
  return text;
}

// A running keelpack-cli. Its standard streams are files in memory, so that its output can be
// read while it runs and its input is there from the start.
class CliProcess {
 public:
  explicit CliProcess(const CliCall& call) {
    std::vector<std::string> args{KEELPACK_CLI_PATH};
    args.insert(args.end(), call.args.begin(), call.args.end());
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    const int in = ::memfd_create("in", MFD_CLOEXEC);
    out_ = ::memfd_create("out", MFD_CLOEXEC);
    err_ = ::memfd_create("err", MFD_CLOEXEC);
    const auto size = static_cast<ssize_t>(call.input.size());
    if (in < 0 || out_ < 0 || err_ < 0 ||
        ::pwrite(in, call.input.data(), call.input.size(), 0) != size) {
      throw std::runtime_error("cannot make the standard streams");
    }
    pid_ = ::fork();
    if (pid_ == 0) {  // the tests start no threads, so the child may still allocate
      ::setenv("XDG_CONFIG_HOME", call.configHome.c_str(), 1);
      ::setenv("XDG_CACHE_HOME", call.cacheHome.c_str(), 1);
      ::dup2(in, STDIN_FILENO), ::dup2(out_, STDOUT_FILENO), ::dup2(err_, STDERR_FILENO);
      ::execv(argv[0], argv.data());
      ::_exit(127);
    }
    ::close(in);
    if (pid_ < 0) throw std::runtime_error("fork");
  }
  ~CliProcess() {
    if (pid_ > 0) ::kill(pid_, SIGKILL), ::waitpid(pid_, nullptr, 0);
    ::close(out_), ::close(err_);
  }

  // False when standard output (or error) does not show `text` in time.
  bool WaitFor(const std::string& text, std::chrono::seconds timeout, bool onError = false) const {
    for (auto tries = timeout.count() * 200; tries > 0; --tries) {  // 5 ms apart
      if (ReadAll(onError ? err_ : out_).find(text) != std::string::npos) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
  }
  void Signal(int signal) const { ::kill(pid_, signal); }
  CliResult Finish() {
    int status = 0;
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadAll(out_), ReadAll(err_)};
  }

 private:
  pid_t pid_ = -1;
  int out_ = -1;
  int err_ = -1;
};

inline CliResult RunCli(const CliCall& call) { return CliProcess(call).Finish(); }

// The numbers of a summary line "Finished. Out of F files, R were reduced saving B bytes.".
struct Summary {
  long files = -1;
  long reduced = -1;
  long long bytesSaved = -1;
};

// Every summary line of `out`, in order.
inline std::vector<Summary> Summaries(const std::string& out) {
  std::vector<Summary> all;
  for (size_t at = 0; (at = out.find("Finished. Out of ", at)) != std::string::npos; ++at) {
    Summary s;
    const char* format = "Finished. Out of %ld files, %ld were reduced saving %lld bytes.";
    if (std::sscanf(&out[at], format, &s.files, &s.reduced, &s.bytesSaved) == 3) all.push_back(s);
  }
  return all;
}

}  // namespace keelpack::test
