#include "log/log_sink.h"

#include "platform/files.h"
#include "platform/folders.h"
#include "version.h"

namespace keelpack {
namespace {

constexpr std::string_view kLineEnd = "\r\n";

// Writes one record and closes the file again, so that no handle outlives a message.
bool AppendRecord(const std::string& path, std::string_view message, bool startNew) {
  const std::string_view pieces[] = {message, kLineEnd};
  return platform::AppendToFile(path, pieces, startNew).has_value();
}

}  // namespace

void LogSink::AppendScreenLog(std::string_view message, int level) {
  if (holder_) return holder_->Hold({std::string(message), level, true, false});
  box_.AppendLine(message, true);
  if (level >= kBrief) Write(message, level, false, true);
}

void LogSink::WriteLog(std::string_view message, int level, bool startNew) {
  if (holder_) return holder_->Hold({std::string(message), level, false, startNew});
  Write(message, level, startNew, false);
}

void LogSink::Write(std::string_view message, int level, bool startNew, bool shown) {
  if (screenDebug_ && !(shown && echoOnce_)) AppendScreenLog(message, kScreenOnly);
  if (logLevel_ == 0 || level > logLevel_) return;
  // Without a per-user folder there is no log file: nothing is ever written elsewhere.
  const std::optional<std::string> path = LogFilePath();
  if ((!path || !AppendRecord(*path, message, startNew)) && !failureReported_) {
    failureReported_ = true;
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

std::optional<std::string> LogSink::LogFilePath() {
  const std::optional<std::string> folder = platform::AppDataFolder();
  if (!folder) return std::nullopt;
  return *folder + "/" + std::string(kFileBaseName) + ".log";
}

}  // namespace keelpack
