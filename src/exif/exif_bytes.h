#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>

// Byte-order helpers for TIFF-structured Exif blocks (TIFF 6.0, section 2: every multi-byte
// number follows the byte order named in the block's header).
namespace keelpack {

// The block's byte order, as the header's first two bytes give it.
enum class ByteOrder {
  kLittleEndian,  // "II"
  kBigEndian,     // "MM"
};

// The unsigned 16-bit number in the first two bytes; 0 when fewer than two bytes are given.
uint16_t ReadShort(std::span<const uint8_t> bytes, ByteOrder byteOrder);

// The unsigned 32-bit number in the first four bytes; 0 when fewer than four bytes are given.
uint32_t ReadLong(std::span<const uint8_t> bytes, ByteOrder byteOrder);

// The value's two bytes; in the given byte order.
std::array<uint8_t, 2> PackShort(uint16_t value, ByteOrder byteOrder);

// The value's four bytes; in the given byte order.
std::array<uint8_t, 4> PackLong(uint32_t value, ByteOrder byteOrder);

// Bytes per value of a TIFF/Exif field type (1 BYTE ... 12 DOUBLE). Type numbers outside
// 1...12 count one byte per value, so that a length can still be shown for them.
uint32_t TypeSize(uint16_t type);

// Byte length of an entry's value: its count (4 bytes) times the size of its type (2 bytes).
// At most 2^32 - 1 values of 8 bytes, so always exact in 64 bits.
uint64_t ValueLength(std::span<const uint8_t> countBytes, std::span<const uint8_t> typeBytes,
                     ByteOrder byteOrder);

// For a value of at most 4 bytes, which lives in the entry itself: the four bytes of the
// value-or-offset field as four characters, zero bytes included. Otherwise the empty text.
std::string InlineText(std::span<const uint8_t> valueBytes, uint64_t length);

}  // namespace keelpack
