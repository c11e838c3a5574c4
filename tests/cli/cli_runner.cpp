#include "cli/cli_runner.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <regex>
#include <sstream>
#include <stdexcept>
#include <string_view>
#include <thread>

#include "support/temp_dir.h"

extern char** environ;

namespace keelpack::test {
namespace {

std::string ReadAll(int fd) {
  std::string text;
  char buffer[8192];
  for (ssize_t got; (got = ::pread(fd, buffer, sizeof buffer, static_cast<off_t>(text.size()))) > 0;) {
    text.append(buffer, static_cast<size_t>(got));
  }
  return text;
}

}  // namespace

CliProcess::CliProcess(const CliCall& call) {
  std::vector<std::string> texts{KEELPACK_CLI_PATH};
  texts.insert(texts.end(), call.args.begin(), call.args.end());
  const size_t argCount = texts.size();
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string_view text(*entry);
    if (!text.starts_with("XDG_CONFIG_HOME=") && !text.starts_with("XDG_CACHE_HOME=")) {
      texts.emplace_back(text);
    }
  }
  texts.push_back("XDG_CONFIG_HOME=" + call.configHome);
  texts.push_back("XDG_CACHE_HOME=" + call.cacheHome);
  std::vector<char*> argv, envp;
  for (size_t i = 0; i < texts.size(); ++i) (i < argCount ? argv : envp).push_back(texts[i].data());
  argv.push_back(nullptr);
  envp.push_back(nullptr);

  // Standard input too is a file in memory: the child reads it from its start.
  const int in = ::memfd_create("in", MFD_CLOEXEC);
  out_ = ::memfd_create("out", MFD_CLOEXEC);
  err_ = ::memfd_create("err", MFD_CLOEXEC);
  if (in < 0 || out_ < 0 || err_ < 0 ||
      ::pwrite(in, call.input.data(), call.input.size(), 0) != static_cast<ssize_t>(call.input.size())) {
    throw std::runtime_error("cannot make the standard streams");
  }
  pid_ = ::fork();
  if (pid_ == 0) {
    ::dup2(in, STDIN_FILENO);
    ::dup2(out_, STDOUT_FILENO);
    ::dup2(err_, STDERR_FILENO);
    ::execve(argv[0], argv.data(), envp.data());
    ::_exit(127);
  }
  ::close(in);
  if (pid_ < 0) throw std::runtime_error("fork");
}

CliProcess::~CliProcess() {
  if (pid_ > 0) {
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
  }
  for (int fd : {out_, err_}) ::close(fd);
}

bool CliProcess::WaitFor(const std::string& text, std::chrono::seconds timeout, bool onError) const {
  const auto end = std::chrono::steady_clock::now() + timeout;
  while (ReadAll(onError ? err_ : out_).find(text) == std::string::npos) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

void CliProcess::Signal(int signal) const { ::kill(pid_, signal); }

CliResult CliProcess::Finish() {
  int status = 0;
  ::waitpid(pid_, &status, 0);
  pid_ = -1;
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadAll(out_), ReadAll(err_)};
}

std::map<std::string, FileState> Snapshot(const std::string& folder) {
  std::map<std::string, FileState> files;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
    if (!entry.is_regular_file()) continue;
    struct stat info {};
    ::stat(entry.path().c_str(), &info);
    files[std::filesystem::relative(entry.path(), folder).string()] = {
        ReadFile(entry.path()), info.st_mtim.tv_sec * 1'000'000'000LL + info.st_mtim.tv_nsec,
        static_cast<unsigned>(info.st_mode & 07777)};
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
  std::istringstream in(out);
  for (std::string line; std::getline(in, line);) {
    if (std::smatch match; std::regex_match(line, match, kLine)) {
      summaries.push_back({std::stol(match[1]), std::stol(match[2]), std::stoll(match[3])});
    }
  }
  return summaries;
}

}  // namespace keelpack::test
