#include "cli/cli_front_end.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>

#include "cli/json_records.h"

namespace keelpack::cli {
namespace {

constexpr std::string_view kCarriageReturn = "\r";
constexpr std::string_view kClearToEnd = "\x1b[K";
constexpr char kFilled = '#';
constexpr char kEmpty = '-';
constexpr int kMinWidth = 20;

}  // namespace

Console Console::Standard() {
  Console console;
  console.errIsTerminal = ::isatty(STDERR_FILENO) == 1;
  console.outIsTerminal = ::isatty(STDOUT_FILENO) == 1;
  return console;
}

std::string Printable(std::string_view line) {
  std::string shown;
  shown.reserve(line.size());
  auto escape = [&shown](unsigned char byte) {
    char text[5];
    std::snprintf(text, sizeof text, "\\x%02X", byte);
    shown += text;
  };
  for (size_t i = 0; i < line.size();) {
    const auto lead = static_cast<unsigned char>(line[i]);
    if (lead >= 0x20 && lead < 0x7F) {
      shown += line[i++];
      continue;
    }
    // The length of a well-formed UTF-8 sequence starting here, or 0.
    size_t length = lead >= 0xC2 && lead <= 0xDF   ? 2
                    : lead >= 0xE0 && lead <= 0xEF ? 3
                    : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                   : 0;
    if (length > line.size() - i) length = 0;
    for (size_t k = 1; k < length; ++k) {
      if ((static_cast<unsigned char>(line[i + k]) & 0xC0) != 0x80) length = 0;
    }
    if (length > 0) {
      const auto second = static_cast<unsigned char>(line[i + 1]);
      const bool overlong = (lead == 0xE0 && second < 0xA0) || (lead == 0xF0 && second < 0x90);
      const bool surrogate = lead == 0xED && second >= 0xA0;
      const bool beyond = lead == 0xF4 && second >= 0x90;
      const bool c1 = lead == 0xC2 && second < 0xA0;  // U+0080 to U+009F, controls too
      if (overlong || surrogate || beyond || c1) length = 0;
    }
    if (length == 0) {
      escape(lead);
      ++i;
    } else {
      shown.append(line.substr(i, length));
      i += length;
    }
  }
  return shown;
}

std::string StatusLine(std::string_view text, float percent, int width) {
  const float clamped = std::clamp(percent, 0.0f, 100.0f);
  const int filled = static_cast<int>(std::lround(clamped * kBarWidth / 100.0f));
  char number[8];
  std::snprintf(number, sizeof number, "%3d%%", static_cast<int>(std::lround(clamped)));
  std::string line = "[" + std::string(filled, kFilled) + std::string(kBarWidth - filled, kEmpty) +
                     "] " + number + " ";
  const size_t room = static_cast<size_t>(std::max(width - 1, 0));
  if (line.size() >= room) return line.substr(0, room);
  line.append(Printable(text).substr(0, room - line.size()));
  return line;
}

void CliFrontEnd::AppendLine(std::string_view line, bool showNewest) {
  // Only the log file's failure comes without `showNewest`: a notice about the program, not
  // about a photo, so it goes where the others do, whatever the verbosity.
  if (!showNewest) return Notice(line);
  if (verbosity_ == Verbosity::kQuiet || json_) return;
  PrintLine(line);
}

void CliFrontEnd::SetStatusText(std::string_view text) {
  status_ = text;
  DrawStatus();
}

void CliFrontEnd::SetRunning(RunKind /*kind*/, bool running) {
  if (running) {
    status_.clear();
    lastPrinted_.clear();  // two runs may well end with the same summary
    percent_ = 0;
    runSkippedFolders_ = 0;
    if (cancelRequested_ && interrupted_ && interrupted_()) *cancelRequested_ = true;
    return;
  }
  // The status line's last text is the run's summary: it stays, on standard output, for
  // every run, with the folders that had to be left out. With -v the log has just shown it.
  ClearStatus();
  if (json_) return;  // the run's record follows
  const bool shown = !status_.empty() && status_ == lastPrinted_;
  if (runSkippedFolders_ > 0) {
    PrintLine(status_ + " " + std::to_string(runSkippedFolders_) + " folders skipped.");
  } else if (!status_.empty() && !shown) {
    PrintLine(status_);
  }
}

void CliFrontEnd::FolderSkipped(std::string_view line) {
  ++skippedFolders_;
  ++runSkippedFolders_;
  Notice(line);
}

void CliFrontEnd::Notice(std::string_view line) {
  const bool shared = statusShown_;
  if (shared) ClearStatus();
  WriteErr(Printable(line) + "\n");
  if (shared) DrawStatus();
}

void CliFrontEnd::FileFinished(const JobReport& report) {
  if (json_) PrintLine(FileRecord(report));
}

void CliFrontEnd::PrintLine(std::string_view line) {
  // On one screen, the status line gives way to the log line and comes back below it.
  const bool shared = statusShown_ && console_.outIsTerminal;
  if (shared) ClearStatus();
  const std::string shown = Printable(line);
  std::fwrite(shown.data(), 1, shown.size(), console_.out);
  std::fputc('\n', console_.out);
  // Flushed line by line: a second Ctrl+C ends the process without flushing anything.
  std::fflush(console_.out);
  lastPrinted_ = line;
  if (shared) DrawStatus();
}

void CliFrontEnd::DrawStatus() {
  if (!console_.errIsTerminal) return;
  WriteErr(std::string(kCarriageReturn) + StatusLine(status_, percent_, Width()) +
           std::string(kClearToEnd));
  statusShown_ = true;
}

void CliFrontEnd::ClearStatus() {
  if (!statusShown_) return;
  WriteErr(std::string(kCarriageReturn) + std::string(kClearToEnd));
  statusShown_ = false;
}

void CliFrontEnd::WriteErr(std::string_view text) {
  while (!text.empty()) {
    const ssize_t written = ::write(console_.errFd, text.data(), text.size());
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return;  // a status line is not worth failing for
    text.remove_prefix(static_cast<size_t>(written));
  }
}

int CliFrontEnd::Width() const {
  winsize size{};
  if (::ioctl(console_.errFd, TIOCGWINSZ, &size) == 0 && size.ws_col >= kMinWidth)
    return size.ws_col;
  return console_.fallbackWidth;
}

}  // namespace keelpack::cli
