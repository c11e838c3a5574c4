#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "jpeg/choices.h"
#include "jpeg/markers.h"
#include "jpeg/reencode.h"
#include "platform/result.h"

namespace keelpack {

class LogSink;

// What a rewrite came to, when neither the file's bytes nor the system failed it. The values
// are the numbers the log shows for them (ReturnCode).
enum class RewriteVerdict { kRewritten = 0, kNotJpeg = 1, kDamaged = 2 };

inline bool Rewritten(const Result<RewriteVerdict>& result) {
  return result == RewriteVerdict::kRewritten;
}

// The number the log shows for a rewrite's result: 0 rewritten, 1 not a JPEG, 2 damaged, else
// the failure's number (never below 3).
int ReturnCode(const Result<RewriteVerdict>& result);

// The values a rewrite works with: the segments to drop and the few options it reads.
struct RewriteOptions {
  // The segments to drop (the Exif choice and the colour policy may still keep one).
  MarkerSet remove = kNoPictureSegments;
  ExifChoice exif = ExifChoice::kDelete;
  // Trust a final EOI to end the picture data; otherwise every 0xFF of it is looked at.
  bool quickScan = true;
  IccPolicy icc = IccPolicy::kAutomatic;
  bool keepDpi = false;
  OptimizeChoice optimize = OptimizeChoice::kOff;
  // Turn a picture that its Exif orientation shows turned or mirrored upright, losslessly.
  bool upright = false;
};

// A file's bytes as a rewrite reads them: the whole file, or (with the quick scan, for a file
// that ends with an EOI) only its start, up to the first scan's picture data at least, and its
// last two bytes. The picture data between them is then never looked at: the rewrite hands it
// on as a stretch of the file (RewriteSink::CopyInput), and cannot code it again.
struct PictureInput {
  std::span<const uint8_t> head;  // the file from its first byte on
  uint64_t size = 0;              // the file's length
  std::array<uint8_t, 2> tail{};  // the file's last two bytes, when `head` ends before them

  static PictureInput Whole(std::span<const uint8_t> file) { return {file, file.size(), {}}; }
  bool whole() const { return head.size() == size; }
};

// Where the new file goes, in file order, each byte once, as soon as it is final.
class RewriteSink {
 public:
  virtual ~RewriteSink() = default;
  // Bytes in memory: made by the rewrite, or views of the input's `head`.
  virtual Status Write(std::span<const std::span<const uint8_t>> pieces) = 0;
  // `length` bytes of the file from `offset` on, which lie between the input's head and its
  // tail and were never read. Exactly that many bytes, however the file has changed since.
  virtual Status CopyInput(uint64_t offset, uint64_t length) = 0;
};

// The whole account of one rewrite.
struct RewriteOutcome {
  // A content failure is a fault in the file's bytes that the walk could not go past ("Segment
  // length below 2"); a system failure says nothing about the file.
  Result<RewriteVerdict> result = RewriteVerdict::kRewritten;
  uint64_t inputSize = 0;
  uint64_t outputSize = 0;  // what went to the sink; the new file's length when rewritten
  ReencodingNote reencoding;
  bool turned = false;  // the picture was turned upright by its Exif orientation
  // What the walk found wrong with a file that was not rewritten ("Block beyond end of file");
  // empty when it was rewritten or the system failed it.
  std::string reason;

  // Input length minus output length; negative for a file that grew.
  int64_t saved() const {
    return static_cast<int64_t>(inputSize) - static_cast<int64_t>(outputSize);
  }
};

// Rewrites one JPEG file held in memory, segment by segment: drops the segments whose codes are
// in the remove list, treats the Exif segment by the Exif mode, merges runs of DQT and DHT
// segments, hands the entropy-coded data on unchanged, stops at the first EOI, turns the
// picture upright when asked and its Exif orientation calls for it, and re-encodes the result
// when the options ask for it and that is smaller. Deleting the Exif block leaves a minimal
// one where the picture needs it to show upright (and, with Keep DPI, to print at its size).
// A turn is kept only when the file does not grow, a re-encoding only when it is smaller.
// The output goes to `sink`; the lines go to `log`, naming the file `nameForLog`. Touches no
// file: reading the input, writing the output and putting it in place are the caller's.
//
// An EOI before the first SOS, with more of the file after it, is damage, not the end: a file
// that holds a frame and a scan never comes out without them.
//
// A file that begins with a known corruption (an APP1 "Exif" segment of length 16, cut short
// by a marker at offset 20) is read as if a minimal JFIF APP0 segment stood there. A limit of
// the machine (no memory) is a system failure, not a content failure (Failure::content());
// so is a failure of the sink.
RewriteOutcome RewritePicture(const RewriteOptions& options, const PictureInput& input,
                              std::string_view nameForLog, LogSink& log, RewriteSink& sink);

// The same rewrite with the whole output in memory: `bytes` holds what the sink would have got
// (also for a file found damaged, as far as the rewrite went).
struct RewrittenBytes {
  RewriteOutcome outcome;
  std::vector<uint8_t> bytes;
};
RewrittenBytes RewriteBytes(const RewriteOptions& options, std::span<const uint8_t> file,
                            std::string_view nameForLog, LogSink& log);

// How far the segments before the first scan reach in `head`, the start of a file.
struct HeadExtent {
  size_t dataStart = 0;  // where the first scan's data begins; 0 when not found
  size_t needed = 0;     // when not found: how much of the file following them further needs
  size_t resumeAt = 0;   // when not found: where the search goes on once more is read
};

// Follows only plain segments (0xFF, a code, a length) from the SOI on, or from `resumeAt` of
// an earlier search in a shorter head; any other byte on the way (a fill byte, a standalone
// marker, a stray byte, a length below 2) ends the search with neither a start nor a need:
// such a file is read whole.
HeadExtent FindHeadExtent(std::span<const uint8_t> head, size_t resumeAt = 0);

}  // namespace keelpack
