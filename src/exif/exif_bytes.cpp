#include "exif/exif_bytes.h"

namespace keelpack {

uint16_t ReadShort(std::span<const uint8_t> bytes, ByteOrder byteOrder) {
  if (bytes.size() < 2) return 0;
  const unsigned b0 = bytes[0];
  const unsigned b1 = bytes[1];
  if (byteOrder == ByteOrder::kBigEndian) return static_cast<uint16_t>(b0 << 8 | b1);
  return static_cast<uint16_t>(b1 << 8 | b0);
}

uint32_t ReadLong(std::span<const uint8_t> bytes, ByteOrder byteOrder) {
  if (bytes.size() < 4) return 0;
  const uint32_t b0 = bytes[0];
  const uint32_t b1 = bytes[1];
  const uint32_t b2 = bytes[2];
  const uint32_t b3 = bytes[3];
  if (byteOrder == ByteOrder::kBigEndian) return b0 << 24 | b1 << 16 | b2 << 8 | b3;
  return b3 << 24 | b2 << 16 | b1 << 8 | b0;
}

std::array<uint8_t, 2> PackShort(uint16_t value, ByteOrder byteOrder) {
  const auto low = static_cast<uint8_t>(value & 0xFF);
  const auto high = static_cast<uint8_t>(value >> 8);
  if (byteOrder == ByteOrder::kBigEndian) return {high, low};
  return {low, high};
}

std::array<uint8_t, 4> PackLong(uint32_t value, ByteOrder byteOrder) {
  std::array<uint8_t, 4> bytes{};
  for (int i = 0; i < 4; ++i) {
    const auto byte = static_cast<uint8_t>(value >> (8 * i));
    bytes[byteOrder == ByteOrder::kBigEndian ? 3 - i : i] = byte;
  }
  return bytes;
}

uint32_t TypeSize(uint16_t type) {
  // TIFF 6.0 section 2 and Exif 2.32 section 4.6.2: 1 BYTE, 2 ASCII, 3 SHORT, 4 LONG,
  // 5 RATIONAL, 6 SBYTE, 7 UNDEFINED, 8 SSHORT, 9 SLONG, 10 SRATIONAL, 11 FLOAT, 12 DOUBLE.
  switch (type) {
    case 3:
    case 8:
      return 2;
    case 4:
    case 9:
    case 11:
      return 4;
    case 5:
    case 10:
    case 12:
      return 8;
    default:
      return 1;
  }
}

uint64_t ValueLength(std::span<const uint8_t> countBytes, std::span<const uint8_t> typeBytes,
                     ByteOrder byteOrder) {
  return uint64_t{ReadLong(countBytes, byteOrder)} * TypeSize(ReadShort(typeBytes, byteOrder));
}

std::string InlineText(std::span<const uint8_t> valueBytes, uint64_t length) {
  if (length >= 5 || valueBytes.size() < 4) return {};
  return std::string(valueBytes.begin(), valueBytes.begin() + 4);
}

}  // namespace keelpack
