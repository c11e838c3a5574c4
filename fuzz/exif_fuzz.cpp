// Feeds arbitrary APP1 payloads to the Exif reduction. Every log line is formatted (screen
// echo on, to a box that drops it), and every reduced block is read back independently: no
// offset in it may point outside the block that was written, it is never larger than the
// block it replaces, and reducing it again changes nothing.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string_view>
#include <vector>

#include "exif/exif_bytes.h"
#include "exif/orientation_exif.h"
#include "exif/reduce_exif.h"
#include "log/log_sink.h"
#include "platform/failure.h"

namespace {

class DroppingBox : public keelpack::LogBox {
 public:
  void AppendLine(std::string_view, bool) override {}
  void Clear() override {}
};

void Require(bool condition) {
  if (!condition) std::abort();
}

// A TIFF block (the payload less its 6-byte prefix), read with bounds checks of its own.
struct Block {
  std::span<const uint8_t> bytes;
  bool bigEndian = false;

  uint32_t Number(uint64_t offset, int size) const {
    Require(offset + size <= bytes.size());
    uint32_t value = 0;
    for (int i = 0; i < size; ++i) {
      const uint32_t byte = bytes[offset + i];
      value |= byte << (8 * (bigEndian ? size - 1 - i : i));
    }
    return value;
  }
};

// Checks one directory and every value it points at; gives the Exif IFD pointer's value,
// or 0 when the directory has none.
uint32_t CheckDirectory(const Block& block, uint32_t offset) {
  const uint32_t count = block.Number(offset, 2);
  const uint64_t link = uint64_t{offset} + 2 + 12 * uint64_t{count};
  Require(block.Number(link, 4) == 0);  // no thumbnail directory, nothing chained
  uint32_t exifIfd = 0;
  for (uint32_t i = 0; i < count; ++i) {
    const uint64_t entry = uint64_t{offset} + 2 + 12 * uint64_t{i};
    const uint32_t tag = block.Number(entry, 2);
    const uint64_t length = block.Number(entry + 4, 4) *
                            keelpack::TypeSize(static_cast<uint16_t>(block.Number(entry + 2, 2)));
    const uint32_t field = block.Number(entry + 8, 4);
    if (length > 4) Require(field + length <= block.bytes.size());
    if (tag == 34665) exifIfd = field;
  }
  return exifIfd;
}

void CheckReduced(std::span<const uint8_t> payload) {
  Require(payload.size() >= 6 + 8);
  const Block block{payload.subspan(6), payload[6] == 'M'};
  const uint32_t ifd0 = block.Number(4, 4);
  const uint32_t exifIfd = CheckDirectory(block, ifd0);
  if (exifIfd != 0)
    CheckDirectory(block, exifIfd);  // the pointer only for a directory with entries
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static DroppingBox box;
  static keelpack::LogSink log = [] {
    keelpack::LogSink sink(box);
    sink.SetScreenDebug(true);
    return sink;
  }();
  const std::span<const uint8_t> payload(data, size);
  std::vector<uint8_t> reduced;
  int usefulTags = -1;
  // The payload's length decides the Keep DPI option, so both ways are explored.
  using keelpack::ExifReduced;
  const keelpack::Result<ExifReduced> result =
      keelpack::ReduceExifBlock(log, size % 2 == 1, payload, reduced, usefulTags, "fuzz.bin");
  Require(usefulTags >= 0);
  if (result == ExifReduced::kReduced) {
    CheckReduced(reduced);
    Require(reduced.size() <= payload.size());
    // A second run finds nothing more to take away. (Its count can be lower: a useful tag is
    // counted before its value is found bad and dropped.)
    std::vector<uint8_t> again;
    int usefulAgain = -1;
    const keelpack::Result<ExifReduced> second =
        keelpack::ReduceExifBlock(log, size % 2 == 1, reduced, again, usefulAgain, "fuzz.bin");
    Require(second == ExifReduced::kReduced && again == reduced && usefulAgain <= usefulTags);
  } else if (result) {
    Require(*result == ExifReduced::kNotExifBlock ? usefulTags == 0
                                                  : *result == ExifReduced::kNotSmaller);
  } else {
    Require(result.error().content() &&
            result.error().number == keelpack::platform::kFailOutOfRange);
  }

  // The pieces around the orientation read the same bytes. The length chooses the options and
  // what the thumbnail turns into: nothing, or something shorter or longer.
  const int orientation = keelpack::ExifOrientation(payload);
  Require(orientation >= 0 && orientation <= 8);
  if (const auto minimal = keelpack::MinimalExifBlock(log, payload, true, size % 3 == 0))
    CheckReduced(*minimal);
  const keelpack::ThumbnailTurner turner =
      [size](std::span<const uint8_t> thumbnail) -> std::optional<std::vector<uint8_t>> {
    if (size % 5 == 0) return std::nullopt;
    return std::vector<uint8_t>(thumbnail.size() / 2 + size % 7 * 10, 0xAB);
  };
  const keelpack::TurnedExif turned =
      keelpack::ExifForTurnedPicture(log, payload, 2 + static_cast<int>(size % 7), turner);
  Require(turned.refused.empty() == !turned.payload.empty());
  Require(turned.payload.size() <= std::max<size_t>(payload.size(), 65533));
  return 0;
}
