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
// read while it runs and its input is there from the start. It inherits the environment, so a
// test runs it inside a Sandbox to keep it out of the user's own folders.
class CliProcess {
 public:
  // `launcher`: a program, with its arguments, that starts keelpack-cli under other conditions.
  explicit CliProcess(std::vector<std::string> args, const std::string& input = "",
                      std::vector<std::string> launcher = {}) {
    args.insert(args.begin(), KEELPACK_CLI_PATH);
    args.insert(args.begin(), launcher.begin(), launcher.end());
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    const int in = ::memfd_create("in", MFD_CLOEXEC);
    if (in < 0 || out_ < 0 || err_ < 0 ||
        ::pwrite(in, input.data(), input.size(), 0) != static_cast<ssize_t>(input.size()))
      throw std::runtime_error("cannot make the standard streams");
    pid_ = ::fork();
    if (pid_ == 0) {
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
    ::waitpid(pid_, &status, 0), pid_ = -1;
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadAll(out_), ReadAll(err_)};
  }

 private:
  pid_t pid_ = -1;
  int out_ = ::memfd_create("out", MFD_CLOEXEC);
  int err_ = ::memfd_create("err", MFD_CLOEXEC);
};

inline CliResult RunCli(std::vector<std::string> args, const std::string& input = "") {
  return CliProcess(std::move(args), input).Finish();
}

// The numbers of a summary line "Finished. Out of F files, R were reduced saving B bytes.":
// files, reduced files, bytes saved.
using Summary = std::tuple<long, long, long long>;

// Every summary line of `out`, in order.
inline std::vector<Summary> Summaries(const std::string& out) {
  std::vector<Summary> all;
  for (size_t at = 0; (at = out.find("Finished. Out of ", at)) != std::string::npos; ++at) {
    auto& [files, reduced, saved] = all.emplace_back();
    const char* format = "Finished. Out of %ld files, %ld were reduced saving %lld bytes.";
    if (std::sscanf(&out[at], format, &files, &reduced, &saved) != 3) all.pop_back();
  }
  return all;
}

}  // namespace keelpack::test
