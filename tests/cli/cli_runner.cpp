#include "cli/cli_runner.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <regex>
#include <sstream>
#include <stdexcept>

#include "support/temp_dir.h"

extern char** environ;

namespace keelpack::test {
namespace {

constexpr unsigned short kTerminalColumns = 100;
constexpr unsigned short kTerminalRows = 24;
constexpr auto kFinishTimeout = std::chrono::minutes(5);

std::vector<std::string> ChildEnvironment(const CliCall& call) {
  std::vector<std::string> env;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string_view text(*entry);
    if (text.starts_with("XDG_CONFIG_HOME=") || text.starts_with("XDG_CACHE_HOME=")) continue;
    env.emplace_back(text);
  }
  env.push_back("XDG_CONFIG_HOME=" + call.configHome);
  env.push_back("XDG_CACHE_HOME=" + call.cacheHome);
  return env;
}

std::vector<char*> Pointers(std::vector<std::string>& texts) {
  std::vector<char*> pointers;
  for (std::string& text : texts) pointers.push_back(text.data());
  pointers.push_back(nullptr);
  return pointers;
}

}  // namespace

CliProcess::CliProcess(const CliCall& call) {
  std::vector<std::string> args{KEELPACK_CLI_PATH};
  args.insert(args.end(), call.args.begin(), call.args.end());
  std::vector<std::string> env = ChildEnvironment(call);
  std::vector<char*> argv = Pointers(args), envp = Pointers(env);

  int out[2], err[2], in[2];
  winsize size{kTerminalRows, kTerminalColumns, 0, 0};
  if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(in, O_CLOEXEC) != 0 ||
      (call.stderrOnTerminal ? ::openpty(&err[0], &err[1], nullptr, nullptr, &size)
                             : ::pipe2(err, O_CLOEXEC)) != 0)
    throw std::runtime_error("pipe");
  for (int fd : err) ::fcntl(fd, F_SETFD, FD_CLOEXEC);

  pid_ = ::fork();
  if (pid_ < 0) throw std::runtime_error("fork");
  if (pid_ == 0) {
    ::dup2(out[1], STDOUT_FILENO);
    ::dup2(err[1], STDERR_FILENO);
    ::dup2(call.input.empty() ? ::open("/dev/null", O_RDONLY) : in[0], STDIN_FILENO);
    ::execve(argv[0], argv.data(), envp.data());
    ::_exit(127);
  }
  for (int fd : {out[1], err[1], in[0]}) ::close(fd);
  if (::write(in[1], call.input.data(), call.input.size()) !=
      static_cast<ssize_t>(call.input.size()))
    throw std::runtime_error("standard input");
  ::close(in[1]);
  fds_[0] = out[0];
  fds_[1] = err[0];
}

CliProcess::~CliProcess() {
  if (pid_ > 0) {
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
  }
  for (int fd : fds_) {
    if (fd >= 0) ::close(fd);
  }
}

bool CliProcess::Pump(int timeoutMs) {
  pollfd polled[2] = {{fds_[0], POLLIN, 0}, {fds_[1], POLLIN, 0}};
  if (fds_[0] < 0 && fds_[1] < 0) return false;
  if (::poll(polled, 2, timeoutMs) < 0 && errno != EINTR) throw std::runtime_error("poll");
  std::string* sinks[2] = {&result_.out, &result_.err};
  for (int i = 0; i < 2; ++i) {
    if (fds_[i] < 0 || polled[i].revents == 0) continue;
    char buffer[8192];
    const ssize_t got = ::read(fds_[i], buffer, sizeof buffer);
    if (got > 0) {
      sinks[i]->append(buffer, static_cast<size_t>(got));
    } else if (got == 0 || errno != EINTR) {
      // End of a pipe, or EIO from a terminal whose other side has closed.
      ::close(fds_[i]);
      fds_[i] = -1;
    }
  }
  return fds_[0] >= 0 || fds_[1] >= 0;
}

bool CliProcess::WaitFor(std::string_view text, std::chrono::milliseconds timeout, bool onError) {
  const std::string& stream = onError ? result_.err : result_.out;
  const auto end = std::chrono::steady_clock::now() + timeout;
  while (stream.find(text) == std::string::npos) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        end - std::chrono::steady_clock::now());
    if (left.count() <= 0 || !Pump(static_cast<int>(left.count()))) return false;
  }
  return true;
}

void CliProcess::Signal(int signal) { ::kill(pid_, signal); }

void CliProcess::CloseOutput() {
  ::close(fds_[0]);
  fds_[0] = -1;
}

CliResult CliProcess::Finish() {
  const auto end = std::chrono::steady_clock::now() + kFinishTimeout;
  while (Pump(1000)) {
    if (std::chrono::steady_clock::now() > end) throw std::runtime_error("keelpack-cli hangs");
  }
  int status = 0;
  ::waitpid(pid_, &status, 0);
  pid_ = -1;
  result_.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result_;
}

std::map<std::string, FileState> Snapshot(const std::string& folder) {
  std::map<std::string, FileState> files;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
    if (!entry.is_regular_file()) continue;
    struct stat info {};
    ::stat(entry.path().c_str(), &info);
    FileState state{ReadFile(entry.path()),
                    info.st_mtim.tv_sec * 1'000'000'000LL + info.st_mtim.tv_nsec,
                    static_cast<unsigned>(info.st_mode & 07777)};
    files[std::filesystem::relative(entry.path(), folder).string()] = std::move(state);
  }
  return files;
}

void SetModeAndTime(const std::string& path, unsigned mode, int64_t mtimeNs) {
  const timespec times[2] = {{0, UTIME_OMIT}, {mtimeNs / 1'000'000'000, mtimeNs % 1'000'000'000}};
  if (::utimensat(AT_FDCWD, path.c_str(), times, 0) != 0 || ::chmod(path.c_str(), mode) != 0) {
    throw std::runtime_error("cannot set the time or mode of " + path);
  }
}

std::vector<Summary> Summaries(const std::string& out) {
  static const std::regex kLine(
      R"(^Finished\. Out of (\d+) files, (\d+) were reduced saving (-?\d+) bytes\.( \d+ folders skipped\.)?$)");
  std::vector<Summary> summaries;
  for (const std::string& line : Lines(out)) {
    std::smatch match;
    if (std::regex_match(line, match, kLine)) {
      summaries.push_back({std::stol(match[1]), std::stol(match[2]), std::stoll(match[3])});
    }
  }
  return summaries;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

}  // namespace keelpack::test
