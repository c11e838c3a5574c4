// Feeds arbitrary bytes to the JPEG rewriter, as a file, under every combination of its
// options, re-encoding of the picture data and the turn upright included. The first byte
// chooses the options; the rest is the file.
#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <string>

#include "jobs/rewrite_file.h"
#include "log/log_sink.h"
#include "platform/failure.h"
#include "platform/file.h"
#include "settings/option_set.h"

namespace {

class DiscardingLogBox : public keelpack::LogBox {
 public:
  void AppendLine(std::string_view, bool) override {}
  void Clear() override {}
};

// The work folder lives for the whole run; one input and one output file are reused.
const std::string& WorkFolder() {
  static const std::string folder = [] {
    std::string pattern = (access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp") +
                          std::string("/keelpack-fuzz-XXXXXX");
    if (mkdtemp(pattern.data()) == nullptr) abort();
    setenv("XDG_CONFIG_HOME", pattern.c_str(), 1);
    return pattern;
  }();
  return folder;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const std::string in = WorkFolder() + "/in.jpg";
  const std::string out = WorkFolder() + "/out.jpg";
  const uint8_t choice = data[0];
  // The quick scan copies long picture data from file to file without reading it, so its
  // inputs get 64 KiB more of it before their last two bytes.
  const size_t padding = (choice & 4) != 0 && size >= 3 ? size_t{64} << 10 : 0;
  FILE* file = std::fopen(in.c_str(), "wb");
  if (file == nullptr) abort();
  std::fwrite(data + 1, 1, size - 1 - (padding ? 2 : 0), file);
  for (size_t i = 0; i < padding; ++i) std::fputc(0x5A, file);
  if (padding) std::fwrite(data + size - 2, 1, 2, file);
  std::fclose(file);

  DiscardingLogBox box;
  keelpack::LogSink log(box);
  log.SetScreenDebug(true);  // every log line is built
  keelpack::OptionSet options;
  constexpr keelpack::IccPolicy kPolicies[] = {keelpack::IccPolicy::kAutomatic,
                                               keelpack::IccPolicy::kKeepAll,
                                               keelpack::IccPolicy::kForceRemoval};
  constexpr keelpack::ExifChoice kExifModes[] = {
      keelpack::ExifChoice::kDelete, keelpack::ExifChoice::kKeep, keelpack::ExifChoice::kReduce};
  options.icc = kPolicies[(choice >> 3) % 3];
  options.dpi = (choice >> 5) & 1;
  options.optimize =
      (choice & 128) ? keelpack::OptimizeChoice::kProgressive : keelpack::OptimizeChoice::kOff;
  keelpack::RewriteOptions rewrite = keelpack::RewriteOptionsFor(options);
  if ((choice & 64) == 0) rewrite.remove = keelpack::kNoPictureSegments;
  rewrite.exif = kExifModes[choice % 3];
  rewrite.quickScan = (choice & 4) != 0;
  rewrite.upright = (choice & 16) != 0;
  keelpack::platform::File source, target;
  keelpack::platform::File::Status status;
  if (!source.OpenForReading(in) || !target.Create(out)) abort();
  const keelpack::RewriteOutcome outcome =
      keelpack::RewriteFile(rewrite, source, target, in, log, status);
  const keelpack::Result<keelpack::RewriteVerdict>& result = outcome.result;
  // A turn is kept only when the file does not grow.
  if (outcome.turned && outcome.saved() < 0) abort();
  // A failure number never collides with the result codes the log shows.
  if (!result && result.error().number <= 2) abort();
  // Local files never fail to read: an I/O failure here is the walk reaching bytes it never read.
  if (!result && result.error() == keelpack::Failure::System(EIO)) abort();
  return 0;
}
