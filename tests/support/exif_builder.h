#pragma once

#include <algorithm>
#include <cstdint>
#include <optional>
#include <vector>

#include "support/jpeg_builder.h"

namespace keelpack::test {

// One directory entry to build. Its value-or-offset field is `field` when given, else the
// offset of directory `directory`, else the value bytes (already in the block's byte order):
// inline when at most 4 bytes, else the offset where they are laid out.
struct ExifEntry {
  uint16_t tag = 0, type = 7;
  uint32_t count = 0;
  Bytes value;
  std::optional<uint32_t> field;
  int directory = -1;
};

// Builds APP1 Exif payloads ("Exif", two zero bytes, then a TIFF 6.0 block) in either byte
// order. Layout: the 8-byte header, then each directory in the order it was added, each
// followed by its out-of-line values on even offsets.
class ExifBuilder {
 public:
  static constexpr int kIfd0 = 0;

  explicit ExifBuilder(bool bigEndian = false) : bigEndian_(bigEndian), directories_(1) {}

  int AddDirectory() {
    directories_.emplace_back();
    return static_cast<int>(directories_.size()) - 1;
  }
  ExifBuilder& Add(int directory, ExifEntry entry) {
    directories_.at(directory).entries.push_back(std::move(entry));
    return *this;
  }
  ExifBuilder& Add(int directory, const std::vector<ExifEntry>& entries) {
    for (const ExifEntry& entry : entries) Add(directory, entry);
    return *this;
  }
  ExifBuilder& Link(int directory, int next) {  // the directory's next-directory link
    directories_.at(directory).next = next;
    return *this;
  }

  ExifEntry Short(uint16_t tag, uint16_t n) const { return {tag, 3, 1, Pack(n, 2), {}, -1}; }
  ExifEntry Long(uint16_t tag, uint32_t n) const { return {tag, 4, 1, Pack(n, 4), {}, -1}; }
  ExifEntry Rational(uint16_t tag, uint32_t numerator, uint32_t denominator) const {
    return {tag, 5, 1, Concat({Pack(numerator, 4), Pack(denominator, 4)}), {}, -1};
  }
  ExifEntry Ascii(uint16_t tag, std::string_view text) const {  // a NUL is added
    return Undefined(tag, Concat({ToBytes(text), {0}}), 2);
  }
  static ExifEntry Undefined(uint16_t tag, const Bytes& bytes, uint16_t type = 7) {
    return {tag, type, static_cast<uint32_t>(bytes.size()), bytes, {}, -1};
  }
  static ExifEntry Pointer(uint16_t tag, int directory) { return {tag, 4, 1, {}, {}, directory}; }
  static ExifEntry Raw(uint16_t tag, uint16_t type, uint32_t count, uint32_t field) {
    return {tag, type, count, {}, field, -1};
  }
  Bytes Pack(uint32_t value, int size) const {  // in the block's byte order
    Bytes bytes;
    for (int i = 0; i < size; ++i) bytes.push_back(static_cast<uint8_t>(value >> (8 * i)));
    if (bigEndian_) std::reverse(bytes.begin(), bytes.end());
    return bytes;
  }

  Bytes Build() const {
    // Where each directory goes, each followed by its out-of-line values on even offsets.
    const auto outOfLine = [](const ExifEntry& e) {
      return e.value.size() > 4 ? Concat({e.value, Bytes(e.value.size() % 2, 0)}) : Bytes{};
    };
    std::vector<size_t> at{8};
    for (const Directory& directory : directories_) {
      at.push_back(at.back() + 2 + 12 * directory.entries.size() + 4);
      for (const ExifEntry& entry : directory.entries) at.back() += outOfLine(entry).size();
    }
    Bytes tiff = Concat({ToBytes(bigEndian_ ? "MM" : "II"), Pack(42, 2), Pack(8, 4)});
    for (size_t d = 0; d < directories_.size(); ++d) {
      const std::vector<ExifEntry>& entries = directories_[d].entries;
      Bytes values;
      tiff = Concat({tiff, Pack(static_cast<uint32_t>(entries.size()), 2)});
      for (const ExifEntry& entry : entries) {
        const size_t value = at[d] + 2 + 12 * entries.size() + 4 + values.size();
        Bytes field = entry.field ? Pack(*entry.field, 4)
                      : entry.directory >= 0
                          ? Pack(static_cast<uint32_t>(at.at(entry.directory)), 4)
                      : entry.value.size() <= 4 ? entry.value
                                                : Pack(static_cast<uint32_t>(value), 4);
        field.resize(4, 0);
        tiff = Concat({tiff, Pack(entry.tag, 2), Pack(entry.type, 2), Pack(entry.count, 4), field});
        values = Concat({values, outOfLine(entry)});
      }
      const int next = directories_[d].next;
      tiff = Concat({tiff, Pack(next >= 0 ? static_cast<uint32_t>(at.at(next)) : 0, 4), values});
    }
    return Concat({ToBytes(std::string_view("Exif\0\0", 6)), tiff});
  }

