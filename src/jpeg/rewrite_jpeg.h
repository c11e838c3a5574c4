#pragma once

#include <string>
#include <string_view>

namespace keelpack {

class LogSink;
struct OptionSet;

// Results of RewriteJpeg. Any other value is a failure number (platform/failure.h).
inline constexpr int kRewritten = 0;
inline constexpr int kNotJpeg = 1;
inline constexpr int kDamaged = 2;

// exifMode values: what happens to an APP1 "Exif" segment.
inline constexpr int kExifModeRemove = 0;
inline constexpr int kExifModeKeep = 1;
inline constexpr int kExifModeReduce = 2;

// A removeList argument of exactly this text stands for APP1, APP2, APP12, APP13, COM and APP14.
inline constexpr std::string_view kDefaultRemoveList = "default";

// Run totals that every rewrite adds to.
struct RewriteTotals {
  double filesReduced = 0;  // files that came out smaller
  double bytesSaved = 0;    // input length minus output length, summed (can go down)
};

// What a rewrite needs besides its arguments.
struct RewriteEnv {
  LogSink& log;
  const OptionSet& options;  // `icc` and `dpi` are read here
  RewriteTotals& totals;
  // Flush the output to the disk before it is closed, so that it can safely take another
  // file's place.
  bool syncOutput = false;
};

// Copies the JPEG file `inputPath` into `outputPath` segment by segment: drops the segments
// whose codes are in `removeList` (one character per marker code, or "default"), treats the
// Exif segment by `exifMode`, merges runs of DQT and DHT segments, copies the entropy-coded
// data unchanged (`quickScan` trusts a final EOI; otherwise every 0xFF is looked at), stops
// at the first EOI, and gives the output the input's last-write time and permissions.
//
// The input is only ever read, through a read-only mapping, so a file of any size is rewritten
// with what is held staying near one file's size; the output is written as it becomes final.
// A file that begins with a known corruption (an APP1 "Exif" segment of length 16, cut short
// by a marker at offset 20) is read as if a minimal JFIF APP0 segment stood there; the source
// file keeps its bytes. A limit of the machine (no memory, no address space) gives a failure
// number that is not a content failure (platform::IsContentFailure).
int RewriteJpeg(const RewriteEnv& env, const std::string& inputPath, const std::string& outputPath,
                std::string_view removeList, int exifMode, bool quickScan);

}  // namespace keelpack
