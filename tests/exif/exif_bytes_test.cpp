#include "exif/exif_bytes.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <vector>

namespace keelpack {
namespace {

constexpr ByteOrder kLittleEndian = ByteOrder::kLittleEndian;
constexpr ByteOrder kBigEndian = ByteOrder::kBigEndian;

using ::testing::ElementsAre;

TEST(ExifBytesTest, ReadsEitherByteOrder) {
  const std::vector<uint8_t> bytes = {0x12, 0x34, 0x56, 0x78};
  EXPECT_EQ(ReadShort(bytes, kLittleEndian), 0x3412);
  EXPECT_EQ(ReadShort(bytes, kBigEndian), 0x1234);
  EXPECT_EQ(ReadLong(bytes, kLittleEndian), 0x78563412u);
  EXPECT_EQ(ReadLong(bytes, kBigEndian), 0x12345678u);
  // All numbers are unsigned, the top bit included.
  const std::vector<uint8_t> high = {0xFF, 0xFE, 0xFD, 0xFC};
  EXPECT_EQ(ReadShort(high, kBigEndian), 0xFFFE);
  EXPECT_EQ(ReadLong(high, kBigEndian), 4294901244u);
  // Too few bytes read as nothing rather than beyond the data.
  EXPECT_EQ(ReadLong(std::span(bytes).first(3), kBigEndian), 0u);
  EXPECT_EQ(ReadShort(std::span(bytes).first(1), kLittleEndian), 0);
}

TEST(ExifBytesTest, PacksInTheBlockOrder) {
  EXPECT_THAT(PackShort(0x1234, kLittleEndian), ElementsAre(0x34, 0x12));
  EXPECT_THAT(PackShort(0x1234, kBigEndian), ElementsAre(0x12, 0x34));
  EXPECT_THAT(PackLong(0x7F563412, kLittleEndian), ElementsAre(0x12, 0x34, 0x56, 0x7F));
  EXPECT_THAT(PackLong(0x7F563412, kBigEndian), ElementsAre(0x7F, 0x56, 0x34, 0x12));
}

TEST(ExifBytesTest, ValueLengthIsCountTimesTypeSize) {
  const auto length = [](uint32_t count, uint16_t type) {
    return ValueLength(PackLong(count, kBigEndian), PackShort(type, kBigEndian), kBigEndian);
  };
  // TIFF 6.0 sizes for types 1 ... 12; anything else counts one byte per value.
  const uint64_t sizes[] = {1, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8, 1};
  for (uint16_t type = 0; type <= 13; ++type) {
    EXPECT_EQ(length(3, type), 3 * sizes[type]) << "type " << type;
  }
  EXPECT_EQ(length(0xFFFFFFFF, 12), 34359738360u);  // no 32-bit overflow
  EXPECT_EQ(ValueLength(PackLong(5, kLittleEndian), PackShort(3, kLittleEndian), kLittleEndian),
            10u);
}

TEST(ExifBytesTest, InlineTextOnlyForValuesInTheEntry) {
  const std::vector<uint8_t> field = {'A', 0, 'B', 0};
  EXPECT_EQ(InlineText(field, 4), std::string("A\0B\0", 4));
  EXPECT_EQ(InlineText(field, 1), std::string("A\0B\0", 4));
  EXPECT_EQ(InlineText(field, 5), "");
}

}  // namespace
}  // namespace keelpack
