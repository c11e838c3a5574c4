#include "jpeg/rewrite_jpeg.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <new>
#include <optional>
#include <span>
#include <stdexcept>
#include <vector>

#include "exif/orientation_exif.h"
#include "jpeg/colour_policy.h"
#include "jpeg/entropy_copy.h"
#include "jpeg/exif_segment.h"
#include "jpeg/header_facts.h"
#include "jpeg/markers.h"
#include "jpeg/output_buffer.h"
#include "jpeg/reencode.h"
#include "jpeg/table_merge.h"
#include "jpeg/turn_jpeg.h"
#include "log/log_sink.h"
#include "platform/failure.h"

namespace keelpack {
namespace {

using Bytes = std::vector<uint8_t>;
using ByteSpan = std::span<const uint8_t>;

constexpr size_t kHeaderSize = 4;

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

// Output held back before it is handed on: enough to write in few calls, little enough that
// what is held stays small whatever the file.
constexpr size_t kHandOnPieces = 256;
constexpr size_t kHandOnOwnBytes = size_t{1} << 20;

std::string Decimal(int64_t value) { return std::to_string(value); }

// The input as the walk reads it: the file read whole, or only its head and its last two bytes;
// with the repaired header in place of the broken one when the repair applies. Bytes that were
// never read, which the choice to read only a file's ends rules out, read as nothing and mark the
// input overread: the rewrite then fails, and the file is left as it is.
class Input {
 public:
  void Set(ByteSpan head, size_t size, std::array<uint8_t, 2> tail) {
    head_ = head;
    size_ = size;
    tail_ = tail;
  }
  // The walk then reads a copy of the head with the repaired header in it: the source itself is
  // never written.
  void Repair() {
    if (head_.size() < kRepairEnd) return;  // the probe overread, which fails the rewrite
    repaired_.assign(head_.begin(), head_.end());
    std::copy(std::begin(kRepairedHeader), std::end(kRepairedHeader),
              repaired_.begin() + kRepairOffset);
    head_ = repaired_;
  }

  ByteSpan head() const { return head_; }
  // The marker step at `offset`, read from the head or from the last two bytes. A step that the
  // file holds but that reaches past what was read marks the input overread.
  MarkerStep StepAt(size_t offset) const {
    if (head_.size() < size_ && offset >= TailStart()) {
      MarkerStep step = ReadMarkerStep(tail_, offset - TailStart());
      step.end += TailStart();
      return step;
    }
    const MarkerStep step = ReadMarkerStep(head_, offset);
    if (step.kind == MarkerStep::Kind::kShort && step.end <= size_) overread_ = true;
    return step;
  }
  size_t size() const { return size_; }
  bool overread() const { return overread_; }
  // True when the `length` bytes from `offset` were read.
  bool Holds(size_t offset, size_t length) const {
    return offset + length <= head_.size() || offset >= TailStart();
  }
  uint8_t operator[](size_t offset) const {
    if (offset < head_.size()) return head_[offset];
    if (offset >= TailStart() && offset < size_) return tail_[offset - TailStart()];
    overread_ = true;
    return 0;
  }
  // `length` bytes from `offset`; offset + length must not pass size().
  ByteSpan Span(size_t offset, size_t length) const {
    if (!Holds(offset, length)) {
      overread_ = true;
      return {};
    }
    // Nothing at the head's very end is still the head's.
    if (offset + length > head_.size())
      return ByteSpan(tail_).subspan(offset - TailStart(), length);
    return head_.subspan(offset, length);
  }

 private:
  // Where the last two bytes, read on their own, begin; the file's end when it was read whole.
  size_t TailStart() const { return size_ == head_.size() ? size_ : size_ - tail_.size(); }

