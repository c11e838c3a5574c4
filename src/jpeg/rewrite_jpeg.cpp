#include "jpeg/rewrite_jpeg.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <deque>
#include <new>
#include <optional>
#include <span>
#include <stdexcept>
#include <vector>

#include "exif/orientation_exif.h"
#include "exif/reduce_exif.h"
#include "jpeg/colour_policy.h"
#include "jpeg/entropy_copy.h"
#include "jpeg/markers.h"
#include "jpeg/output_buffer.h"
#include "jpeg/reencode.h"
#include "jpeg/turn_jpeg.h"
#include "log/log_sink.h"
#include "platform/failure.h"

namespace keelpack {
namespace {

using Bytes = std::vector<uint8_t>;
using ByteSpan = std::span<const uint8_t>;

// APP1, APP2, APP12, APP13, COM and APP14: the segments that carry no picture.

// Runs of these segments are joined into one segment, saving a 4-byte header each.
constexpr uint8_t kMergeCodes[] = {kDqt, kDht};
constexpr size_t kMergeLimit = 65000;

constexpr size_t kHeaderSize = 4;
constexpr size_t kLogExcerptLength = 60;

// A known corruption: a file that begins with an APP1 "Exif" segment of length 16, too short
// to hold an Exif block, followed by a marker at offset 20. The walk reads a minimal JFIF APP0
// segment in its place; the source file itself is never written.
constexpr uint8_t kBrokenHeader[] = {0xFF, 0xD8, 0xFF, 0xE1, 0x00, 0x10, 'E', 'x', 'i', 'f'};
constexpr size_t kTagOffset = 6;
constexpr size_t kRepairProbeOffset = 20;
constexpr size_t kRepairOffset = 2;
constexpr uint8_t kRepairedHeader[] = {0xFF, 0xE0, 0x00, 0x10, 'J',  'F',  'I',  'F',  0x00,
                                       0x01, 0x01, 0x00, 0x00, 0x01, 0x00, 0x01, 0x00, 0x00};
constexpr size_t kRepairEnd = kRepairOffset + sizeof kRepairedHeader;
static_assert(kRepairEnd == kRepairProbeOffset);

// The largest payload a segment's 16-bit length field can describe.
constexpr size_t kMaxSegmentData = 0xFFFF - 2;

// Output held back before it is handed on: enough to write in few calls, little enough that
// what is held stays small whatever the file.
constexpr size_t kHandOnPieces = 256;
constexpr size_t kHandOnOwnBytes = size_t{1} << 20;

bool BeginsWith(ByteSpan data, std::string_view text) {
  return data.size() >= text.size() &&
         std::equal(text.begin(), text.end(), data.begin(),
                    [](char a, uint8_t b) { return static_cast<uint8_t>(a) == b; });
}

std::string Decimal(int64_t value) { return std::to_string(value); }

// The input as the walk reads it: the file read whole, or only its head and its last two bytes;
// with the repaired header in place of the broken one when the repair applies. Bytes that were
// never read, which the choice to read only a file's ends rules out, read as nothing and mark the
// input overread: the rewrite then fails, and the file is left as it is.
class Input {
 public:
  void Set(ByteSpan file) {
    file_ = file;
    size_ = file.size();
  }
  void SetEnds(ByteSpan head, size_t size, std::array<uint8_t, 2> tail) {
    file_ = head;
    size_ = size;
    tail_ = tail;
  }
  void Repair() {
    std::copy(file_.begin(), file_.begin() + kRepairOffset, head_.begin());
    std::copy(std::begin(kRepairedHeader), std::end(kRepairedHeader),
              head_.begin() + kRepairOffset);
    repaired_ = true;
  }

  size_t size() const { return size_; }
  bool overread() const { return overread_; }
  // True when the `length` bytes from `offset` were read.
  bool Holds(size_t offset, size_t length) const {
    return offset + length <= file_.size() || offset >= TailStart();
  }
  uint8_t operator[](size_t offset) const {
    if (repaired_ && offset < kRepairEnd) return head_[offset];
    if (offset < file_.size()) return file_[offset];
    if (offset >= TailStart() && offset < size_) return tail_[offset - TailStart()];
    overread_ = true;
    return 0;
  }
  // `length` bytes from `offset`; offset + length must not pass size().
  ByteSpan Span(size_t offset, size_t length) {
    if (!Holds(offset, length)) {
      overread_ = true;
      return {};
    }
    // Nothing at the head's very end is still the head's.
    if (offset + length > file_.size())
      return ByteSpan(tail_).subspan(offset - TailStart(), length);
    if (!repaired_ || offset >= kRepairEnd) return file_.subspan(offset, length);
    if (offset + length <= kRepairEnd) return ByteSpan(head_).subspan(offset, length);
    // Across the end of the repaired header: joined in a copy that lives as long as the walk.
    Bytes& joined =
        joined_.emplace_back(head_.begin() + static_cast<ptrdiff_t>(offset), head_.end());
    const ByteSpan rest = file_.subspan(kRepairEnd, offset + length - kRepairEnd);
    joined.insert(joined.end(), rest.begin(), rest.end());
    return joined;
  }

