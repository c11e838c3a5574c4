#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "support/jpeg_builder.h"

namespace keelpack::test {

// One directory entry to build. Its value-or-offset field is `field` when given, else the
// offset of directory `directory`, else the value bytes (already in the block's byte order):
// inline when at most 4 bytes, else the offset where they are laid out.
struct ExifEntry {
  uint16_t tag = 0;
  uint16_t type = 7;
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

  int AddDirectory();
  ExifBuilder& Add(int directory, ExifEntry entry);
  ExifBuilder& Link(int directory, int next);  // the directory's next-directory link

  ExifEntry Short(uint16_t tag, uint16_t value) const { return {tag, 3, 1, Pack(value, 2), {}, -1}; }
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
  Bytes Pack(uint32_t value, int size) const;  // in the block's byte order
  Bytes Build() const;

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
Bytes CameraExifBlock(bool bigEndian);

// Where the first APP1 segment whose payload begins "Exif" lies in a JPEG file: the index of
// its FF byte and the payload's length. Segments are walked from SOI up to SOS.
struct ExifSegment {
  size_t start = 0;
  size_t payloadLength = 0;
};
std::optional<ExifSegment> FindExifSegment(const Bytes& jpeg);
inline Bytes SegmentPayload(const Bytes& jpeg, const ExifSegment& segment) {
  const auto begin = jpeg.begin() + static_cast<long>(segment.start + 4);
  return Bytes(begin, begin + static_cast<long>(segment.payloadLength));
}

}  // namespace keelpack::test
