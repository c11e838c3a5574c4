#include "jpeg/exif_detour.h"

#include <string>

#include "exif/reduce_exif.h"
#include "log/log_sink.h"
#include "platform/failure.h"
#include "platform/files.h"
#include "platform/folders.h"

namespace keelpack {
namespace {

// The largest payload a segment's 16-bit length field can describe.
constexpr size_t kMaxSegmentData = 0xFFFF - 2;

// Removes the two work files on every way out of the detour.
struct WorkFiles {
  std::string input;
  std::string output;
  ~WorkFiles() {
    platform::RemoveFile(output);
    platform::RemoveFile(input);
  }
};

}  // namespace

int ReduceExifSegment(const ExifDetourEnv& env, std::vector<uint8_t>& data, int& usefulTags) {
  const std::string folder = platform::CacheFolder() + "/";
  const std::string id(env.workId);
  const WorkFiles work{folder + "exif" + id + ".bin", folder + "newexif" + id + ".bin"};

  if (int error = platform::WriteWholeFile(work.input, data)) return platform::FailureNumber(error);
  const int result = ReduceExif(env.log, env.keepDpi, work.input, work.output, usefulTags);
  std::vector<uint8_t> reduced;
  if (result == 0) {
    if (int error = platform::ReadWholeFile(work.output, reduced)) return platform::FailureNumber(error);
  }
  // A block that grew past what a segment can hold stays as it was.
  if (result != 0 || reduced.size() > kMaxSegmentData) {
    env.log.WriteLog("Cannot reduce EXIF size", kVerbose);
    return 0;
  }
  data = std::move(reduced);
  return 0;
}

}  // namespace keelpack
