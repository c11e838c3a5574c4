#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "jpeg/markers.h"

namespace keelpack::test {

using Bytes = std::vector<uint8_t>;

inline Bytes ToBytes(std::string_view text) { return Bytes(text.begin(), text.end()); }
// Bytes written as pairs of hexadecimal digits, for inputs that fuzzing found.
inline Bytes FromHex(std::string_view hex) {
  Bytes bytes;
  for (size_t i = 0; i + 1 < hex.size(); i += 2)
    bytes.push_back(static_cast<uint8_t>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16)));
  return bytes;
}

inline Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

// One length-bearing segment: FF, code, the big-endian length (data + 2), the data.
inline Bytes SegmentBytes(uint8_t code, const Bytes& data) {
  const size_t length = data.size() + 2;
  return Concat(
      {{0xFF, code, static_cast<uint8_t>(length >> 8), static_cast<uint8_t>(length & 0xFF)}, data});
}

// Builds JPEG files marker by marker, for tests that need exact control over the segments.
// The picture data it writes is not decodable; tests that need real pictures encode them.
class JpegBuilder {
 public:
  JpegBuilder& Soi() { return Raw({0xFF, 0xD8}); }
  JpegBuilder& Eoi() { return Raw({0xFF, 0xD9}); }
  JpegBuilder& Segment(uint8_t code, size_t dataLength, uint8_t fill = 0x11) {
    return Raw(SegmentBytes(code, Bytes(dataLength, fill)));
  }
  JpegBuilder& Raw(const Bytes& bytes) {
    bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
    return *this;
  }
  // 8-bit precision, 16x16 pixels, one component with id 1, no subsampling, table 0.
  JpegBuilder& Sof0() { return Raw(SegmentBytes(0xC0, {8, 0, 16, 0, 16, 1, 1, 0x11, 0})); }
  // One component, tables 0/0, full spectral range, no successive approximation.
  JpegBuilder& Sos() { return Raw(SegmentBytes(0xDA, {1, 1, 0x00, 0, 63, 0})); }
  JpegBuilder& Entropy(const Bytes& data) { return Raw(data); }

  const Bytes& bytes() const { return bytes_; }

 private:
  Bytes bytes_;
};

// A file that ends inside its picture data, without an end marker: damaged.
inline Bytes Damaged() { return JpegBuilder().Soi().Sof0().Sos().Entropy({1, 2, 3, 4}).bytes(); }

// Offsets of the segments from the start marker up to the first scan's (SOS last).
inline std::vector<size_t> SegmentStarts(const Bytes& jpeg) {
  std::vector<size_t> starts;
  for (size_t at = 2;;) {
    const MarkerStep step = ReadMarkerStep(jpeg, at);
    if (!step.segment()) break;
    starts.push_back(at);
    if (step.code == kSos) break;
    at = step.end;
  }
  return starts;
}

// Where the first segment with this marker starts, before the first scan; 0 when there is none.
inline size_t SegmentAt(const Bytes& jpeg, uint8_t marker) {
  for (size_t at : SegmentStarts(jpeg))
    if (jpeg[at + 1] == marker) return at;
  return 0;
}

}  // namespace keelpack::test
