#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace keelpack::test {

using Bytes = std::vector<uint8_t>;

Bytes ToBytes(std::string_view text);
Bytes Concat(std::initializer_list<Bytes> parts);

// One length-bearing segment: FF, code, the big-endian length (data + 2), the data.
Bytes SegmentBytes(uint8_t code, const Bytes& data);

// Builds JPEG files marker by marker, for tests that need exact control over the segments.
// The picture data it writes is not decodable; tests that need real pictures encode them.
class JpegBuilder {
 public:
  JpegBuilder& Soi() { return Raw({0xFF, 0xD8}); }
  JpegBuilder& Eoi() { return Raw({0xFF, 0xD9}); }
  JpegBuilder& Segment(uint8_t code, const Bytes& data) { return Raw(SegmentBytes(code, data)); }
  JpegBuilder& Segment(uint8_t code, size_t dataLength, uint8_t fill = 0x11) {
    return Segment(code, Bytes(dataLength, fill));
  }
  JpegBuilder& Raw(const Bytes& bytes) {
    bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
    return *this;
  }
  // A small baseline frame header and a one-component scan header, then entropy data.
  JpegBuilder& Sof0();
  JpegBuilder& Sos();
  JpegBuilder& Entropy(const Bytes& data) { return Raw(data); }

  const Bytes& bytes() const { return bytes_; }

 private:
  Bytes bytes_;
};

}  // namespace keelpack::test
