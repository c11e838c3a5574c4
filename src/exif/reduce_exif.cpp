#include "exif/reduce_exif.h"

#include "exif/exif_policy.h"
#include "exif/exif_reader.h"
#include "exif/exif_writer.h"
#include "log/log_sink.h"
#include "platform/failure.h"
#include "platform/files.h"

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

int SystemFailure(LogSink& log, int systemError, std::string_view name) {
  LogFailure(log, platform::FailureText(systemError), name);
  return platform::FailureNumber(systemError);
}

}  // namespace

int ReduceExifBlock(LogSink& log, bool keepDpi, std::span<const uint8_t> payload,
                    std::vector<uint8_t>& reduced, int& usefulTags, std::string_view nameForLog) {
  usefulTags = 0;
  reduced.clear();
  ExifReader reader(log, payload);
  if (reader.CheckHeader(reduced) != 0) return kNotExifBlock;

  ExifReduction policy(log, keepDpi, usefulTags);
  ExifFailure failure = reader.Walk(policy);
  if (!failure) {
    failure = WriteReducedBlock(policy.rows(), policy.ifd0Rows(), reader.byteOrder(), reduced);
  }
  if (failure) {
    LogFailure(log, failure.text, nameForLog);
    return failure.number;
  }
  LogKeptEntries(log, policy.rows(), reader.byteOrder());
  return 0;
}

int ReduceExif(LogSink& log, bool keepDpi, const std::string& inName, const std::string& outName,
               int& usefulTags) {
  usefulTags = 0;
  std::vector<uint8_t> payload;
  if (const int error = platform::ReadWholeFile(inName, payload); error != 0) {
    return SystemFailure(log, error, inName);
  }
  if (!HasExifPrefix(payload)) return kNotExifBlock;

  // The output exists, empty, as soon as the prefix has passed, so an output that cannot be
  // made fails before the walk logs anything.
  if (const int error = platform::WriteWholeFile(outName, {}); error != 0) {
    return SystemFailure(log, error, inName);
  }
  std::vector<uint8_t> reduced;
  const int result = ReduceExifBlock(log, keepDpi, payload, reduced, usefulTags, inName);
  const int error = platform::WriteWholeFile(outName, reduced);
  // A reduction that failed already has its failure line; its output is not used.
  if (error != 0 && (result == 0 || result == kNotExifBlock)) {
    return SystemFailure(log, error, inName);
  }
  return result;
}

}  // namespace keelpack
