#include "jpeg/rewrite_jpeg.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <limits>
#include <memory>
#include <span>
#include <vector>

#include "jpeg/colour_policy.h"
#include "jpeg/entropy_copy.h"
#include "jpeg/exif_detour.h"
#include "jpeg/markers.h"
#include "jpeg/output_buffer.h"
#include "jpeg/reencode.h"
#include "log/log_sink.h"
#include "platform/failure.h"
#include "platform/file.h"
#include "settings/option_set.h"

namespace keelpack {
namespace {

using Bytes = std::vector<uint8_t>;
using ByteSpan = std::span<const uint8_t>;

// APP1, APP2, APP12, APP13, COM and APP14: the segments that carry no picture.
constexpr char kBuiltInRemoveList[] = {'\xE1', '\xE2', '\xEC', '\xED', '\xFE', '\xEE'};

// Runs of these segments are joined into one segment, saving a 4-byte header each.
constexpr uint8_t kMergeCodes[] = {kDqt, kDht};
constexpr size_t kMergeLimit = 65000;

constexpr size_t kHeaderSize = 4;
constexpr size_t kLogExcerptLength = 60;

// A known corruption: an APP1 "Exif" segment cut short so that a marker follows at offset 20.
// It is repaired by writing a minimal JFIF APP0 segment over the broken header.
constexpr size_t kTagOffset = 6;
constexpr size_t kRepairProbeOffset = 20;
constexpr size_t kRepairOffset = 2;
constexpr uint8_t kRepairedHeader[] = {0xFF, 0xE0, 0x00, 0x10, 'J',  'F',  'I',  'F',  0x00,
                                       0x01, 0x01, 0x00, 0x00, 0x01, 0x00, 0x01, 0x00, 0x00};

bool BeginsWith(ByteSpan data, std::string_view text) {
  return data.size() >= text.size() && std::equal(text.begin(), text.end(), data.begin(),
                                                  [](char a, uint8_t b) { return static_cast<uint8_t>(a) == b; });
}

bool InList(std::string_view list, uint8_t code) {
  return list.find(static_cast<char>(code)) != std::string_view::npos;
}

std::string Decimal(int64_t value) { return std::to_string(value); }

// Room for a whole input file, kept from one rewrite to the next: the pages of a fresh large
// allocation are each faulted in on first touch, which can cost more than the rewrite itself.
// What a very large file needed is given back once the files are small again.
uint8_t* InputBuffer(size_t size) {
  constexpr size_t kKeepAtMost = size_t{64} << 20;
  thread_local std::unique_ptr<uint8_t[]> buffer;
  thread_local size_t capacity = 0;
  if (size > capacity || (capacity > kKeepAtMost && size < capacity / 4)) {
    buffer.reset();  // not value-initialised: the read fills it
    buffer.reset(new uint8_t[std::max<size_t>(size, 1)]);
    capacity = size;
  }
  return buffer.get();
}

// One rewrite: the input in memory, the output built in memory and written in one piece.
class Rewriter {
 public:
  Rewriter(const RewriteEnv& env, const std::string& inputPath, const std::string& outputPath,
           std::string_view removeList, int exifMode, bool quickScan)
      : env_(env),
        log_(env.log),
        inputPath_(inputPath),
        outputPath_(outputPath),
        removeList_(removeList == kDefaultRemoveList
                        ? std::string_view(kBuiltInRemoveList, sizeof kBuiltInRemoveList)
                        : removeList),
        exifMode_(exifMode),
        quickScan_(quickScan) {}

  int Run();

 private:
  // A walk outcome: a result code, or a failure number for the failure path.
  struct Outcome {
    int result = kRewritten;
    bool failed = false;
  };
  static Outcome Result(int result) { return {result, false}; }
  static Outcome Failure(int number) { return {number, true}; }

