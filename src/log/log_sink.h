#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace keelpack {

// Message levels. A message reaches the log file when its level is at most the log level.
inline constexpr int kScreenOnly = 0;
inline constexpr int kBrief = 1;
inline constexpr int kVerbose = 2;
inline constexpr int kExplicit = 3;

// The on-screen log: the window's log box, or standard output for the command line.
class LogBox {
 public:
  virtual ~LogBox() = default;
  // Adds one line. `showNewest` brings the newest line into view; the one-time log-file
  // warning is added without it.
  virtual void AppendLine(std::string_view line, bool showNewest) = 0;
  virtual void Clear() = 0;
};

// One message as it was given to a log sink.
struct LogMessage {
  std::string text;
  int level = kScreenOnly;
  bool screen = false;  // given to AppendScreenLog; otherwise to WriteLog
  bool startNew = false;
};

// Takes the messages of a sink that does not show or write them itself: file jobs that run
// at the same time hold their messages, so that each file's lines reach the log together.
class MessageHolder {
 public:
  virtual ~MessageHolder() = default;
  virtual void Hold(LogMessage message) = 0;
};

// The two logging procedures every part of the program reports through, and the log file.
class LogSink {
 public:
  explicit LogSink(LogBox& box) : box_(box) {}
  // A sink with the levels of `like` that hands every message to `holder` untouched; Pass
  // gives them to the real sink later, which then does exactly what it would have done.
  LogSink(const LogSink& like, MessageHolder& holder)
      : logLevel_(like.logLevel_),
        screenDebug_(like.screenDebug_),
        echoOnce_(like.echoOnce_),
        box_(like.box_),
        holder_(&holder) {}

  // Shows or writes a held message as if it had been given to this sink in the first place.
  void Pass(const LogMessage& message);

  // Shows the message in the log box; with a level of 1 or more also hands it to WriteLog.
  void AppendScreenLog(std::string_view message, int level);

  // Appends the message to the log file when the log level lets it through; with
  // `startNew` the file is started afresh. Never fails towards the caller.
  void WriteLog(std::string_view message, int level, bool startNew = false);

  // Whether a WriteLog message at `level` goes anywhere, so that callers can skip building
  // lines that nobody will read.
  bool Wants(int level) const { return screenDebug_ || (logLevel_ > 0 && level <= logLevel_); }

  // The log file's level, which this sink alone keeps: 0 no log file, 1 Brief, 2 Verbose,
  // 3 Explicit. Front ends set it from their controls and read it back from here.
  int logLevel() const { return logLevel_; }
  void SetLogLevel(int level) { logLevel_ = level; }
  // Echoes every WriteLog message to the log box as well.
  bool screenDebug() const { return screenDebug_; }
  void SetScreenDebug(bool on) { screenDebug_ = on; }
  // With the echo, a message given to AppendScreenLog is shown once rather than twice (the
  // window shows it twice; a text stream reads better without the repeat).
  void SetEchoOnce(bool on) { echoOnce_ = on; }

  // The log file: keelpack.log in the application-data folder, looked up anew each time.
  // Nothing when that folder can be neither found nor made: the log file is then off.
  static std::optional<std::string> LogFilePath();

  LogBox& box() { return box_; }

 private:
  // WriteLog for a message that the log box has shown already when `shown`.
  void Write(std::string_view message, int level, bool startNew, bool shown);

  int logLevel_ = 0;
  bool screenDebug_ = false;
  bool echoOnce_ = false;
  bool failureReported_ = false;  // the one-time log-file warning was shown
  LogBox& box_;
  MessageHolder* holder_ = nullptr;
};

}  // namespace keelpack