 private:
  struct Directory {
    std::vector<ExifEntry> entries;
    int next = -1;
  };
  bool bigEndian_;
  std::vector<Directory> directories_;
};

// A camera-like block: IFD0 with Make "NIKON CORPORATION", Model "NIKON D70", Orientation 6,
// X/YResolution, Software, DateTime; an Exif IFD with ExposureTime, FNumber, ISO,
// DateTimeOriginal, a MakerNote and an Interoperability IFD; a thumbnail IFD1 with its image.
inline Bytes CameraExifBlock(bool bigEndian) {
  ExifBuilder b(bigEndian);
  const int exif = b.AddDirectory(), interop = b.AddDirectory(), thumbnail = b.AddDirectory();
  b.Add(ExifBuilder::kIfd0,
        {b.Ascii(271, "NIKON CORPORATION"), b.Ascii(272, "NIKON D70"), b.Short(274, 6),
         b.Rational(282, 300, 1), b.Rational(283, 300, 1), b.Ascii(305, "Ver.2.00"),
         b.Ascii(306, "2024:05:06 07:08:09"), ExifBuilder::Pointer(34665, exif)});
  b.Add(exif, {b.Rational(33434, 1, 250), b.Rational(33437, 28, 10), b.Short(34855, 200),
               b.Ascii(36867, "2024:05:06 07:08:09"),
               ExifBuilder::Undefined(37500, ToBytes("private camera data")),
               ExifBuilder::Pointer(40965, interop)});
  b.Add(interop, {b.Ascii(1, "R98"), ExifBuilder::Undefined(2, ToBytes("0100"))});
  // The thumbnail's image as the value of its JPEGInterchangeFormat entry.
  const Bytes image = {0xFF, 0xD8, 0xFF, 0xDB, 0x00, 0x43, 0x00, 0xFF, 0xD9};
  b.Add(thumbnail, {b.Short(259, 6), ExifBuilder::Undefined(513, image)});
  return b.Link(ExifBuilder::kIfd0, thumbnail).Build();
}

// Where the first whole APP1 segment whose payload begins "Exif" starts in a JPEG file, before
// its first scan.
inline std::optional<size_t> FindExifSegment(const Bytes& jpeg) {
  for (size_t at : SegmentStarts(jpeg)) {
    const size_t end = at + 2 + jpeg[at + 2] * 256u + jpeg[at + 3];
    if (jpeg[at + 1] == 0xE1 && at + 8 <= end && end <= jpeg.size() &&
        Bytes(&jpeg[at + 4], &jpeg[at + 8]) == ToBytes("Exif"))
      return at;
  }
  return std::nullopt;
}
inline Bytes SegmentPayload(const Bytes& jpeg, size_t at) {
  return Bytes(jpeg.begin() + static_cast<long>(at + 4),
               jpeg.begin() + static_cast<long>(at + 2 + jpeg[at + 2] * 256u + jpeg[at + 3]));
}

// A picture as a camera writes it: the Exif segment right after the start marker (so that the
// IFD0 entry count of a block from ExifBuilder lies at offset 20), then what the encoder wrote.
inline Bytes WithExifFirst(const Bytes& jpeg, const Bytes& exif) {
  return Concat({{0xFF, 0xD8}, SegmentBytes(0xE1, exif), Bytes(jpeg.begin() + 2, jpeg.end())});
}

}  // namespace keelpack::test
