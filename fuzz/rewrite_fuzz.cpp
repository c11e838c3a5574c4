// Feeds arbitrary bytes to the JPEG rewriter, as a file, under every combination of its
// options, re-encoding of the picture data included. The first byte chooses the options; the
// rest is the file.
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "jpeg/rewrite_jpeg.h"
#include "log/log_sink.h"
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
  FILE* file = std::fopen(in.c_str(), "wb");
  if (file == nullptr) abort();
  std::fwrite(data + 1, 1, size - 1, file);
  std::fclose(file);

  const uint8_t choice = data[0];
  DiscardingLogBox box;
  keelpack::LogSink log(box);
  log.SetScreenDebug(true);  // every log line is built
  keelpack::OptionSet options;
  constexpr keelpack::IccPolicy kPolicies[] = {keelpack::IccPolicy::kAutomatic, keelpack::IccPolicy::kKeepAll,
                                               keelpack::IccPolicy::kForceRemoval};
  constexpr keelpack::ExifMode kExifModes[] = {keelpack::ExifMode::kRemove, keelpack::ExifMode::kKeep,
                                               keelpack::ExifMode::kReduce};
  options.icc = kPolicies[(choice >> 3) % 3];
  options.dpi = (choice >> 5) & 1;
  options.optimize = (choice & 128) ? keelpack::OptimizeChoice::kProgressive : keelpack::OptimizeChoice::kOff;
  keelpack::RewriteTotals totals;
  const std::string jobList = std::string("\xEC\xED\xE1\xFE\xEE") + (options.icc == keelpack::IccPolicy::kKeepAll ? "" : "\xE2");
  const keelpack::RewriteResult result =
      keelpack::RewriteJpeg({log, options, totals}, in, out,
                            (choice & 64) ? std::string_view(jobList) : keelpack::kDefaultRemoveList,
                            kExifModes[choice % 3], (choice & 4) != 0);
  // A failure number never collides with the result codes the log shows.
  if (result.kind == keelpack::RewriteResult::Kind::kFailed && result.failure <= 2) abort();
  return 0;
}
