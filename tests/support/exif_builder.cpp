#include "support/exif_builder.h"

#include <algorithm>
#include <stdexcept>

#include "exif/exif_bytes.h"

namespace keelpack::test {
namespace {

constexpr size_t kPrefix = 6;
constexpr size_t kHeader = 8;
constexpr size_t kEntry = 12;

uint32_t Even(uint32_t n) { return n + (n & 1); }

// Reads numbers of a TIFF block in its byte order, refusing to read outside it.
struct BlockView {
  const Bytes& payload;
  bool bigEndian = false;

  bool Has(uint64_t offset, uint64_t length) const {
    return kPrefix + offset + length <= payload.size();
  }
  uint32_t Number(uint64_t offset, int size) const {
    uint32_t value = 0;
    for (int i = 0; i < size; ++i) {
      const uint32_t byte = payload[kPrefix + offset + i];
      value |= byte << (8 * (bigEndian ? size - 1 - i : i));
    }
    return value;
  }
};

std::optional<std::vector<ParsedEntry>> ParseDirectory(const BlockView& block, uint32_t offset,
                                                       uint32_t& next) {
  if (!block.Has(offset, 2)) return std::nullopt;
  const uint32_t count = block.Number(offset, 2);
  if (!block.Has(offset, 2 + kEntry * count + 4)) return std::nullopt;
  std::vector<ParsedEntry> entries;
  for (uint32_t i = 0; i < count; ++i) {
    const uint64_t at = offset + 2 + kEntry * i;
    ParsedEntry entry;
    entry.tag = static_cast<uint16_t>(block.Number(at, 2));
    entry.type = static_cast<uint16_t>(block.Number(at + 2, 2));
    entry.count = block.Number(at + 4, 4);
    entry.field = block.Number(at + 8, 4);
    const uint64_t length = uint64_t{entry.count} * TypeSize(entry.type);
    const uint64_t valueAt = length <= 4 ? at + 8 : entry.field;
    if (!block.Has(valueAt, length)) return std::nullopt;
    const auto begin = block.payload.begin() + static_cast<long>(kPrefix + valueAt);
    entry.value.assign(begin, begin + static_cast<long>(length));
    entries.push_back(std::move(entry));
  }
  next = block.Number(offset + 2 + kEntry * count, 4);
  return entries;
}

ExifEntry Valued(uint16_t tag, uint16_t type, uint32_t count, Bytes value) {
  ExifEntry entry;
  entry.tag = tag;
  entry.type = type;
  entry.count = count;
  entry.value = std::move(value);
  return entry;
}

}  // namespace

int ExifBuilder::AddDirectory() {
  directories_.emplace_back();
  return static_cast<int>(directories_.size()) - 1;
}

ExifBuilder& ExifBuilder::Add(int directory, ExifEntry entry) {
  directories_.at(directory).entries.push_back(std::move(entry));
  return *this;
}

ExifBuilder& ExifBuilder::Link(int directory, int next) {
  directories_.at(directory).next = next;
  return *this;
}

int ExifBuilder::AddBlob(Bytes bytes) {
  blobs_.push_back(std::move(bytes));
  return static_cast<int>(blobs_.size()) - 1;
}

ExifBuilder& ExifBuilder::Ifd0Offset(uint32_t offset) {
  ifd0Offset_ = offset;
  return *this;
}

Bytes ExifBuilder::Pack16(uint16_t value) const {
  Bytes bytes = {static_cast<uint8_t>(value & 0xFF), static_cast<uint8_t>(value >> 8)};
  if (bigEndian_) std::reverse(bytes.begin(), bytes.end());
  return bytes;
}

Bytes ExifBuilder::Pack32(uint32_t value) const {
  Bytes bytes;
  for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<uint8_t>(value >> (8 * i)));
  if (bigEndian_) std::reverse(bytes.begin(), bytes.end());
  return bytes;
}

ExifEntry ExifBuilder::Short(uint16_t tag, uint16_t value) const {
  return Valued(tag, kTypeShort, 1, Pack16(value));
}

ExifEntry ExifBuilder::Long(uint16_t tag, uint32_t value) const {
  return Valued(tag, kTypeLong, 1, Pack32(value));
}

ExifEntry ExifBuilder::Rational(uint16_t tag, uint32_t numerator, uint32_t denominator) const {
  return Valued(tag, kTypeRational, 1, Concat({Pack32(numerator), Pack32(denominator)}));
}