  ByteSpan head_;  // what was read from the file's start
  size_t size_ = 0;
  std::array<uint8_t, 2> tail_{};
  Bytes repaired_;
  mutable bool overread_ = false;
};

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
        exif_{options.exif, options.keepDpi, options.remove},
        collect_(options.optimize != OptimizeChoice::kOff && input.whole()) {
    in_.Set(input.head, input.size, input.tail);
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
  Step Standalone(const MarkerStep& step, Verdict& outcome);
  Step LengthBearing(const MarkerStep& step, size_t at, Verdict& outcome);
  const HeaderFacts& Facts();
  Status CopyEntropyData();
  bool HeaderNeedsRepair() const;
  Step Corruption(size_t at, Verdict& outcome);
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
  TableMerger merger_{out_};
  const ExifRule exif_;
  ReencodingNote reencoding_;
  std::string reason_;

  // Walk state.
  size_t consumed_ = 0;
  bool eoiSeen_ = false;
  bool scanSeen_ = false;  // an SOS segment was met: picture data may follow
  bool fileEndsWithEoi_ = false;
  uint8_t lastCode_ = 0;  // of the last marker read; SOS and RSTn start the entropy copy
  ColourState colour_;
  std::optional<HeaderFacts> facts_;  // read once, when a rule asks
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
    if (StartsEntropyData(lastCode_)) {
      scanSeen_ = scanSeen_ || lastCode_ == kSos;
      if (Status copied = CopyEntropyData(); !copied) return copied.error();
    }
    const size_t at = consumed_;
    if (length - at < 2) break;  // nothing left that could be a marker
    const MarkerStep marker = in_.StepAt(at);
    if (in_.overread()) break;
    lastCode_ = marker.code;

    Verdict outcome = RewriteVerdict::kRewritten;
    // A marker, standalone or not, begins with 0xFF: anything else is a stray byte, and
    // taking what follows it for a marker could end the picture early.
    const bool standalone =
        marker.kind == MarkerStep::Kind::kStandalone || marker.kind == MarkerStep::Kind::kFillByte;
    const Step step = in_[at] != kMarkerLead ? Corruption(at, outcome)
                      : standalone           ? Standalone(marker, outcome)
                                             : LengthBearing(marker, at, outcome);
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

Rewriter::Step Rewriter::Standalone(const MarkerStep& marker, Verdict& outcome) {
  consumed_ = marker.end;
  if (!IsRestartMarker(marker.code) && Logs(kExplicit)) {
    Log(kExplicit, "Non-data segment " + Decimal(marker.code) + MarkerName(marker.code) + " at " +
                       Decimal(static_cast<int64_t>(consumed_)));
  }
  if (marker.code == kEoi && !scanSeen_ && consumed_ < in_.size()) {
    // An end marker before any scan, with more of the file after it, is a stray: taken for the
    // end, it would leave out the frame and the picture that follow.
    const std::string where = "Possible corruption at " + Decimal(static_cast<int64_t>(consumed_));
    Log(kExplicit, where + " - " + Decimal(marker.code) + " - " + name_);
    outcome = Fault(RewriteVerdict::kDamaged, where);
    return Step::kStop;
  }
  if (marker.code == kEoi) eoiSeen_ = true;
  if (options_.remove.Contains(marker.code)) return Step::kGoOn;
  out_.Append(kMarkerLead);
  // A fill byte is one byte; its partner 0xFF begins the next marker.
  if (marker.kind != MarkerStep::Kind::kFillByte) out_.Append(marker.code);
  return eoiSeen_ ? Step::kLeave : Step::kGoOn;
}

Rewriter::Step Rewriter::Corruption(size_t at, Verdict& outcome) {
  const std::string where = "Possible corruption at " + Decimal(static_cast<int64_t>(at + 2));
  Log(kExplicit, where + " - " + Decimal(in_[at]) + " - " + name_);
  if (!eoiSeen_) {
    outcome = Fault(RewriteVerdict::kDamaged, where);
    return Step::kStop;
  }
  Log(kExplicit, " but *End* encountered, assuming OK");
  return Step::kLeave;
}

Rewriter::Step Rewriter::LengthBearing(const MarkerStep& marker, size_t at, Verdict& outcome) {
  if (in_.size() - at < kHeaderSize) {
    // The file ends inside the length field.
    Log(kExplicit, "Block beyond end of file");
    outcome = Fault(RewriteVerdict::kDamaged, "Block beyond end of file");
    return Step::kStop;
  }
  const MarkerHeader header{kMarkerLead, marker.code, in_[at + 2], in_[at + 3]};
  if (Logs(kExplicit)) {
    Log(kExplicit, "Block type is " + Decimal(header.code) + MarkerName(header.code) +
                       ", length of data is " + Decimal(header.DataLength()));
  }
  if (marker.kind == MarkerStep::Kind::kBroken) {
    outcome = Fault(Failure::Content(platform::kFailInvalidCall, "Segment length below 2"));
    return Step::kStop;
  }
  if (!marker.segment()) {
    Log(kExplicit, "Block beyond end of file");
    outcome = Fault(RewriteVerdict::kDamaged, "Block beyond end of file");
    return Step::kStop;
  }
  const ByteSpan read = marker.data;
  consumed_ = marker.end;

  // The Exif choice decides on an Exif segment, the remove list on the others.
  using Fate = ExifSegmentPlan::Fate;
  ExifSegmentPlan plan{options_.remove.Contains(header.code) ? Fate::kRemove : Fate::kWrite, {}};
  if (header.code == kApp1 && BeginsWith(read, "Exif"))
    plan = exif_.Plan(log_, read, Facts().jfifDensity, name_);
  // A reduced or a minimal Exif block is made here; everything else is the input's own bytes.
  const bool copy = plan.payload.has_value();
  const ByteSpan data = copy ? ByteSpan(*plan.payload) : read;
  MarkerHeader segment = header;
  if (copy) {
    const size_t length = data.size() + 2;
    segment.lengthHigh = static_cast<uint8_t>(length / 256);
    segment.lengthLow = static_cast<uint8_t>(length % 256);
  }
  const bool removed = plan.fate == Fate::kRemove;
  ByteSpan shown = data;  // what the log shows of the segment
  if (plan.fate == Fate::kWrite) {
    const TableMerger::Written written = merger_.Write(segment, data, copy);
    if (written.joined && Logs(kExplicit)) {
      Log(kExplicit,
          "Merging " + Decimal(header.code) + MarkerName(header.code) + " with previous block");
    }
    shown = written.shown;
  }

  std::string_view writtenBack;  // what the segment is, when a colour rule writes it (again)
  if (header.code == kApp14 && BeginsWith(data, "Ado")) {
    // The transform flag lies beyond the end of a shorter segment.
    if (data.size() < kAdobeMinimumLength) {
      outcome = Fault(Failure::Content(platform::kFailReadPastEnd, "Adobe segment cut short"));
      return Step::kStop;
    }
    if (AdobeSegmentWrittenBack(data, colour_) || !ColoursKeptWithoutAdobe(Facts(), at)) {
      AppendSegment(out_, segment, data, copy);
      writtenBack = " (Adobe colour transform)";
    }
  }
  if (header.code == kApp2 && BeginsWith(data, "ICC") && options_.icc == IccPolicy::kAutomatic &&
      ColourProfileWrittenBack(data, colour_)) {
    AppendSegment(out_, segment, data, copy);
    writtenBack = " (colour profile)";
  }
  // Said once the colour rules have spoken, so that a segment they keep is not called removed.
  if (removed || !writtenBack.empty()) {
    Log(kExplicit, "Block " + Decimal(header.code) +
                       (writtenBack.empty() ? " removed" : (removed ? " kept" : " written again")) +
                       std::string(writtenBack));
  }

  if (Logs(kExplicit)) {
    const size_t length = std::min(shown.size(), kLoggedDataLength);
    Log(kExplicit,
        "[" + std::string(shown.begin(), shown.begin() + static_cast<ptrdiff_t>(length)) + "]");
  }
  return Step::kGoOn;
}

// Read once, when a rule asks.
const HeaderFacts& Rewriter::Facts() {
  if (!facts_) facts_ = ReadHeaderFacts(in_.head());
  return *facts_;
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
  const size_t end = all ? out_.size() : merger_.FinalEnd();
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
  const int orientation = Facts().exifOrientation;
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
  if (exif_.KeptWhole()) {
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
  ExifSegmentPlan plan = exif_.Plan(editLog, edited.payload, Facts().jfifDensity, name_);
  std::optional<Bytes> payload;
  if (plan.fate == ExifSegmentPlan::Fate::kWrite)
    payload = plan.payload ? std::move(plan.payload) : std::move(edited.payload);

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