  Outcome Open();
  Outcome PreCheck();
  Outcome Walk();
  Outcome Finish();
  // What the walk does after one marker.
  enum class Step { kGoOn, kLeave, kStop };
  Step Standalone(const MarkerHeader& header, size_t headerOffset);
  Step LengthBearing(const MarkerHeader& header, size_t headerOffset, size_t available,
                     Outcome& outcome);
  void CopyEntropyData();
  void KeepDecision(MarkerHeader& header, Bytes& data);
  void WriteSegment(const MarkerHeader& header, ByteSpan data);
  int Repair();
  void ReplaceByReencoding();
  int WriteOutput();
  int FailurePath(int number);

  void Log(int level, const std::string& message) { log_.WriteLog(message, level); }
  bool Logs(int level) const { return log_.Wants(level); }

  const RewriteEnv& env_;
  LogSink& log_;
  const std::string& inputPath_;
  const std::string& outputPath_;
  std::string_view removeList_;
  int exifMode_;
  bool quickScan_;

  platform::File input_;
  platform::File output_;
  platform::File::Status status_;  // size, last-write time and attributes of the input
  uint8_t* inputBytes_ = nullptr;  // the input, in this thread's input buffer
  ByteSpan in_;
  OutputBuffer out_;

  // Walk state.
  size_t consumed_ = 0;
  bool eoiSeen_ = false;
  bool fileEndsWithEoi_ = false;
  MarkerHeader last_;  // the last header read; its code starts the entropy copy
  uint8_t lastMarker_ = 0;
  // The last segment written by the ordinary write path lives in the output at
  // [previousStart_, previousEnd_): its header, then its data.
  size_t previousStart_ = 0;
  size_t previousEnd_ = 0;
  bool havePrevious_ = false;
  ColourState colour_;
  int usefulTags_ = 0;
  Bytes reencoded_;  // the output's picture data coded afresh, when that came out smaller
};

int Rewriter::Run() {
  Outcome outcome = Open();
  if (!outcome.failed) outcome = PreCheck();
  if (!outcome.failed && outcome.result == kRewritten) outcome = Walk();
  if (!outcome.failed && outcome.result == kRewritten) outcome = Finish();
  if (outcome.failed) return FailurePath(outcome.result);
  if (outcome.result == kDamaged) {
    // The output keeps what was written so far; the file job decides what becomes of it.
    if (int error = WriteOutput()) return FailurePath(platform::FailureNumber(error));
  }
  input_.Close();
  output_.Close();
  return outcome.result;
}

Rewriter::Outcome Rewriter::Open() {
  // Reading is enough for all but the header repair, which opens the file again to write.
  if (int error = input_.OpenForReading(inputPath_)) return Failure(platform::FailureNumber(error));
  if (int error = input_.GetStatus(status_)) return Failure(platform::FailureNumber(error));
  if (status_.size > std::numeric_limits<int32_t>::max()) return Failure(platform::kFailOutOfRange);
  inputBytes_ = InputBuffer(static_cast<size_t>(status_.size));
  size_t got = 0;
  if (int error = input_.Read(inputBytes_, static_cast<size_t>(status_.size), got)) {
    return Failure(platform::FailureNumber(error));
  }
  in_ = ByteSpan(inputBytes_, got);

  // Writing the output over the input would destroy it before the walk has read it through.
  if (input_.IsSameFileAs(outputPath_)) return Failure(platform::kFailInvalidCall);
  if (int error = output_.Create(outputPath_)) return Failure(platform::FailureNumber(error));
  return Result(kRewritten);
}

Rewriter::Outcome Rewriter::PreCheck() {
  Log(kBrief, "Reading " + inputPath_);
  const size_t length = in_.size();
  // The quick scan needs the last two bytes; a file without them is no JPEG to walk.
  if (length < 2) return Failure(platform::kFailReadPastEnd);
  fileEndsWithEoi_ = in_[length - 2] == kMarkerLead && in_[length - 1] == kEoi;

  std::array<uint8_t, 4> tag{};
  for (size_t i = 0; i < tag.size() && kTagOffset + i < length; ++i) tag[i] = in_[kTagOffset + i];
  const uint8_t probe = kRepairProbeOffset < length ? in_[kRepairProbeOffset] : 0;
  const bool tagIsJfif = BeginsWith(tag, "JFIF");

  if (BeginsWith(tag, "Exif") && probe == kMarkerLead) {
    Log(kVerbose, "Tollvane corruption detected, fixing");
    if (int error = Repair()) return Failure(platform::FailureNumber(error));
  }

  const bool startsLikeJpeg = in_[0] == kMarkerLead && in_[1] == kSoi && length > 2 && in_[2] == kMarkerLead;
  if (!tagIsJfif && !startsLikeJpeg) {
    Log(kVerbose, "Not a JPEG - " + inputPath_);
    return Result(kNotJpeg);
  }
  return Result(kRewritten);
}

int Rewriter::Repair() {
  // A file marked read-only is not written, whoever runs the program.
  if (!status_.markedWritable) return EACCES;
  platform::File update;
  if (int error = update.OpenForUpdate(inputPath_)) return error;
  if (int error = update.WriteAt(kRepairOffset, kRepairedHeader)) return error;
  if (int error = update.Close()) return error;
  std::copy(std::begin(kRepairedHeader), std::end(kRepairedHeader), inputBytes_ + kRepairOffset);
  return 0;
}

Rewriter::Outcome Rewriter::Walk() {
  const size_t length = in_.size();
  // The input is used up once the walk has consumed it all; a marker whose header runs past
  // the end is still read as far as it goes.
  while (consumed_ < length) {
    if (StartsEntropyData(last_.code)) CopyEntropyData();
    if (consumed_ > length) {
      Log(kVerbose, "Unexpected end of file");
      return Result(kDamaged);
    }
    const size_t headerOffset = consumed_;
    const size_t available = length - headerOffset;
    if (available < 2) break;  // nothing left that could be a marker

    MarkerHeader header{in_[headerOffset], in_[headerOffset + 1],
                        available > 2 ? in_[headerOffset + 2] : uint8_t{0},
                        available > 3 ? in_[headerOffset + 3] : uint8_t{0}};
    last_ = header;
    consumed_ = headerOffset + kHeaderSize;

    Outcome outcome = Result(kRewritten);
    const Step step = IsStandaloneMarker(header.code).standalone
                          ? Standalone(header, headerOffset)
                          : LengthBearing(header, headerOffset, available, outcome);
    if (step == Step::kStop) return outcome;
    if (step == Step::kLeave) break;
  }

  if (!eoiSeen_) {
    Log(kVerbose, "No ending marker! File is truncated.");
    return Result(kDamaged);
  }
  return Result(kRewritten);
}

Rewriter::Step Rewriter::Standalone(const MarkerHeader& header, size_t headerOffset) {
  const StandaloneInfo info = IsStandaloneMarker(header.code);
  // The bytes read beyond the marker go back to the input.
  consumed_ = headerOffset + kHeaderSize - 1 - static_cast<size_t>(info.stepBack);
  if (!IsRestartMarker(header.code) && Logs(kExplicit)) {
    Log(kExplicit, "Non-data segment " + Decimal(header.code) + MarkerName(header.code) + " at " +
                       Decimal(static_cast<int64_t>(consumed_)));
  }
  if (header.code == kEoi) eoiSeen_ = true;
  if (InList(removeList_, header.code)) return Step::kGoOn;
  lastMarker_ = header.code;
  out_.Append(header.lead);
  // A fill byte consumed one byte; writing its partner too would double it.
  if (header.code != kFill) out_.Append(header.code);
  return eoiSeen_ ? Step::kLeave : Step::kGoOn;
}

Rewriter::Step Rewriter::LengthBearing(const MarkerHeader& header, size_t headerOffset,
                                       size_t available, Outcome& outcome) {
  if (header.lead != kMarkerLead) {
    Log(kExplicit, "Possible corruption at " + Decimal(static_cast<int64_t>(headerOffset + 2)) +
                       " - " + Decimal(header.lead) + " - " + inputPath_);
    if (!eoiSeen_) {
      outcome = Result(kDamaged);
      return Step::kStop;
    }
    Log(kExplicit, " but *End* encountered, assuming OK");
    return Step::kLeave;
  }
  if (available < kHeaderSize) {
    // The file ends inside the length field.
    Log(kExplicit, "Block beyond end of file");
    outcome = Result(kDamaged);
    return Step::kStop;
  }
  const int dataLength = header.DataLength();
  if (Logs(kExplicit)) {
    Log(kExplicit, "Block type is " + Decimal(header.code) + MarkerName(header.code) +
                       ", length of data is " + Decimal(dataLength));
  }
  if (dataLength < 0) {
    outcome = Failure(platform::kFailInvalidCall);
    return Step::kStop;
  }
  if (consumed_ + static_cast<size_t>(dataLength) > in_.size()) {
    Log(kExplicit, "Block beyond end of file");
    outcome = Result(kDamaged);
    return Step::kStop;
  }
  const ByteSpan read = in_.subspan(consumed_, static_cast<size_t>(dataLength));
  Bytes data(read.begin(), read.end());
  consumed_ += static_cast<size_t>(dataLength);
  MarkerHeader segment = header;

  const bool isExif = header.code == kApp1 && BeginsWith(data, "Exif");
  if (isExif && exifMode_ == kExifModeReduce) {
    const ExifDetourEnv detour{log_, env_.options.keepDpi(), env_.workId};
    if (int failure = ReduceExifSegment(detour, data, usefulTags_)) {
      outcome = Failure(failure);
      return Step::kStop;
    }
    const size_t length = data.size() + 2;
    segment.lengthHigh = static_cast<uint8_t>(length / 256);
    segment.lengthLow = static_cast<uint8_t>(length % 256);
  }

  KeepDecision(segment, data);

  if (header.code == kApp14 && BeginsWith(data, "Ado")) {
    // The transform flag lies beyond the end of a shorter segment.
    if (data.size() < kAdobeMinimumLength) {
      outcome = Failure(platform::kFailReadPastEnd);
      return Step::kStop;
    }
    if (AdobeSegmentWrittenBack(data, colour_)) WriteSegment(segment, data);
  }
  if (header.code == kApp2 && BeginsWith(data, "ICC") && env_.options.icc == kIccAutomatic &&
      ColourProfileWrittenBack(data, colour_)) {
    WriteSegment(segment, data);
  }

  if (Logs(kExplicit)) {
    const size_t shown = std::min(data.size(), kLogExcerptLength);
    Log(kExplicit, "[" + std::string(data.begin(), data.begin() + static_cast<ptrdiff_t>(shown)) + "]");
  }
  return Step::kGoOn;
}

void Rewriter::KeepDecision(MarkerHeader& header, Bytes& data) {
  const bool isExif = header.code == kApp1 && BeginsWith(data, "Exif");
  const bool keep = !InList(removeList_, header.code) || (isExif && exifMode_ != kExifModeRemove);
  if (!keep) {
    Log(kExplicit, "Block " + Decimal(header.code) + " removed");
    return;
  }
  if (isExif && exifMode_ == kExifModeReduce && usefulTags_ == 0) {
    Log(kExplicit, "EXIF removed");
    return;
  }

  const bool mergeable = std::find(std::begin(kMergeCodes), std::end(kMergeCodes), header.code) !=
                         std::end(kMergeCodes);
  // The previous segment can only be joined while it is the last thing in the output.
  const bool previousIsLast = havePrevious_ && out_.EndsAt(previousEnd_);
  const size_t previousDataLength = previousIsLast ? previousEnd_ - previousStart_ - kHeaderSize : 0;
  if (mergeable && header.code == lastMarker_ && previousIsLast &&
      previousDataLength + data.size() < kMergeLimit) {
    if (Logs(kExplicit)) {
      Log(kExplicit, "Merging " + Decimal(header.code) + MarkerName(header.code) + " with previous block");
    }
    // The joined segment is the previous header with the new length, the previous data, then
    // this segment's data; the previous data is already in place.
    const size_t length = previousDataLength + data.size() + 2;
    header.lengthHigh = static_cast<uint8_t>(length / 256);
    header.lengthLow = static_cast<uint8_t>(length % 256);
    out_.ownAt(previousStart_ + 2) = header.lengthHigh;
    out_.ownAt(previousStart_ + 3) = header.lengthLow;
    out_.Append(data);
    previousEnd_ = out_.ownSize();
    lastMarker_ = header.code;
    const ByteSpan joined = out_.OwnFrom(previousStart_ + kHeaderSize);
    data.assign(joined.begin(), joined.end());
    return;
  }

  previousStart_ = out_.ownSize();
  WriteSegment(header, data);
  previousEnd_ = out_.ownSize();
  havePrevious_ = true;
}

void Rewriter::WriteSegment(const MarkerHeader& header, ByteSpan data) {
  lastMarker_ = header.code;
  const uint8_t bytes[kHeaderSize] = {header.lead, header.code, header.lengthHigh, header.lengthLow};
  out_.Append(bytes);
  out_.Append(data);
}

void Rewriter::CopyEntropyData() {
  Log(kExplicit, "Reading entropy data...");
  const ByteSpan rest = in_.subspan(consumed_);
  const EntropyEnd end = FindEntropyEnd(rest, quickScan_, fileEndsWithEoi_);
  if (end.endedOnLoneFF) Log(kExplicit, "File ended prematurely after the FF block marker!");
  out_.AppendView(rest.first(end.copied));
  Log(kExplicit, Decimal(static_cast<int64_t>(end.copied)) + " bytes");
  consumed_ = end.markerFound ? consumed_ + end.copied : in_.size();
}

Rewriter::Outcome Rewriter::Finish() {
  if (env_.options.optimize != kOptimizeOff) ReplaceByReencoding();
  if (int error = WriteOutput()) return Failure(platform::FailureNumber(error));
  input_.Close();

  Log(kVerbose, "Reached end of " + inputPath_);
  const int64_t saved = static_cast<int64_t>(in_.size()) - static_cast<int64_t>(out_.size());
  env_.totals.bytesSaved += static_cast<double>(saved);
  if (saved > 0) {
    env_.totals.filesReduced += 1;
    Log(kBrief, "Reduced by " + Decimal(saved) + " bytes.");
  }

  // The time and the attributes go on while the file is still open: nothing is written after.
  output_.SetLastWriteTime(status_.lastWrite);
  Log(kExplicit, "Time set, restoring attributes..." + Decimal(status_.attributes.mode));
  const int attributesFailed = output_.SetAttributes(status_.attributes);
  if (env_.syncOutput) {
    if (int error = output_.Sync()) return Failure(platform::FailureNumber(error));
  }
  if (int error = output_.Close()) return Failure(platform::FailureNumber(error));
  if (attributesFailed) {
    Log(kBrief, "Failed to open file " + inputPath_);
    Log(kExplicit, "Attributes failed.");
  }
  return Result(kRewritten);
}

// The walk's output, complete in memory, is coded again from its DCT coefficients; the smaller
// form becomes the output.
void Rewriter::ReplaceByReencoding() {
  Bytes walked;
  walked.reserve(out_.size());
  for (const ByteSpan piece : out_.Pieces()) walked.insert(walked.end(), piece.begin(), piece.end());
  if (auto smaller = SmallerReencoding(log_, env_.options.optimize, walked)) {
    reencoded_ = std::move(*smaller);
    out_ = OutputBuffer();
    out_.AppendView(reencoded_);
  }
}

int Rewriter::WriteOutput() { return output_.WriteGathered(out_.Pieces()); }

int Rewriter::FailurePath(int number) {
  input_.Close();
  output_.Close();
  Log(kBrief, "Failed to open file " + inputPath_);
  return number;
}

}  // namespace

int RewriteJpeg(const RewriteEnv& env, const std::string& inputPath, const std::string& outputPath,
                std::string_view removeList, int exifMode, bool quickScan) {
  return Rewriter(env, inputPath, outputPath, removeList, exifMode, quickScan).Run();
}

}  // namespace keelpack