ExifEntry ExifBuilder::Ascii(uint16_t tag, std::string_view text) const {
  Bytes value = ToBytes(text);
  value.push_back(0);
  return Valued(tag, kTypeAscii, static_cast<uint32_t>(value.size()), value);
}

ExifEntry ExifBuilder::Undefined(uint16_t tag, const Bytes& bytes) {
  return Valued(tag, kTypeUndefined, static_cast<uint32_t>(bytes.size()), bytes);
}

ExifEntry ExifBuilder::Pointer(uint16_t tag, int directory) {
  ExifEntry entry = Valued(tag, kTypeLong, 1, {});
  entry.directory = directory;
  return entry;
}

ExifEntry ExifBuilder::BlobOffset(uint16_t tag, int blob) {
  ExifEntry entry = Valued(tag, kTypeLong, 1, {});
  entry.blob = blob;
  return entry;
}

ExifEntry ExifBuilder::Raw(uint16_t tag, uint16_t type, uint32_t count, uint32_t field) {
  ExifEntry entry = Valued(tag, type, count, {});
  entry.field = field;
  return entry;
}

Bytes ExifBuilder::Build() const {
  // First pass: where every directory, out-of-line value and blob goes.
  std::vector<uint32_t> directoryAt;
  std::vector<std::vector<uint32_t>> valueAt;
  uint32_t position = kHeader;
  for (const Directory& directory : directories_) {
    directoryAt.push_back(position);
    position += static_cast<uint32_t>(2 + kEntry * directory.entries.size() + 4);
    valueAt.emplace_back();
    for (const ExifEntry& entry : directory.entries) {
      valueAt.back().push_back(position);
      if (entry.value.size() > 4)
        position = Even(position + static_cast<uint32_t>(entry.value.size()));
    }
  }
  std::vector<uint32_t> blobAt;
  for (const Bytes& blob : blobs_) {
    blobAt.push_back(position);
    position = Even(position + static_cast<uint32_t>(blob.size()));
  }

  Bytes tiff = Concat({ToBytes(bigEndian_ ? "MM" : "II"), Pack16(42),
                       Pack32(ifd0Offset_.value_or(directoryAt[0]))});
  tiff.resize(position, 0);
  const auto put = [&](uint32_t at, const Bytes& bytes) {
    std::copy(bytes.begin(), bytes.end(), tiff.begin() + at);
  };
  for (size_t d = 0; d < directories_.size(); ++d) {
    const Directory& directory = directories_[d];
    uint32_t at = directoryAt[d];
    put(at, Pack16(static_cast<uint16_t>(directory.entries.size())));
    at += 2;
    for (size_t e = 0; e < directory.entries.size(); ++e, at += kEntry) {
      const ExifEntry& entry = directory.entries[e];
      put(at, Concat({Pack16(entry.tag), Pack16(entry.type), Pack32(entry.count)}));
      if (entry.field) {
        put(at + 8, Pack32(*entry.field));
      } else if (entry.directory >= 0) {
        put(at + 8, Pack32(directoryAt.at(entry.directory)));
      } else if (entry.blob >= 0) {
        put(at + 8, Pack32(blobAt.at(entry.blob)));
      } else if (entry.value.size() <= 4) {
        put(at + 8, entry.value);
      } else {
        put(at + 8, Pack32(valueAt[d][e]));
        put(valueAt[d][e], entry.value);
      }
    }
    put(at, Pack32(directory.next >= 0 ? directoryAt.at(directory.next) : 0));
  }
  for (size_t b = 0; b < blobs_.size(); ++b) put(blobAt[b], blobs_[b]);
  return Concat({ToBytes(std::string_view("Exif\0\0", 6)), tiff});
}

