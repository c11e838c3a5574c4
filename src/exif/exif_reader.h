#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "exif/exif_bytes.h"
#include "platform/result.h"

// The reading half of the Exif reduction: the header check and the walk over IFD0 and the
// sub-directories it leads to, bounded by the block at every step.
namespace keelpack {

class LogSink;

inline constexpr size_t kExifPrefixLength = 6;   // "Exif" and two more bytes (normally 0 0)
inline constexpr size_t kTiffHeaderLength = 8;   // byte order, 42, offset of IFD0
inline constexpr size_t kIfdEntryLength = 12;    // tag, type, count, value-or-offset
inline constexpr size_t kInlineValueLength = 4;  // values this long or shorter sit in the entry
inline constexpr uint16_t kTiffMagic = 42;

// Sub-directories one reduction follows. A real block has two (Exif and Interoperability);
// the limit is what stops a directory that points at itself, or a cycle of them.
inline constexpr size_t kSubDirectoryLimit = 20;

// Whether the payload starts with the 6-byte prefix whose first four bytes are "Exif". Only
// those four are checked: writers differ in the two that follow.
bool HasExifPrefix(std::span<const uint8_t> payload);

// One 12-byte directory entry, kept as the raw bytes in the block's byte order so that it
// can be written back unchanged.
struct IfdEntry {
  std::array<uint8_t, kIfdEntryLength> raw{};

  std::span<const uint8_t> TagBytes() const { return std::span(raw).subspan(0, 2); }
  std::span<const uint8_t> TypeBytes() const { return std::span(raw).subspan(2, 2); }
  std::span<const uint8_t> CountBytes() const { return std::span(raw).subspan(4, 4); }
  std::span<const uint8_t> ValueField() const { return std::span(raw).subspan(8, 4); }

  uint16_t Tag(ByteOrder byteOrder) const { return ReadShort(TagBytes(), byteOrder); }
  uint16_t Type(ByteOrder byteOrder) const { return ReadShort(TypeBytes(), byteOrder); }
  uint32_t Count(ByteOrder byteOrder) const { return ReadLong(CountBytes(), byteOrder); }
  uint32_t ValueOrOffset(ByteOrder byteOrder) const { return ReadLong(ValueField(), byteOrder); }
  uint64_t Length(ByteOrder byteOrder) const {
    return ValueLength(CountBytes(), TypeBytes(), byteOrder);
  }
  void SetValueField(std::array<uint8_t, 4> bytes) {
    std::copy(bytes.begin(), bytes.end(), raw.begin() + 8);
  }
};

class ExifReader;

// What the policy tells the walk after one entry: go on with the next, or first queue the
// sub-directory the entry points at. A failure (a content failure whose text the failure line
// starts with) stops the walk.
enum class EntryStep { kNext, kFollow };

// The per-entry decisions, called by the walk for every entry in block order.
class EntryPolicy {
 public:
  virtual ~EntryPolicy() = default;
  // `tag` is the entry's tag, or 0 when the entry's type or count is implausible.
  virtual Result<EntryStep> OnEntry(const ExifReader& reader, const IfdEntry& entry,
                                    uint16_t tag) = 0;
  // Called once, when the walk leaves IFD0 (or ends inside it).
  virtual void OnIfd0End() = 0;
};

// Reads one Exif block held in memory. Block offsets count from the TIFF header, which is
// the 7th byte of the payload; every read is checked against the payload first.
class ExifReader {
 public:
  ExifReader(LogSink& log, std::span<const uint8_t> payload) : log_(log), payload_(payload) {}

  // Checks the prefix, the byte order and the magic number, appending to `output` the
  // header bytes of the reduced block as each check passes: the prefix, the byte order,
  // the magic number, then 8 as IFD0's offset. False for a payload that is no Exif block.
  bool CheckHeader(std::vector<uint8_t>& output);

  // Walks IFD0, then the queued sub-directories breadth-first. The link from IFD0 to the
  // thumbnail directory (IFD1) is never followed. Reads that would run past the block end
  // the walk quietly; a failure (a content failure) comes only from the queue limit or the
  // policy.
  Status Walk(EntryPolicy& policy);

  // The out-of-line value of an entry: empty when the value fits in the entry itself;
  // nothing when its offset is 0 or offset and length do not fit inside the block.
  std::optional<std::span<const uint8_t>> FetchValue(const IfdEntry& entry) const;

  // Up to 100 bytes (at most the value's length) from where the value-or-offset field
  // points, whatever the value's length, cut at the block's end; for log lines.
  std::span<const uint8_t> Excerpt(const IfdEntry& entry) const;

  ByteOrder byteOrder() const { return byteOrder_; }
  uint64_t payloadLength() const { return payload_.size(); }

 private:
  // `length` bytes at block offset `offset`, or an empty span when they are not all inside.
  std::span<const uint8_t> BlockBytes(uint64_t offset, uint64_t length) const;

  LogSink& log_;
  std::span<const uint8_t> payload_;
  ByteOrder byteOrder_ = ByteOrder::kLittleEndian;
  uint32_t ifd0Offset_ = 0;
};

}  // namespace keelpack
