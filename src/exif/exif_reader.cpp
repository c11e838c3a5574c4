#include "exif/exif_reader.h"

#include <algorithm>
#include <string>

#include "log/log_sink.h"
#include "platform/failure.h"
#include "platform/text.h"

namespace keelpack {
namespace {

constexpr std::string_view kExifSignature = "Exif";
constexpr uint8_t kIntelMark = 'I';         // "II": little-endian
constexpr uint8_t kMotorolaMark = 'M';      // "MM": big-endian
constexpr uint32_t kReducedIfd0Offset = 8;  // IFD0 right behind the 8-byte TIFF header
constexpr uint16_t kFirstType = 1;          // BYTE
constexpr uint16_t kLastType = 12;          // DOUBLE
constexpr uint64_t kExcerptLimit = 100;

Failure QueueFull() {
  return Failure::Content(platform::kFailOutOfRange, "Too many Exif sub-directories");
}

using platform::Append;

}  // namespace

bool HasExifPrefix(std::span<const uint8_t> payload) {
  return payload.size() >= kExifPrefixLength &&
         std::equal(kExifSignature.begin(), kExifSignature.end(), payload.begin());
}

bool ExifReader::CheckHeader(std::vector<uint8_t>& output) {
  if (!HasExifPrefix(payload_)) return false;
  Append(output, payload_.first(kExifPrefixLength));

  // TIFF 6.0 section 2, image file header: byte order, 42, offset of IFD0.
  const std::span<const uint8_t> order = BlockBytes(0, 2);
  if (order.empty() || order[0] != order[1]) return false;
  if (order[0] == kMotorolaMark) {
    byteOrder_ = ByteOrder::kBigEndian;
  } else if (order[0] == kIntelMark) {
    byteOrder_ = ByteOrder::kLittleEndian;
  } else {
    return false;
  }
  Append(output, order);

  const std::span<const uint8_t> magic = BlockBytes(2, 2);
  if (ReadShort(magic, byteOrder_) != kTiffMagic) return false;
  Append(output, magic);

  const std::span<const uint8_t> ifd0 = BlockBytes(4, 4);
  if (ifd0.empty()) return false;
  ifd0Offset_ = ReadLong(ifd0, byteOrder_);
  Append(output, PackLong(kReducedIfd0Offset, byteOrder_));
  return true;
}

Status ExifReader::Walk(EntryPolicy& policy) {
  // Directories are read in the order their pointers were met: the Exif IFD that IFD0
  // points to, the Interoperability IFD that the Exif IFD points to, then anything chained
  // behind a sub-directory. queue[1 ... queued] holds their block offsets.
  std::array<uint32_t, kSubDirectoryLimit + 1> queue{};
  size_t queued = 0;
  size_t directory = 0;
  bool inIfd0 = true;
  const auto leaveIfd0 = [&] {
    if (inIfd0) policy.OnIfd0End();
    inIfd0 = false;
  };

  uint64_t offset = ifd0Offset_;
  for (;;) {
    const std::span<const uint8_t> countBytes = BlockBytes(offset, 2);
    if (countBytes.empty()) break;
    const uint16_t entryCount = ReadShort(countBytes, byteOrder_);
    offset += 2;

    for (uint16_t i = 0; i < entryCount; ++i, offset += kIfdEntryLength) {
      const std::span<const uint8_t> bytes = BlockBytes(offset, kIfdEntryLength);
      if (bytes.empty()) {  // the count runs past the block
        leaveIfd0();
        return {};
      }
      IfdEntry entry;
      std::copy(bytes.begin(), bytes.end(), entry.raw.begin());

      // A count larger than the whole block, or a type TIFF does not define, cannot be a
      // real value: such an entry goes on as tag 0, which the policy removes.
      uint16_t tag = entry.Tag(byteOrder_);
      const uint16_t type = entry.Type(byteOrder_);
      if (payload_.size() < entry.Count(byteOrder_) || type < kFirstType || type > kLastType) {
        tag = 0;
      }

      const Result<EntryStep> step = policy.OnEntry(*this, entry, tag);
      if (!step) return step.error();
      if (*step == EntryStep::kFollow) {
        if (queued == kSubDirectoryLimit) return QueueFull();
        queue[++queued] = entry.ValueOrOffset(byteOrder_);
        if (log_.Wants(kExplicit)) {
          log_.WriteLog("Sub-database tag " + std::to_string(tag), kExplicit);
        }
      }
    }

    const std::span<const uint8_t> nextBytes = BlockBytes(offset, 4);
    if (nextBytes.empty()) break;
    const uint32_t next = ReadLong(nextBytes, byteOrder_);
    if (directory == 0) {
      leaveIfd0();
    } else if (next > 0) {
      // IFD0's own link leads to the thumbnail directory, which the reduced block leaves
      // out; a sub-directory's link is followed like a pointer.
      if (queued == kSubDirectoryLimit) return QueueFull();
      queue[++queued] = next;
    }
    if (queued == directory) break;
    ++directory;
    offset = queue[directory];
  }
  leaveIfd0();
  return {};
}

std::optional<std::span<const uint8_t>> ExifReader::FetchValue(const IfdEntry& entry) const {
  const uint64_t length = entry.Length(byteOrder_);
  if (length <= kInlineValueLength) return std::span<const uint8_t>{};
  const uint32_t offset = entry.ValueOrOffset(byteOrder_);
  if (offset == 0) return std::nullopt;
  const std::span<const uint8_t> value = BlockBytes(offset, length);
  if (value.empty()) return std::nullopt;
  return value;
}

std::span<const uint8_t> ExifReader::Excerpt(const IfdEntry& entry) const {
  const uint64_t start = uint64_t{entry.ValueOrOffset(byteOrder_)} + kExifPrefixLength;
  if (start >= payload_.size()) return {};
  const uint64_t length =
      std::min({entry.Length(byteOrder_), kExcerptLimit, payload_.size() - start});
  return payload_.subspan(start, length);
}

std::span<const uint8_t> ExifReader::BlockBytes(uint64_t offset, uint64_t length) const {
  // Offsets are at most 2^32 - 1 plus a few directory steps, lengths at most 2^35: the sum
  // cannot overflow 64 bits.
  const uint64_t start = offset + kExifPrefixLength;
  if (start > payload_.size() || length > payload_.size() - start) return {};
  return payload_.subspan(start, length);
}

}  // namespace keelpack