Bytes CameraExifBlock(bool bigEndian) {
  ExifBuilder b(bigEndian);
  const int exif = b.AddDirectory();
  const int interop = b.AddDirectory();
  const int thumbnail = b.AddDirectory();
  const int image = b.AddBlob({0xFF, 0xD8, 0xFF, 0xDB, 0x00, 0x43, 0x00, 0xFF, 0xD9});
  b.Add(ExifBuilder::kIfd0, b.Ascii(271, "NIKON CORPORATION"))
      .Add(ExifBuilder::kIfd0, b.Ascii(272, "NIKON D70"))
      .Add(ExifBuilder::kIfd0, b.Short(274, 6))
      .Add(ExifBuilder::kIfd0, b.Rational(282, 300, 1))
      .Add(ExifBuilder::kIfd0, b.Rational(283, 300, 1))
      .Add(ExifBuilder::kIfd0, b.Ascii(305, "Ver.2.00"))
      .Add(ExifBuilder::kIfd0, b.Ascii(306, "2024:05:06 07:08:09"))
      .Add(ExifBuilder::kIfd0, ExifBuilder::Pointer(34665, exif))
      .Link(ExifBuilder::kIfd0, thumbnail);
  b.Add(exif, b.Rational(33434, 1, 250))
      .Add(exif, b.Rational(33437, 28, 10))
      .Add(exif, b.Short(34855, 200))
      .Add(exif, b.Ascii(36867, "2024:05:06 07:08:09"))
      .Add(exif, ExifBuilder::Undefined(37500, ToBytes("private camera data")))
      .Add(exif, ExifBuilder::Pointer(40965, interop));
  b.Add(interop, b.Ascii(1, "R98")).Add(interop, ExifBuilder::Undefined(2, ToBytes("0100")));
  b.Add(thumbnail, b.Short(259, 6))
      .Add(thumbnail, ExifBuilder::BlobOffset(513, image))
      .Add(thumbnail, b.Long(514, 9));
  return b.Build();
}

std::optional<ParsedExif> ParseExif(const Bytes& payload) {
  if (payload.size() < kPrefix + kHeader ||
      !std::equal(payload.begin(), payload.begin() + 4, "Exif")) {
    return std::nullopt;
  }
  ParsedExif parsed;
  const std::string order(payload.begin() + 6, payload.begin() + 8);
  if (order != "II" && order != "MM") return std::nullopt;
  parsed.bigEndian = order == "MM";
  const BlockView block{payload, parsed.bigEndian};
  if (block.Number(2, 2) != 42) return std::nullopt;
  parsed.ifd0Offset = block.Number(4, 4);
  auto ifd0 = ParseDirectory(block, parsed.ifd0Offset, parsed.ifd0Next);
  if (!ifd0) return std::nullopt;
  parsed.ifd0 = std::move(*ifd0);
  for (const ParsedEntry& entry : parsed.ifd0) {
    if (entry.tag != 34665) continue;
    parsed.exifOffset = entry.field;
    auto exif = ParseDirectory(block, entry.field, parsed.exifNext);
    if (!exif) return std::nullopt;
    parsed.exif = std::move(*exif);
  }
  return parsed;
}

std::vector<uint16_t> Tags(const std::vector<ParsedEntry>& entries) {
  std::vector<uint16_t> tags;
  for (const ParsedEntry& entry : entries) tags.push_back(entry.tag);
  return tags;
}

std::optional<ExifSegment> FindExifSegment(const Bytes& jpeg) {
  if (jpeg.size() < 4 || jpeg[0] != 0xFF || jpeg[1] != 0xD8) return std::nullopt;
  size_t at = 2;
  while (at + 4 <= jpeg.size() && jpeg[at] == 0xFF) {
    const uint8_t code = jpeg[at + 1];
    if (code == 0xFF) {  // fill byte before a marker
      ++at;
      continue;
    }
    if (code == 0xDA || code == 0xD9) break;
    const size_t length = size_t{jpeg[at + 2]} << 8 | jpeg[at + 3];
    if (length < 2 || at + 2 + length > jpeg.size()) break;
    if (code == 0xE1 && length >= 2 + 4 &&
        std::equal(jpeg.begin() + static_cast<long>(at) + 4,
                   jpeg.begin() + static_cast<long>(at) + 8, "Exif")) {
      return ExifSegment{.start = at, .payloadLength = length - 2};
    }
    at += 2 + length;
  }
  return std::nullopt;
}

Bytes SegmentPayload(const Bytes& jpeg, const ExifSegment& segment) {
  const auto begin = jpeg.begin() + static_cast<long>(segment.start + 4);
  return Bytes(begin, begin + static_cast<long>(segment.payloadLength));
}

Bytes ReplaceSegmentPayload(const Bytes& jpeg, const ExifSegment& segment, const Bytes& payload) {
  const auto segmentBegin = jpeg.begin() + static_cast<long>(segment.start);
  const auto segmentEnd = segmentBegin + static_cast<long>(4 + segment.payloadLength);
  return Concat({Bytes(jpeg.begin(), segmentBegin), SegmentBytes(segmentBegin[1], payload),
                 Bytes(segmentEnd, jpeg.end())});
}

}  // namespace keelpack::test
