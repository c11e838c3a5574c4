#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace keelpack {

class LogSink;

struct ExifDetourEnv {
  LogSink& log;
  bool keepDpi = false;
  std::string_view workId;  // keeps this job's work files apart from every other job's
};

// Puts the data of an APP1 "Exif" segment through the Exif reduction by way of two work files
// in the cache folder. When the reduction succeeds, `data` becomes the reduced payload;
// otherwise "Cannot reduce EXIF size" is logged and `data` stays as read. `usefulTags` is what
// the reduction counted. Returns 0, or a failure number when a work file could not be written
// or read back. The work files are gone afterwards, whatever happened.
int ReduceExifSegment(const ExifDetourEnv& env, std::vector<uint8_t>& data, int& usefulTags);

}  // namespace keelpack