 private:
  // Where the last two bytes, read on their own, begin; the file's end when it was read whole.
  size_t TailStart() const { return size_ == file_.size() ? size_ : size_ - tail_.size(); }

  ByteSpan file_;  // what was read from the file's start
  size_t size_ = 0;
  std::array<uint8_t, 2> tail_{};
  std::array<uint8_t, kRepairEnd> head_{};
  bool repaired_ = false;
  mutable bool overread_ = false;
  std::deque<Bytes> joined_;
};

// What a decoder learns about a picture's colours from the segments before its first scan,
// and what a viewer learns about its density and orientation.
struct FrameColours {
  bool complete = false;  // the segments lead cleanly up to the first scan
  size_t firstScan = 0;   // offset of the first SOS marker
  int adobeSegments = 0;
  bool jfif = false;  // a JFIF APP0 segment, which makes a 3-component picture YCbCr
  int components = 0;
  bool rgbIds = false;       // the components are named 'R', 'G', 'B'
  bool jfifDensity = false;  // the first JFIF segment gives the picture a density
  int exifOrientation = 0;   // of the first Exif segment, 1 to 8; 0 for none
};

bool IsFrameHeader(uint8_t code) {
  return code >= kSof0 && code <= 0xCF && code != kDht && code != 0xC8 && code != 0xCC;
}

FrameColours ReadFrameColours(Input& in) {
  FrameColours colours;
  bool exifSeen = false;
  for (size_t at = 2; at + 4 <= in.size();) {
    if (in[at] != kMarkerLead) break;
    const uint8_t code = in[at + 1];
    if (code == kFill) {
      ++at;
      continue;
    }
    if (code == kSos) {
      colours.complete = colours.components > 0;
      colours.firstScan = at;
      break;
    }
    if (IsStandaloneMarker(code).standalone) break;
    const size_t length = in[at + 2] * size_t{256} + in[at + 3];
    if (length < 2 || at + 2 + length > in.size()) break;
    const size_t data = at + 4;
    auto says = [&](std::string_view text) {
      if (length - 2 < text.size()) return false;
      for (size_t i = 0; i < text.size(); ++i) {
        if (in[data + i] != static_cast<uint8_t>(text[i])) return false;
      }
      return true;
    };
    if (code == kApp0 && length - 2 >= 14 && says(std::string_view("JFIF\0", 5))) {
      if (!colours.jfif) colours.jfifDensity = JfifGivesDensity(in.Span(data, length - 2));
      colours.jfif = true;
    }
    if (code == kApp1 && !exifSeen && says("Exif")) {
      exifSeen = true;
      colours.exifOrientation = ExifOrientation(in.Span(data, length - 2));
    }
    if (code == kApp14 && says("Adobe")) ++colours.adobeSegments;
    if (IsFrameHeader(code) && length - 2 >= 6) {
      colours.components = in[data + 5];
      colours.rgbIds = colours.components == 3 && length - 2 >= 6 + 9 && in[data + 6] == 'R' &&
                       in[data + 9] == 'G' && in[data + 12] == 'B';
    }
    at += 2 + length;
  }
  return colours;
}

// Messages kept back until it is clear that what they tell happened.
struct HeldMessages : MessageHolder {
  std::vector<LogMessage> messages;
  void Hold(LogMessage message) override { messages.push_back(std::move(message)); }
};

// One rewrite: the input mapped, the output handed on to the output file as it becomes final.
class Rewriter {
 public:
  Rewriter(const RewriteOptions& options, const PictureInput& input, std::string_view nameForLog,
           LogSink& log, RewriteSink& sink)
      : options_(options),
        log_(log),
        name_(nameForLog),
        sink_(sink),
        collect_(options.optimize != OptimizeChoice::kOff && input.whole()) {
    if (input.whole()) {
      in_.Set(input.head);
    } else {
      in_.SetEnds(input.head, input.size, input.tail);
    }
    whole_ = input.whole();
    // Picture data handed on unread cannot be coded again.
    if (options.optimize != OptimizeChoice::kOff && !whole_) {
      reencoding_ = {ReencodingNote::Kind::kDeclined, "not read whole"};
    }
    // A file too large to re-encode in a job's memory is not collected for it either.
    tooLargeToReencode_ = collect_ && !ReencodingMayFit(input.size);
    collect_ = collect_ && !tooLargeToReencode_;
    if (collect_) collected_.reserve(input.size);
  }

  RewriteOutcome Run();

