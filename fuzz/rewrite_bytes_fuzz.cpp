// Feeds arbitrary bytes to the rewrite of a picture held in memory, under every combination of
// its options: each Exif mode, both scans, no re-encoding or either one, each colour-profile
// policy, with and without the resolution tags, the built-in and the file job's remove list.
// The first byte chooses the options; the rest is the file.
//
// Besides the sanitizers, it checks what the file job relies on: the result codes keep apart,
// and a file read only at its ends (the segments before the first scan and the last two bytes,
// the picture data between them handed on unread) comes out exactly as the whole file does.
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include "jobs/rewrite_file.h"
#include "jpeg/rewrite_jpeg.h"
#include "log/log_sink.h"
#include "platform/failure.h"
#include "settings/option_set.h"

namespace {

using namespace keelpack;
using Bytes = std::vector<uint8_t>;

class DroppingBox : public LogBox {
 public:
  void AppendLine(std::string_view, bool) override {}
  void Clear() override {}
};

void Require(bool condition) {
  if (!condition) std::abort();
}

// What a file sink would write, the unread stretches copied from the file itself.
class EndsSink : public RewriteSink {
 public:
  explicit EndsSink(std::span<const uint8_t> file) : file_(file) {}
  Status Write(std::span<const std::span<const uint8_t>> pieces) override {
    for (const auto piece : pieces) bytes.insert(bytes.end(), piece.begin(), piece.end());
    return {};
  }
  Status CopyInput(uint64_t offset, uint64_t length) override {
    Require(offset + length <= file_.size());
    bytes.insert(bytes.end(), file_.begin() + static_cast<ptrdiff_t>(offset),
                 file_.begin() + static_cast<ptrdiff_t>(offset + length));
    return {};
  }
  Bytes bytes;

 private:
  std::span<const uint8_t> file_;
};

RewriteOptions OptionsFor(unsigned choice) {
  constexpr ExifChoice kExifModes[] = {ExifChoice::kDelete, ExifChoice::kKeep, ExifChoice::kReduce};
  constexpr OptimizeChoice kOptimize[] = {OptimizeChoice::kOff, OptimizeChoice::kHuffman,
                                          OptimizeChoice::kProgressive};
  constexpr IccPolicy kPolicies[] = {IccPolicy::kAutomatic, IccPolicy::kKeepAll,
                                     IccPolicy::kForceRemoval};
  OptionSet set;
  set.icc = kPolicies[choice % 3];
  choice /= 3;
  set.optimize = kOptimize[choice % 3];
  choice /= 3;
  set.dpi = static_cast<int>(choice % 2);
  choice /= 2;
  RewriteOptions options = RewriteOptionsFor(set);
  options.exif = kExifModes[choice % 3];
  choice /= 3;
  options.quickScan = choice % 2 == 0;
  choice /= 2;
  if (choice % 2 == 1) options.remove = kNoPictureSegments;
  return options;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  static DroppingBox box;
  static LogSink log = [] {
    LogSink sink(box);
    sink.SetScreenDebug(true);  // every log line is built
    return sink;
  }();
  const RewriteOptions options = OptionsFor(data[0]);
  const std::span<const uint8_t> file(data + 1, size - 1);
  const RewrittenBytes whole = RewriteBytes(options, file, "fuzz.jpg", log);
  const Result<RewriteVerdict>& result = whole.outcome.result;
  // A failure number never collides with the result codes the log shows; a file in memory
  // never fails to read.
  Require(result || result.error().number > 2);
  Require(result || result.error() != Failure::System(EIO));
  Require(whole.outcome.inputSize == file.size() && whole.outcome.outputSize == whole.bytes.size());
  Require(Rewritten(result) == whole.outcome.reason.empty() ||
          (!result && !result.error().content()));

  // The file job's way with long picture data: only the ends are read.
  const bool endsWithEoi = file.size() >= 2 && file[file.size() - 2] == 0xFF && file.back() == 0xD9;
  if (!options.quickScan || options.optimize != OptimizeChoice::kOff || !endsWithEoi) return 0;
  const HeadExtent extent = FindHeadExtent(file);
  if (extent.dataStart == 0 || extent.dataStart + 2 > file.size()) return 0;
  const PictureInput ends{
      file.first(extent.dataStart), file.size(), {file[file.size() - 2], file.back()}};
  EndsSink sink(file);
  const RewriteOutcome partial = RewritePicture(options, ends, "fuzz.jpg", log, sink);
  Require(partial.result ? result && *partial.result == *result
                         : !result && partial.result.error() == result.error());
  Require(!Rewritten(result) || sink.bytes == whole.bytes);
  return 0;
}
