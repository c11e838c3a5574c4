#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "support/jpeg_builder.h"

namespace keelpack::test {

// Field types of TIFF 6.0 / Exif 2.32 entries.
inline constexpr uint16_t kTypeByte = 1;
inline constexpr uint16_t kTypeAscii = 2;
inline constexpr uint16_t kTypeShort = 3;
inline constexpr uint16_t kTypeLong = 4;
inline constexpr uint16_t kTypeRational = 5;
inline constexpr uint16_t kTypeUndefined = 7;

// One directory entry to build. Its value-or-offset field is, in this order of precedence:
// `field` as given, the offset of directory `directory`, the offset of blob `blob`, or the
// value bytes (inline when at most 4 bytes, else the offset where they are laid out).
struct ExifEntry {
  uint16_t tag = 0;
  uint16_t type = kTypeUndefined;
  uint32_t count = 0;
  Bytes value;  // already in the block's byte order
  std::optional<uint32_t> field;
  int directory = -1;
  int blob = -1;
};

// Builds APP1 Exif payloads ("Exif", two zero bytes, then a TIFF block) in either byte
// order: directories with their entries and links, values inline or out of line, extra
// blobs (a thumbnail image), and raw entries with any type, count or offset.
// Layout: the 8-byte header, then each directory in the order it was added, each followed
// by its out-of-line values (on even offsets), then the blobs.
class ExifBuilder {
 public:
  static constexpr int kIfd0 = 0;

  explicit ExifBuilder(bool bigEndian = false) : bigEndian_(bigEndian), directories_(1) {}

  bool bigEndian() const { return bigEndian_; }
  int AddDirectory();
  ExifBuilder& Add(int directory, ExifEntry entry);
  ExifBuilder& Link(int directory, int next);  // the directory's next-directory link
  int AddBlob(Bytes bytes);
  ExifBuilder& Ifd0Offset(uint32_t offset);  // header field, instead of IFD0's real offset

  ExifEntry Short(uint16_t tag, uint16_t value) const;
  ExifEntry Long(uint16_t tag, uint32_t value) const;
  ExifEntry Rational(uint16_t tag, uint32_t numerator, uint32_t denominator) const;
  ExifEntry Ascii(uint16_t tag, std::string_view text) const;  // a NUL is added
  static ExifEntry Undefined(uint16_t tag, const Bytes& bytes);
  static ExifEntry Pointer(uint16_t tag, int directory);  // LONG holding a directory's offset
  static ExifEntry BlobOffset(uint16_t tag, int blob);    // LONG holding a blob's offset
  static ExifEntry Raw(uint16_t tag, uint16_t type, uint32_t count, uint32_t field);

  Bytes Pack16(uint16_t value) const;
  Bytes Pack32(uint32_t value) const;

  Bytes Build() const;

 private:
  struct Directory {
    std::vector<ExifEntry> entries;
    int next = -1;
  };
  bool bigEndian_;
  std::vector<Directory> directories_;
  std::vector<Bytes> blobs_;
  std::optional<uint32_t> ifd0Offset_;
};

// A camera-like block: IFD0 with Make "NIKON CORPORATION", Model "NIKON D70", Orientation 6,
// X/YResolution, Software, DateTime; an Exif IFD with ExposureTime, FNumber, ISO,
// DateTimeOriginal, a MakerNote and an Interoperability IFD; a thumbnail IFD1 with its image.
Bytes CameraExifBlock(bool bigEndian);

// An entry of a block read back by ParseExif, with its value bytes.
struct ParsedEntry {
  uint16_t tag = 0;
  uint16_t type = 0;
  uint32_t count = 0;
  uint32_t field = 0;  // the value-or-offset field as a number
  Bytes value;
};

// IFD0 and the Exif IFD that IFD0's 34665 entry points to, of a payload beginning "Exif".
struct ParsedExif {
  bool bigEndian = false;
  uint32_t ifd0Offset = 0;
  std::vector<ParsedEntry> ifd0;
  uint32_t ifd0Next = 0;
  uint32_t exifOffset = 0;  // 0: no Exif IFD
  std::vector<ParsedEntry> exif;
  uint32_t exifNext = 0;
};

// Reads a block strictly: nothing when the header is wrong or any directory, entry or
// out-of-line value lies even partly outside the block.
std::optional<ParsedExif> ParseExif(const Bytes& payload);

// The tags of a parsed directory, in order.
std::vector<uint16_t> Tags(const std::vector<ParsedEntry>& entries);

// Where the first APP1 segment whose payload begins "Exif" lies in a JPEG file: the index
// of its FF byte and the payload's length. Segments are walked from SOI up to SOS.
struct ExifSegment {
  size_t start = 0;
  size_t payloadLength = 0;
};
std::optional<ExifSegment> FindExifSegment(const Bytes& jpeg);
Bytes SegmentPayload(const Bytes& jpeg, const ExifSegment& segment);
// The JPEG file with the segment's payload replaced and its length field rewritten.
Bytes ReplaceSegmentPayload(const Bytes& jpeg, const ExifSegment& segment, const Bytes& payload);

}  // namespace keelpack::test