 private:
  using Verdict = Result<RewriteVerdict>;
  Verdict PreCheck();
  Verdict Walk();
  Verdict Finish();
  // What the walk does after one marker.
  enum class Step { kGoOn, kLeave, kStop };
  Step Standalone(const MarkerHeader& header, size_t headerOffset, Verdict& outcome);
  Step LengthBearing(const MarkerHeader& header, size_t headerOffset, size_t available,
                     Verdict& outcome);
  const FrameColours& HeaderFacts();
  bool ColoursKeptWithoutAdobe(size_t adobeOffset);
  Status CopyEntropyData();
  bool ReduceExifSegment(LogSink& log, ByteSpan payload, Bytes& reduced);
  std::optional<Bytes> MinimalExif(LogSink& log, ByteSpan payload);
  bool ExifKeptWhole() const;
  // Writes the segment, joined with the previous one where it may be, unless the remove list
  // (`removed`) or the Exif reduction drops it; gives the data the log shows. A minimal Exif
  // block is written whatever the remove list says.
  ByteSpan KeepDecision(MarkerHeader& header, ByteSpan data, bool copy, bool& removed,
                        bool minimalExif = false);
  void WriteSegment(const MarkerHeader& header, ByteSpan data, bool copy);
  bool HeaderNeedsRepair() const;
  Step Corruption(size_t headerOffset, uint8_t lead, Verdict& outcome);
  Status HandOn(bool all);
  Status WritePieces(std::span<const ByteSpan> pieces);
  Status WriteCollected(bool finished);
  void PlanTurn();
  bool TurnCollected(Bytes& output);

  void Log(int level, const std::string& message) { log_.WriteLog(message, level); }
  // The verdict on the file's bytes, with what the walk found wrong.
  Verdict Fault(RewriteVerdict verdict, std::string reason) {
    reason_ = std::move(reason);
    return verdict;
  }
  // A fault in the file's bytes that the walk cannot go past.
  Verdict Fault(Failure failure) {
    reason_ = failure.text;
    return failure;
  }
  bool Logs(int level) const { return log_.Wants(level); }

  const RewriteOptions& options_;
  LogSink& log_;
  const std::string name_;  // for the log
  RewriteSink& sink_;

  Input in_;
  bool whole_ = true;  // every byte of the input was read
  OutputBuffer out_;
  ReencodingNote reencoding_;
  std::string reason_;

