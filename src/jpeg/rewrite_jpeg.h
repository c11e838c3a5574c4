#pragma once

#include <string>
#include <string_view>

#include "platform/failure.h"

namespace keelpack {

class LogSink;
struct OptionSet;
namespace platform {
class File;
}

// What RewriteJpeg came to.
struct RewriteResult {
  // The first three are also the numbers the log shows for them.
  enum class Kind { kRewritten = 0, kNotJpeg = 1, kDamaged = 2, kFailed };
  Kind kind = Kind::kRewritten;
  int failure = 0;  // for kFailed: the failure number (platform/failure.h)

  static RewriteResult Rewritten() { return {}; }
  static RewriteResult NotJpeg() { return {Kind::kNotJpeg, 0}; }
  static RewriteResult Damaged() { return {Kind::kDamaged, 0}; }
  static RewriteResult Failed(int number) { return {Kind::kFailed, number}; }

  bool rewritten() const { return kind == Kind::kRewritten; }
  // The system failed the rewrite (no memory, a full disk): that says nothing about the file.
  bool systemFailure() const { return kind == Kind::kFailed && !platform::IsContentFailure(failure); }
  // The number the log shows: 0 rewritten, 1 not a JPEG, 2 damaged, else the failure number.
  int code() const { return kind == Kind::kFailed ? failure : static_cast<int>(kind); }

  friend bool operator==(const RewriteResult&, const RewriteResult&) = default;
};

// What happens to an APP1 "Exif" segment.
enum class ExifMode { kRemove, kKeep, kReduce };

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
// The input is only ever read: whole, into memory or through a read-only mapping, so that what
// is held stays near one file's size; or, with the quick scan and a file that ends with an EOI,
// only up to its first scan's data, which then goes from file to file inside the kernel. The
// output is written as it becomes final.
// A file that begins with a known corruption (an APP1 "Exif" segment of length 16, cut short
// by a marker at offset 20) is read as if a minimal JFIF APP0 segment stood there; the source
// file keeps its bytes. A limit of the machine (no memory, no address space) is a system
// failure, not a content failure (platform::IsContentFailure).
RewriteResult RewriteJpeg(const RewriteEnv& env, const std::string& inputPath,
                          const std::string& outputPath, std::string_view removeList, ExifMode exifMode,
                          bool quickScan);

// The same rewrite between files the caller holds open, so that it reaches exactly the files
// the caller opened and checked: `input` (only ever read, from its start, whatever its
// position) into `output`, a new empty file open for writing, which is left open (and locked,
// if it was). `inputPath` names the input in the log.
RewriteResult RewriteJpeg(const RewriteEnv& env, const platform::File& input, platform::File& output,
                          const std::string& inputPath, std::string_view removeList, ExifMode exifMode,
                          bool quickScan);

}  // namespace keelpack
