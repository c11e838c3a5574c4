#include "log/log_sink.h"

#include <fcntl.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cerrno>

#include "platform/folders.h"
#include "version.h"

namespace keelpack {
namespace {

constexpr std::string_view kLineEnd = "\r\n";

// Writes one record and closes the file again, so that no handle outlives a message.
bool AppendRecord(const std::string& path, std::string_view message, bool startNew) {
  int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (startNew ? O_TRUNC : O_APPEND);
  int fd = ::open(path.c_str(), flags, 0666);
  if (fd < 0) return false;
  iovec parts[2] = {{const_cast<char*>(message.data()), message.size()},
                    {const_cast<char*>(kLineEnd.data()), kLineEnd.size()}};
  const size_t total = message.size() + kLineEnd.size();
  ssize_t written;
  do {
    written = ::writev(fd, parts, 2);
  } while (written < 0 && errno == EINTR);
  bool ok = written == static_cast<ssize_t>(total);
  if (::close(fd) != 0) ok = false;
  return ok;
}

}  // namespace

void LogSink::AppendScreenLog(std::string_view message, int level) {
  if (holder_) return holder_->Hold({std::string(message), level, true, false});
  box_.AppendLine(message, true);
  if (level >= kBrief) WriteLog(message, level, false);
}

void LogSink::WriteLog(std::string_view message, int level, bool startNew) {
  if (holder_) return holder_->Hold({std::string(message), level, false, startNew});
  if (screenDebug) AppendScreenLog(message, kScreenOnly);
  if (logLevel == 0 || level > logLevel) return;
  // Without a per-user folder there is no log file: nothing is ever written elsewhere.
  const std::string path = LogFilePath();
  if ((path.empty() || !AppendRecord(path, message, startNew)) && !failureReported) {
    failureReported = true;
    box_.AppendLine("Failed to write to the logfile!", false);
  }
}

void LogSink::Pass(const LogMessage& message) {
  if (message.screen) {
    AppendScreenLog(message.text, message.level);
  } else {
    WriteLog(message.text, message.level, message.startNew);
  }
}

std::string LogSink::LogFilePath() {
  const std::string folder = platform::AppDataFolder();
  if (folder.empty()) return {};
  return folder + "/" + std::string(kFileBaseName) + ".log";
}

}  // namespace keelpack
