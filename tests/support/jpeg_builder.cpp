#include "support/jpeg_builder.h"

#include <stdexcept>

namespace keelpack::test {

Bytes ToBytes(std::string_view text) { return Bytes(text.begin(), text.end()); }

Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

Bytes SegmentBytes(uint8_t code, const Bytes& data) {
  if (data.size() + 2 > 0xFFFF) throw std::length_error("segment data too long");
  const size_t length = data.size() + 2;
  Bytes bytes = {0xFF, code, static_cast<uint8_t>(length >> 8), static_cast<uint8_t>(length & 0xFF)};
  bytes.insert(bytes.end(), data.begin(), data.end());
  return bytes;
}

JpegBuilder& JpegBuilder::Sof0() {
  // 8-bit precision, 16x16 pixels, one component with id 1, no subsampling, table 0.
  return Segment(0xC0, Bytes{8, 0, 16, 0, 16, 1, 1, 0x11, 0});
}

JpegBuilder& JpegBuilder::Sos() {
  // One component, tables 0/0, full spectral range, no successive approximation.
  return Segment(0xDA, Bytes{1, 1, 0x00, 0, 63, 0});
}

}  // namespace keelpack::test