  // Walk state.
  size_t consumed_ = 0;
  bool eoiSeen_ = false;
  bool scanSeen_ = false;  // an SOS segment was met: picture data may follow
  bool fileEndsWithEoi_ = false;
  MarkerHeader last_;  // the last header read; its code starts the entropy copy
  uint8_t lastMarker_ = 0;
  // The last segment written by the ordinary write path lives in the output at
  // [previousStart_, previousEnd_): its header, then its data.
  size_t previousStart_ = 0;
  size_t previousEnd_ = 0;
  bool havePrevious_ = false;
  Bytes previousHead_;  // the first bytes of its data, for the log
  ColourState colour_;
  std::optional<FrameColours> frameColours_;  // read once, when a rule asks
  int usefulTags_ = 0;
  // With re-encoding asked for, or a picture to turn, the walk's output is collected here
  // rather than handed on, and `written_` is the length of what was finally handed on.
  bool collect_;
  bool tooLargeToReencode_ = false;
  Bytes collected_;
  size_t written_ = 0;
  int turnBy_ = 0;  // the Exif orientation the picture is to be turned by, 2 to 8; else 0
  bool turned_ = false;
};

RewriteOutcome Rewriter::Run() {
  Verdict result = RewriteVerdict::kRewritten;
  try {
    result = PreCheck();
    if (Rewritten(result) && options_.upright) PlanTurn();
    if (Rewritten(result)) result = Walk();
    if (Rewritten(result)) result = Finish();
  } catch (const std::bad_alloc&) {
    // The machine's limit, not the file's fault.
    result = Failure::System(ENOMEM);
  } catch (const std::length_error&) {
    result = Failure::System(ENOMEM);
  }
  // Whatever the walk made of bytes it never read counts for nothing.
  if (in_.overread()) result = Failure::System(EIO);
  if (result == RewriteVerdict::kDamaged) {
    // What was made so far goes out too, for whoever wants to look at it.
    Status handed = HandOn(true);
    if (handed && collect_) handed = WriteCollected(false);
    if (!handed) result = handed.error();
  }
  if (!result) Log(kBrief, "Failed to open file " + name_);
  const bool rewritten = Rewritten(result);
  return {std::move(result), in_.size(), written_,
          reencoding_,       turned_,    rewritten ? std::string() : reason_};
}

Rewriter::Verdict Rewriter::PreCheck() {
  Log(kBrief, "Reading " + name_);
  const size_t length = in_.size();
  // The quick scan needs the last two bytes; a file without them is no JPEG to walk.
  if (length < 2)
    return Fault(Failure::Content(platform::kFailReadPastEnd, "Shorter than two bytes"));
  fileEndsWithEoi_ = in_[length - 2] == kMarkerLead && in_[length - 1] == kEoi;

  // A head read only up to a first scan that starts right after the SOI may end before the
  // tag: such a file begins like a JPEG, whatever the tag would say.
  std::array<uint8_t, 4> tag{};
  for (size_t i = 0; i < tag.size() && kTagOffset + i < length && in_.Holds(kTagOffset + i, 1);
       ++i) {
    tag[i] = in_[kTagOffset + i];
  }
  const bool tagIsJfif = BeginsWith(tag, "JFIF");

  // The probe is the first byte after the broken header's segment, before any scan's data: a
  // head that holds the header holds it.
  if (BeginsWith(tag, "Exif") && HeaderNeedsRepair() && kRepairProbeOffset < length &&
      in_[kRepairProbeOffset] == kMarkerLead) {
    Log(kVerbose, "Tollvane corruption detected, fixing");
    in_.Repair();
  }

  const bool startsLikeJpeg =
      in_[0] == kMarkerLead && in_[1] == kSoi && length > 2 && in_[2] == kMarkerLead;
  if (!tagIsJfif && !startsLikeJpeg) {
    Log(kVerbose, "Not a JPEG - " + name_);
    return Fault(RewriteVerdict::kNotJpeg, "Not a JPEG");
  }
  return RewriteVerdict::kRewritten;
}

bool Rewriter::HeaderNeedsRepair() const {
  for (size_t i = 0; i < sizeof kBrokenHeader; ++i) {
    if (i >= in_.size() || in_[i] != kBrokenHeader[i]) return false;
  }
  return true;
}

Rewriter::Verdict Rewriter::Walk() {
  const size_t length = in_.size();
  // The input is used up once the walk has consumed it all; a marker whose header runs past
  // the end is still read as far as it goes.
  while (consumed_ < length && !in_.overread()) {
    if (StartsEntropyData(last_.code)) {
      scanSeen_ = scanSeen_ || last_.code == kSos;
      if (Status copied = CopyEntropyData(); !copied) return copied.error();
    }
    if (consumed_ > length) {
      Log(kVerbose, "Unexpected end of file");
      return Fault(RewriteVerdict::kDamaged, "Unexpected end of file");
    }
    const size_t headerOffset = consumed_;
    const size_t available = length - headerOffset;
    if (available < 2) break;  // nothing left that could be a marker

    MarkerHeader header{in_[headerOffset], in_[headerOffset + 1],
                        available > 2 ? in_[headerOffset + 2] : uint8_t{0},
                        available > 3 ? in_[headerOffset + 3] : uint8_t{0}};
    last_ = header;
    consumed_ = headerOffset + kHeaderSize;

    Verdict outcome = RewriteVerdict::kRewritten;
    // A marker, standalone or not, begins with 0xFF: anything else is a stray byte, and
    // taking what follows it for a marker could end the picture early.
    const Step step = header.lead != kMarkerLead ? Corruption(headerOffset, header.lead, outcome)
                      : IsStandaloneMarker(header.code).standalone
                          ? Standalone(header, headerOffset, outcome)
                          : LengthBearing(header, headerOffset, available, outcome);
    if (step == Step::kStop) return outcome;
    if (step == Step::kLeave) break;
    if (out_.pendingPieces() >= kHandOnPieces || out_.pendingOwnBytes() >= kHandOnOwnBytes) {
      if (Status handed = HandOn(false); !handed) return handed.error();
    }
  }

  if (!eoiSeen_) {
    Log(kVerbose, "No ending marker! File is truncated.");
    return Fault(RewriteVerdict::kDamaged, "No ending marker! File is truncated.");
  }
  return RewriteVerdict::kRewritten;
}

Rewriter::Step Rewriter::Standalone(const MarkerHeader& header, size_t headerOffset,
                                    Verdict& outcome) {
  const StandaloneInfo info = IsStandaloneMarker(header.code);
  // The bytes read beyond the marker go back to the input.
  consumed_ = headerOffset + kHeaderSize - 1 - static_cast<size_t>(info.stepBack);
  if (!IsRestartMarker(header.code) && Logs(kExplicit)) {
    Log(kExplicit, "Non-data segment " + Decimal(header.code) + MarkerName(header.code) + " at " +
                       Decimal(static_cast<int64_t>(consumed_)));
  }
  if (header.code == kEoi && !scanSeen_ && consumed_ < in_.size()) {
    // An end marker before any scan, with more of the file after it, is a stray: taken for the
    // end, it would leave out the frame and the picture that follow.
    const std::string where = "Possible corruption at " + Decimal(static_cast<int64_t>(consumed_));
    Log(kExplicit, where + " - " + Decimal(header.code) + " - " + name_);
    outcome = Fault(RewriteVerdict::kDamaged, where);
    return Step::kStop;
  }
  if (header.code == kEoi) eoiSeen_ = true;
  if (options_.remove.Contains(header.code)) return Step::kGoOn;
  lastMarker_ = header.code;
  out_.Append(header.lead);
  // A fill byte consumed one byte; writing its partner too would double it.
  if (header.code != kFill) out_.Append(header.code);
  return eoiSeen_ ? Step::kLeave : Step::kGoOn;
}

Rewriter::Step Rewriter::Corruption(size_t headerOffset, uint8_t lead, Verdict& outcome) {
  const std::string where =
      "Possible corruption at " + Decimal(static_cast<int64_t>(headerOffset + 2));
  Log(kExplicit, where + " - " + Decimal(lead) + " - " + name_);
  if (!eoiSeen_) {
    outcome = Fault(RewriteVerdict::kDamaged, where);
    return Step::kStop;
  }
  Log(kExplicit, " but *End* encountered, assuming OK");
  return Step::kLeave;
}

Rewriter::Step Rewriter::LengthBearing(const MarkerHeader& header, size_t headerOffset,
                                       size_t available, Verdict& outcome) {
  if (available < kHeaderSize) {
    // The file ends inside the length field.
    Log(kExplicit, "Block beyond end of file");
    outcome = Fault(RewriteVerdict::kDamaged, "Block beyond end of file");
    return Step::kStop;
  }
  const int dataLength = header.DataLength();
  if (Logs(kExplicit)) {
    Log(kExplicit, "Block type is " + Decimal(header.code) + MarkerName(header.code) +
                       ", length of data is " + Decimal(dataLength));
  }
  if (dataLength < 0) {
    outcome = Fault(Failure::Content(platform::kFailInvalidCall, "Segment length below 2"));
    return Step::kStop;
  }
  if (consumed_ + static_cast<size_t>(dataLength) > in_.size()) {
    Log(kExplicit, "Block beyond end of file");
    outcome = Fault(RewriteVerdict::kDamaged, "Block beyond end of file");
    return Step::kStop;
  }
  const ByteSpan read = in_.Span(consumed_, static_cast<size_t>(dataLength));
  consumed_ += static_cast<size_t>(dataLength);
  MarkerHeader segment = header;
  ByteSpan data = read;
  // A reduced Exif block is made here; everything else is the input's own bytes.
  Bytes reduced;
  bool copy = false;

  const bool isExif = header.code == kApp1 && BeginsWith(data, "Exif");
  // A deleted Exif block leaves behind what the picture needs to show upright.
  bool minimal = false;
  if (isExif && options_.exif == ExifChoice::kDelete && !ExifKeptWhole()) {
    if (std::optional<Bytes> block = MinimalExif(log_, read)) {
      reduced = std::move(*block);
      data = reduced;
      copy = minimal = true;
    }
  }
  if (isExif && options_.exif == ExifChoice::kReduce) {
    if (ReduceExifSegment(log_, read, reduced)) {
      data = reduced;
      copy = true;
    }
  }
  if (copy || (isExif && options_.exif == ExifChoice::kReduce)) {
    const size_t length = data.size() + 2;
    segment.lengthHigh = static_cast<uint8_t>(length / 256);
    segment.lengthLow = static_cast<uint8_t>(length % 256);
  }

  bool removed = false;
  const ByteSpan shown = KeepDecision(segment, data, copy, removed, minimal);

  std::string_view writtenBack;  // what the segment is, when a colour rule writes it (again)
  if (header.code == kApp14 && BeginsWith(data, "Ado")) {
    // The transform flag lies beyond the end of a shorter segment.
    if (data.size() < kAdobeMinimumLength) {
      outcome = Fault(Failure::Content(platform::kFailReadPastEnd, "Adobe segment cut short"));
      return Step::kStop;
    }
    if (AdobeSegmentWrittenBack(data, colour_) || !ColoursKeptWithoutAdobe(headerOffset)) {
      WriteSegment(segment, data, copy);
      writtenBack = " (Adobe colour transform)";
    }
  }
  if (header.code == kApp2 && BeginsWith(data, "ICC") && options_.icc == IccPolicy::kAutomatic &&
      ColourProfileWrittenBack(data, colour_)) {
    WriteSegment(segment, data, copy);
    writtenBack = " (colour profile)";
  }
  // Said once the colour rules have spoken, so that a segment they keep is not called removed.
  if (removed || !writtenBack.empty()) {
    Log(kExplicit, "Block " + Decimal(header.code) +
                       (writtenBack.empty() ? " removed" : (removed ? " kept" : " written again")) +
                       std::string(writtenBack));
  }

  if (Logs(kExplicit)) {
    const size_t length = std::min(shown.size(), kLogExcerptLength);
    Log(kExplicit,
        "[" + std::string(shown.begin(), shown.begin() + static_cast<ptrdiff_t>(length)) + "]");
  }
  return Step::kGoOn;
}

// An Adobe segment that says YCbCr may go only when a decoder would take the picture as YCbCr
// without it too (ITU T.872): a grey picture, or three components with a JFIF segment or
// without the names 'R', 'G', 'B'. A picture of four components is CMYK without it, not YCCK.
// Once the first scan has begun, a decoder has settled the colours and the segment is idle.
bool Rewriter::ColoursKeptWithoutAdobe(size_t adobeOffset) {
  const FrameColours& colours = HeaderFacts();
  if (!colours.complete) return false;
  if (adobeOffset > colours.firstScan) return true;
  if (colours.adobeSegments > 1) return false;  // the last one decides
  return colours.components == 1 || (colours.components == 3 && (colours.jfif || !colours.rgbIds));
}

// Read once, when a rule asks.
const FrameColours& Rewriter::HeaderFacts() {
  if (!frameColours_) frameColours_ = ReadFrameColours(in_);
  return *frameColours_;
}

// Deleting the Exif block keeps its orientation, and with Keep DPI its resolution unless a
// JFIF segment that stays gives the picture a density of its own.
std::optional<Bytes> Rewriter::MinimalExif(LogSink& log, ByteSpan payload) {
  const bool jfifDensity =
      options_.keepDpi && !options_.remove.Contains(kApp0) && HeaderFacts().jfifDensity;
  return MinimalExifBlock(log, payload, options_.keepDpi, jfifDensity);
}

// The Exif segment stays as it is read: kept, or not in the remove list.
bool Rewriter::ExifKeptWhole() const {
  return options_.exif == ExifChoice::kKeep ||
         (options_.exif == ExifChoice::kDelete && !options_.remove.Contains(kApp1));
}

bool Rewriter::ReduceExifSegment(LogSink& log, ByteSpan payload, Bytes& reduced) {
  // In memory: no copy of the block, which may hold a serial number or a position, is ever
  // written anywhere but into the photo's own rewrite.
  const Result<ExifReduced> result =
      ReduceExifBlock(log, options_.keepDpi, payload, reduced, usefulTags_, name_);
  // A block that grew past what a segment can hold stays as it was.
  if (!result || *result != ExifReduced::kReduced || reduced.size() > kMaxSegmentData) {
    log.WriteLog("Cannot reduce EXIF size", kVerbose);
    return false;
  }
  return true;
}

ByteSpan Rewriter::KeepDecision(MarkerHeader& header, ByteSpan data, bool copy, bool& removed,
                                bool minimalExif) {
  const bool isExif = header.code == kApp1 && BeginsWith(data, "Exif");
  const bool keep = minimalExif || !options_.remove.Contains(header.code) ||
                    (isExif && options_.exif != ExifChoice::kDelete);
  if (!keep) {
    removed = true;
    return data;
  }
  if (isExif && options_.exif == ExifChoice::kReduce && usefulTags_ == 0) {
    Log(kExplicit, "EXIF removed");
    return data;
  }

  const bool mergeable = std::find(std::begin(kMergeCodes), std::end(kMergeCodes), header.code) !=
                         std::end(kMergeCodes);
  // The previous segment can only be joined while it is the last thing in the output.
  const bool previousIsLast = havePrevious_ && out_.size() == previousEnd_;
  const size_t previousDataLength =
      previousIsLast ? previousEnd_ - previousStart_ - kHeaderSize : 0;
  if (mergeable && header.code == lastMarker_ && previousIsLast &&
      previousDataLength + data.size() < kMergeLimit) {
    if (Logs(kExplicit)) {
      Log(kExplicit,
          "Merging " + Decimal(header.code) + MarkerName(header.code) + " with previous block");
    }
    // The joined segment is the previous header with the new length, the previous data, then
    // this segment's data; the previous data is already in place.
    const size_t length = previousDataLength + data.size() + 2;
    header.lengthHigh = static_cast<uint8_t>(length / 256);
    header.lengthLow = static_cast<uint8_t>(length % 256);
    out_.Patch(previousStart_ + 2, header.lengthHigh);
    out_.Patch(previousStart_ + 3, header.lengthLow);
    if (copy) {
      out_.Append(data);
    } else {
      out_.AppendView(data);
    }
    previousEnd_ = out_.size();
    lastMarker_ = header.code;
    const size_t more = std::min(
        data.size(), kLogExcerptLength - std::min(kLogExcerptLength, previousHead_.size()));
    previousHead_.insert(previousHead_.end(), data.begin(),
                         data.begin() + static_cast<ptrdiff_t>(more));
    return previousHead_;
  }

  previousStart_ = out_.size();
  WriteSegment(header, data, copy);
  previousEnd_ = out_.size();
  havePrevious_ = true;
  previousHead_.assign(data.begin(), data.begin() + static_cast<ptrdiff_t>(
                                                        std::min(data.size(), kLogExcerptLength)));
  return data;
}

void Rewriter::WriteSegment(const MarkerHeader& header, ByteSpan data, bool copy) {
  lastMarker_ = header.code;
  const uint8_t bytes[kHeaderSize] = {header.lead, header.code, header.lengthHigh,
                                      header.lengthLow};
  out_.Append(bytes);
  if (copy) {
    out_.Append(data);
  } else {
    out_.AppendView(data);
  }
}

Status Rewriter::CopyEntropyData() {
  Log(kExplicit, "Reading entropy data...");
  const size_t restLength = in_.size() - consumed_;
  // (Output that is collected must stay in order: it never goes from file to file.)
  if (options_.quickScan && fileEndsWithEoi_ && restLength >= 2 && !collect_ &&
      !in_.Holds(consumed_, restLength - 2)) {
    // Everything up to the final EOI, straight from file to file: what is pending goes out first.
    const size_t copied = restLength - 2;
    if (Status handed = HandOn(true); !handed) return handed;
    if (Status handed = sink_.CopyInput(consumed_, copied); !handed) return handed;
    out_.CountWritten(copied);
    written_ += copied;
    Log(kExplicit, Decimal(static_cast<int64_t>(copied)) + " bytes");
    consumed_ += copied;
    return {};
  }
  const ByteSpan rest = in_.Span(consumed_, in_.size() - consumed_);
  const EntropyEnd end = FindEntropyEnd(rest, options_.quickScan, fileEndsWithEoi_);
  if (end.endedOnLoneFF) Log(kExplicit, "File ended prematurely after the FF block marker!");
  out_.AppendView(rest.first(end.copied));
  Log(kExplicit, Decimal(static_cast<int64_t>(end.copied)) + " bytes");
  consumed_ = end.markerFound ? consumed_ + end.copied : in_.size();
  return {};
}

Rewriter::Verdict Rewriter::Finish() {
  if (Status handed = HandOn(true); !handed) return handed.error();
  if (collect_) {
    if (Status handed = WriteCollected(true); !handed) return handed.error();
  }
  if (tooLargeToReencode_) reencoding_ = Decline(log_, std::string(kNoRoomToReencode));
  Log(kVerbose, "Reached end of " + name_);
  const int64_t saved = static_cast<int64_t>(in_.size()) - static_cast<int64_t>(written_);
  if (saved > 0) Log(kBrief, "Reduced by " + Decimal(saved) + " bytes.");
  return RewriteVerdict::kRewritten;
}

Status Rewriter::HandOn(bool all) {
  // While the last segment may still be joined with the next one, its header can change.
  const bool mayJoin = havePrevious_ && out_.size() == previousEnd_ &&
                       std::find(std::begin(kMergeCodes), std::end(kMergeCodes), lastMarker_) !=
                           std::end(kMergeCodes);
  const size_t end = all || !mayJoin ? out_.size() : previousStart_;
  return out_.HandOn(end, [this](std::span<const ByteSpan> pieces) { return WritePieces(pieces); });
}

// Every byte of the output passes here exactly once, in file order, when it is final.
Status Rewriter::WritePieces(std::span<const ByteSpan> pieces) {
  if (collect_) {
    for (const ByteSpan piece : pieces)
      collected_.insert(collected_.end(), piece.begin(), piece.end());
    return {};
  }
  for (const ByteSpan piece : pieces) written_ += piece.size();
  return sink_.Write(pieces);
}

// The walk's output, complete in memory, is turned upright when planned, or else coded again
// from its DCT coefficients when asked, and the smaller form is handed on. A damaged file's
// output goes as the walk left it.
Status Rewriter::WriteCollected(bool finished) {
  collect_ = false;
  Bytes output = std::move(collected_);
  if (finished && turnBy_ != 0 && TurnCollected(output)) {
    // The turn coded the picture data afresh, as the re-encoding would have.
    if (options_.optimize != OptimizeChoice::kOff) reencoding_.kind = ReencodingNote::Kind::kUsed;
  } else if (finished && !tooLargeToReencode_) {
    SmallerReencoding reencoded = ReencodeIfSmaller(log_, options_.optimize, output);
    reencoding_ = std::move(reencoded.note);
    if (reencoded.bytes) output = std::move(*reencoded.bytes);
  }
  const ByteSpan all(output);
  return WritePieces(std::span<const ByteSpan>(&all, 1));
}

// A picture whose Exif orientation shows it turned or mirrored is turned upright once the walk
// is done, which needs the whole picture in memory. Planned before the walk hands anything on.
void Rewriter::PlanTurn() {
  const int orientation = HeaderFacts().exifOrientation;
  if (orientation <= kOrientationAsStored) return;
  // Not collected for a turn that could not happen anyway.
  if (!TurnMayFit(in_.size())) {
    Log(kVerbose, "Picture not turned upright: " + std::string(kNoRoomToReencode));
    return;
  }
  if (!whole_) {
    Log(kVerbose, "Picture not turned upright: only the ends of the file were read");
    return;
  }
  turnBy_ = orientation;
  if (!collect_) collected_.reserve(in_.size());
  collect_ = true;
}

// Turns the walk's output upright and edits its Exif block to match: Orientation 1 and the
// width and height swapped where the block is kept whole (its thumbnail turned too, or no
// turn), and in a reduced or a minimal block what the reduction or the deletion leaves of
// that. Declines with a line that says why, leaving picture and tag as the walk made them.
bool Rewriter::TurnCollected(Bytes& output) {
  const auto declined = [this](const std::string& why) {
    Log(kVerbose, "Picture not turned upright: " + why);
    return false;
  };
  const std::optional<ByteSpan> walkedExif = ExifPayloadOf(output);
  if (!walkedExif || ExifOrientation(*walkedExif) != turnBy_)
    return declined("the EXIF block was not kept");
  const int orientation = turnBy_;
  ThumbnailTurner turnThumbnail;
  if (ExifKeptWhole()) {
    turnThumbnail = [orientation](ByteSpan thumbnail) -> std::optional<Bytes> {
      Turned turned = TurnJpeg(thumbnail, orientation, OptimizeChoice::kHuffman);
      if (!turned.declined.empty()) return std::nullopt;
      return std::move(turned.bytes);
    };
  }
  // The block is edited first, as that costs little and may refuse; what the edits did is told
  // once the picture has turned.
  HeldMessages edits;
  LogSink editLog(log_, edits);
  TurnedExif edited = ExifForTurnedPicture(editLog, *walkedExif, orientation, turnThumbnail);
  if (!edited.refused.empty()) return declined(edited.refused);
  // The edited block as the Exif mode leaves it, which for a picture now upright holds no
  // orientation of its own: kept whole, reduced (none without a useful tag), or the minimal
  // block, which then holds the resolution at most.
  std::optional<Bytes> payload;
  if (ExifKeptWhole()) {
    payload = std::move(edited.payload);
  } else if (options_.exif == ExifChoice::kReduce) {
    Bytes reduced;
    const bool done = ReduceExifSegment(editLog, edited.payload, reduced);
    if (usefulTags_ == 0) {
      editLog.WriteLog("EXIF removed", kExplicit);
    } else {
      payload = done ? std::move(reduced) : std::move(edited.payload);
    }
  } else {
    payload = MinimalExif(editLog, edited.payload);
  }

  Turned turned = TurnJpeg(output, orientation, options_.optimize);
  if (!turned.declined.empty()) return declined(turned.declined);
  std::optional<Bytes> candidate = WithExifPayload(turned.bytes, payload);
  if (!candidate) return declined("the EXIF block does not fit in a segment");
  if (candidate->size() > in_.size()) {
    return declined("the file would grow by " +
                    Decimal(static_cast<int64_t>(candidate->size() - in_.size())) + " bytes");
  }
  for (const LogMessage& message : edits.messages) log_.Pass(message);
  Log(kExplicit, "Picture turned upright by orientation " + Decimal(orientation));
  output = std::move(*candidate);
  turned_ = true;
  return true;
}

// Collects what a rewrite hands on.
class ByteCollector : public RewriteSink {
 public:
  explicit ByteCollector(Bytes& bytes) : bytes_(bytes) {}
  Status Write(std::span<const ByteSpan> pieces) override {
    for (const ByteSpan piece : pieces) bytes_.insert(bytes_.end(), piece.begin(), piece.end());
    return {};
  }
  // A file in memory is always whole.
  Status CopyInput(uint64_t, uint64_t) override { return Failure::System(EINVAL); }

