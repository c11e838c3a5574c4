#include "exif/reduce_exif.h"

#include <string>

#include "exif/exif_policy.h"
#include "exif/exif_reader.h"
#include "exif/exif_writer.h"
#include "log/log_sink.h"

namespace keelpack {
namespace {

// The one line a failed reduction leaves, for the Verbose log.
void LogFailure(LogSink& log, std::string_view text, std::string_view name) {
  if (!log.Wants(kVerbose)) return;
  std::string line(text);
  line += " - Failed to open file ";
  line += name;
  log.WriteLog(line, kVerbose);
}

}  // namespace

Result<ExifReduced> ReduceExifBlock(LogSink& log, bool keepDpi, std::span<const uint8_t> payload,
                                    std::vector<uint8_t>& reduced, int& usefulTags,
                                    std::string_view nameForLog) {
  usefulTags = 0;
  reduced.clear();
  ExifReader reader(log, payload);
  if (!reader.CheckHeader(reduced)) return ExifReduced::kNotExifBlock;

  ExifReduction policy(log, keepDpi, usefulTags);
  Status written = reader.Walk(policy);
  if (written) {
    written = WriteReducedBlock(policy.rows(), policy.ifd0Rows(), reader.byteOrder(), reduced);
  }
  if (!written) {
    LogFailure(log, written.error().text, nameForLog);
    return written.error();
  }
  // Fresh offsets and no padding make a block smaller, but a value that several entries share
  // is written once for each of them.
  if (reduced.size() > payload.size()) {
    if (log.Wants(kExplicit)) {
      log.WriteLog("Reduced EXIF block would be " +
                       std::to_string(reduced.size() - payload.size()) + " bytes larger",
                   kExplicit);
    }
    return ExifReduced::kNotSmaller;
  }
  LogKeptEntries(log, policy.rows(), reader.byteOrder());
  return ExifReduced::kReduced;
}

}  // namespace keelpack
