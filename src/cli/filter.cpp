#include "cli/filter.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <deque>
#include <functional>
#include <span>
#include <vector>

#include "cli/cli_front_end.h"
#include "jobs/rewrite_file.h"
#include "jpeg/picture_check.h"
#include "jpeg/rewrite_jpeg.h"
#include "log/log_sink.h"

namespace keelpack::cli {
namespace {

// How the picture is named in the log lines.
constexpr const char* kInputName = "(standard input)";
constexpr size_t kReadStep = size_t{1} << 20;

// Log lines on standard error, as far as the verbosity lets them through.
class ErrorBox : public LogBox {
 public:
  explicit ErrorBox(Verbosity verbosity) : verbosity_(verbosity) {}
  void AppendLine(std::string_view line, bool) override {
    if (verbosity_ == Verbosity::kQuiet) return;
    const std::string shown = Printable(line) + "\n";
    (void)!::write(STDERR_FILENO, shown.data(), shown.size());
  }
  void Clear() override {}

 private:
  Verbosity verbosity_;
};

int Refuse(const std::string& why) {
  const std::string line = std::string(kCliName) + ": " + why + "\n";
  (void)!::write(STDERR_FILENO, line.data(), line.size());
  return kExitNotAllRewritten;
}

// All of standard input; a file given there is read in one piece of its own size.
bool ReadInput(std::vector<uint8_t>& bytes) {
  struct stat info {};
  if (::fstat(STDIN_FILENO, &info) == 0 && S_ISREG(info.st_mode)) {
    bytes.reserve(static_cast<size_t>(info.st_size) + 1);
  }
  for (;;) {
    if (bytes.capacity() - bytes.size() == 0)
      bytes.reserve(bytes.size() + std::max(kReadStep, bytes.size() / 2));
    const size_t had = bytes.size();
    bytes.resize(bytes.capacity());
    const ssize_t got = ::read(STDIN_FILENO, bytes.data() + had, bytes.size() - had);
    bytes.resize(had + static_cast<size_t>(std::max<ssize_t>(got, 0)));
    if (got == 0) return true;
    if (got < 0 && errno != EINTR) return false;
  }
}

// What the rewrite hands on, held until its verdict: the stretches of the input as views of
// it, only the bytes the rewrite made as copies, so that the picture is not held twice.
class HeldOutput : public RewriteSink {
 public:
  explicit HeldOutput(std::span<const uint8_t> input) : input_(input) {}

  Status Write(std::span<const std::span<const uint8_t>> pieces) override {
    const std::less<const uint8_t*> before;
    for (std::span<const uint8_t> piece : pieces) {
      const bool inInput = !before(piece.data(), input_.data()) &&
                           !before(input_.data() + input_.size(), piece.data() + piece.size());
      if (!inInput) piece = made_.emplace_back(piece.begin(), piece.end());
      pieces_.push_back(piece);
    }
    return {};
  }
  // The input is held whole.
  Status CopyInput(uint64_t, uint64_t) override { return Failure::System(EINVAL); }

  std::vector<uint8_t> Joined() const {
    std::vector<uint8_t> all;
    for (const auto piece : pieces_) all.insert(all.end(), piece.begin(), piece.end());
    return all;
  }
  bool WriteTo(int fd) const {
    for (std::span<const uint8_t> bytes : pieces_) {
      while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        bytes = bytes.subspan(static_cast<size_t>(written));
      }
    }
    return true;
  }

 private:
  std::span<const uint8_t> input_;
  std::vector<std::span<const uint8_t>> pieces_;
  std::deque<std::vector<uint8_t>> made_;  // never moves what it holds
};

}  // namespace

int RunFilter(const CliRequest& request) {
  // The picture is binary: neither typed in nor shown.
  if (::isatty(STDIN_FILENO) == 1)
    return Refuse("- reads a picture from standard input, which is a terminal");
  if (::isatty(STDOUT_FILENO) == 1)
    return Refuse("- writes a picture to standard output, which is a terminal");
  std::signal(SIGPIPE, SIG_IGN);  // a reader that goes away is a failed write, told as such

  std::vector<uint8_t> input;
  try {
    if (!ReadInput(input))
      return Refuse(std::string("cannot read standard input: ") + std::strerror(errno));
  } catch (const std::bad_alloc&) {
    return Refuse("standard input does not fit in memory");
  }
  ErrorBox box(request.verbosity);
  LogSink log(box);
  log.SetScreenDebug(request.verbosity == Verbosity::kVerbose);
  log.SetEchoOnce(true);
  HeldOutput output(input);
  const RewriteOutcome outcome = RewritePicture(
      RewriteOptionsFor(request.options), PictureInput::Whole(input), kInputName, log, output);
  const std::string subject = std::string(kInputName) + ": ";
  if (!outcome.result) {
    if (!outcome.reason.empty()) return Refuse(subject + "damaged: " + outcome.reason);
    return Refuse(subject + "cannot be rewritten (failure " +
                  std::to_string(ReturnCode(outcome.result)) + ")");
  }
  switch (*outcome.result) {
    case RewriteVerdict::kRewritten:
      break;
    case RewriteVerdict::kNotJpeg:
      return Refuse(subject + "not JPEG data");
    case RewriteVerdict::kDamaged:
      return Refuse(subject + "damaged: " + outcome.reason);
  }
  if (request.options.readability == 1 && !LoadsAsPicture(output.Joined())) {
    return Refuse(subject + "the rewritten picture does not decode");
  }
  if (!output.WriteTo(STDOUT_FILENO)) {
    return Refuse(std::string("cannot write standard output: ") + std::strerror(errno));
  }
  return kExitAllRewritten;
}

}  // namespace keelpack::cli