 private:
  Bytes& bytes_;
};

}  // namespace

int ReturnCode(const Result<RewriteVerdict>& result) {
  return result ? static_cast<int>(*result) : result.error().number;
}

RewriteOutcome RewritePicture(const RewriteOptions& options, const PictureInput& input,
                              std::string_view nameForLog, LogSink& log, RewriteSink& sink) {
  return Rewriter(options, input, nameForLog, log, sink).Run();
}

RewrittenBytes RewriteBytes(const RewriteOptions& options, std::span<const uint8_t> file,
                            std::string_view nameForLog, LogSink& log) {
  RewrittenBytes rewritten;
  ByteCollector collector(rewritten.bytes);
  try {
    rewritten.bytes.reserve(file.size());
  } catch (const std::bad_alloc&) {
    // The rewrite then meets the same limit and says so.
  }
  rewritten.outcome =
      RewritePicture(options, PictureInput::Whole(file), nameForLog, log, collector);
  return rewritten;
}

HeadExtent FindHeadExtent(std::span<const uint8_t> head, size_t resumeAt) {
  size_t at = resumeAt;
  if (at == 0) {
    if (head.size() < 2 || head[0] != kMarkerLead || head[1] != kSoi) return {};
    at = 2;
  }
  for (;;) {
    if (at + kHeaderSize > head.size()) return {0, at + kHeaderSize, at};
    const MarkerStep step = ReadMarkerStep(head, at);
    if (step.kind == MarkerStep::Kind::kShort) return {0, step.end, at};
    if (!step.segment()) return {};
    if (step.code == kSos) return {step.end, 0, 0};
    at = step.end;
  }
}

}  // namespace keelpack
