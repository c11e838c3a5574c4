#include "support/exif_builder.h"

#include <algorithm>

namespace keelpack::test {
namespace {

constexpr size_t kPrefix = 6;  // "Exif" and two zero bytes before the TIFF block
constexpr uint32_t kEntry = 12;

// The TIFF 6.0 bytes per value of types 1 ... 12.
uint32_t TypeBytes(uint16_t type) {
  constexpr uint32_t sizes[] = {1, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8};
  return type < std::size(sizes) ? sizes[type] : 1;
}

// Reads a directory at `offset` of the TIFF block; nothing when any of it lies outside.
std::optional<ParsedDirectory> ReadDirectory(const Bytes& payload, bool bigEndian, uint64_t offset) {
  const auto has = [&](uint64_t at, uint64_t length) { return kPrefix + at + length <= payload.size(); };
  const auto number = [&](uint64_t at, int size) {
    uint32_t value = 0;
    for (int i = 0; i < size; ++i) value |= uint32_t{payload[kPrefix + at + i]} << (8 * (bigEndian ? size - 1 - i : i));
    return value;
  };
  if (!has(offset, 2) || !has(offset, 2 + kEntry * number(offset, 2) + 4)) return std::nullopt;
  ParsedDirectory directory;
  directory.offset = static_cast<uint32_t>(offset);
  const uint64_t end = offset + 2 + kEntry * number(offset, 2);
  for (uint64_t at = offset + 2; at < end; at += kEntry) {
    const uint64_t length = uint64_t{number(at + 4, 4)} * TypeBytes(static_cast<uint16_t>(number(at + 2, 2)));
    const uint64_t valueAt = length <= 4 ? at + 8 : number(at + 8, 4);
    if (!has(valueAt, length)) return std::nullopt;
    directory.tags.push_back(static_cast<uint16_t>(number(at, 2)));
    directory.fields.push_back(number(at + 8, 4));
    const auto begin = payload.begin() + static_cast<long>(kPrefix + valueAt);
    directory.values.emplace_back(begin, begin + static_cast<long>(length));
  }
  directory.next = number(end, 4);
  return directory;
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

Bytes ExifBuilder::Pack(uint32_t value, int size) const {
  Bytes bytes;
  for (int i = 0; i < size; ++i) bytes.push_back(static_cast<uint8_t>(value >> (8 * i)));
  if (bigEndian_) std::reverse(bytes.begin(), bytes.end());
  return bytes;
}

Bytes ExifBuilder::Build() const {
  // First pass: where every directory and out-of-line value goes.
  std::vector<uint32_t> directoryAt, valueAt;
  uint32_t position = 8;
  for (const Directory& directory : directories_) {
    directoryAt.push_back(position);
    position += static_cast<uint32_t>(2 + kEntry * directory.entries.size() + 4);
    for (const ExifEntry& entry : directory.entries) {
      valueAt.push_back(position);
      if (entry.value.size() > 4) position += static_cast<uint32_t>(entry.value.size() + entry.value.size() % 2);
    }
  }
  Bytes tiff = Concat({ToBytes(bigEndian_ ? "MM" : "II"), Pack(42, 2), Pack(8, 4)});
  tiff.resize(position, 0);
  const auto put = [&](uint32_t at, const Bytes& bytes) { std::copy(bytes.begin(), bytes.end(), tiff.begin() + at); };
  size_t value = 0;
  for (size_t d = 0; d < directories_.size(); ++d) {
    const Directory& directory = directories_[d];
    uint32_t at = directoryAt[d];
    put(at, Pack(static_cast<uint32_t>(directory.entries.size()), 2));
    for (at += 2; const ExifEntry& entry : directory.entries) {
      put(at, Concat({Pack(entry.tag, 2), Pack(entry.type, 2), Pack(entry.count, 4)}));
      if (entry.field || entry.directory >= 0) {
        put(at + 8, Pack(entry.field ? *entry.field : directoryAt.at(entry.directory), 4));
      } else if (entry.value.size() <= 4) {
        put(at + 8, entry.value);
      } else {
        put(at + 8, Pack(valueAt[value], 4));
        put(valueAt[value], entry.value);
      }
      at += kEntry;
      ++value;
    }
    put(at, Pack(directory.next >= 0 ? directoryAt.at(directory.next) : 0, 4));
  }
  return Concat({ToBytes(std::string_view("Exif\0\0", 6)), tiff});
}

Bytes CameraExifBlock(bool bigEndian) {
  ExifBuilder b(bigEndian);
  const int exif = b.AddDirectory(), interop = b.AddDirectory(), thumbnail = b.AddDirectory();
  for (ExifEntry entry : {b.Ascii(271, "NIKON CORPORATION"), b.Ascii(272, "NIKON D70"), b.Short(274, 6),
                          b.Rational(282, 300, 1), b.Rational(283, 300, 1), b.Ascii(305, "Ver.2.00"),
                          b.Ascii(306, "2024:05:06 07:08:09"), ExifBuilder::Pointer(34665, exif)})
    b.Add(ExifBuilder::kIfd0, entry);
  for (ExifEntry entry : {b.Rational(33434, 1, 250), b.Rational(33437, 28, 10), b.Short(34855, 200),
                          b.Ascii(36867, "2024:05:06 07:08:09"),
                          ExifBuilder::Undefined(37500, ToBytes("private camera data")),
                          ExifBuilder::Pointer(40965, interop)})
    b.Add(exif, entry);
  b.Add(interop, b.Ascii(1, "R98")).Add(interop, ExifBuilder::Undefined(2, ToBytes("0100")));
  // The thumbnail's image as the value of its JPEGInterchangeFormat entry.
  b.Add(thumbnail, b.Short(259, 6))
      .Add(thumbnail, ExifBuilder::Undefined(513, {0xFF, 0xD8, 0xFF, 0xDB, 0x00, 0x43, 0x00, 0xFF, 0xD9}));
  return b.Link(ExifBuilder::kIfd0, thumbnail).Build();
}

std::optional<ParsedExif> ParseExif(const Bytes& payload) {
  if (payload.size() < kPrefix + 8 || !std::equal(payload.begin(), payload.begin() + 4, "Exif")) return std::nullopt;
  const std::string header(payload.begin() + kPrefix, payload.begin() + kPrefix + 4);
  const bool bigEndian = header == std::string("MM\0*", 4);
  if (!bigEndian && header != std::string("II*\0", 4)) return std::nullopt;
  uint32_t ifd0 = 0;
  for (int i = 0; i < 4; ++i) ifd0 |= uint32_t{payload[kPrefix + 4 + i]} << (8 * (bigEndian ? 3 - i : i));
  auto directory = ReadDirectory(payload, bigEndian, ifd0);
  if (!directory) return std::nullopt;
  ParsedExif parsed;
  parsed.ifd0 = *directory;
  for (size_t e = 0; e < parsed.ifd0.tags.size(); ++e) {
    if (parsed.ifd0.tags[e] != 34665) continue;
    if (!(directory = ReadDirectory(payload, bigEndian, parsed.ifd0.fields[e]))) return std::nullopt;
    parsed.exif = *directory;
  }
  return parsed;
}

std::optional<ExifSegment> FindExifSegment(const Bytes& jpeg) {
  for (size_t at = 2; at + 4 <= jpeg.size() && jpeg[0] == 0xFF && jpeg[1] == 0xD8 && jpeg[at] == 0xFF;) {
    const uint8_t code = jpeg[at + 1];
    const size_t length = size_t{jpeg[at + 2]} << 8 | jpeg[at + 3];
    if (code == 0xFF) {  // a fill byte before a marker
      ++at;
    } else if (code == 0xDA || code == 0xD9 || length < 2 || at + 2 + length > jpeg.size()) {
      break;
    } else if (code == 0xE1 && length >= 6 && std::equal(jpeg.begin() + static_cast<long>(at) + 4,
                                                         jpeg.begin() + static_cast<long>(at) + 8, "Exif")) {
      return ExifSegment{.start = at, .payloadLength = length - 2};
    } else {
      at += 2 + length;
    }
  }
  return std::nullopt;
}

}  // namespace keelpack::test
