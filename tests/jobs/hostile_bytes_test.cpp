// Hostile bytes through the whole file job: whatever a file holds, a picture that a decoder
// can show is never lost, and the source is never written.
#include <gtest/gtest.h>

#include <random>

#include "jpeg/markers.h"
#include "platform/files.h"
#include "platform/listing.h"
#include "support/exif_builder.h"
#include "support/job_fixture.h"
#include "support/jpeg_builder.h"
#include "support/pictures.h"

namespace keelpack::test {
namespace {

// Plants one fault where files go wrong: in the segments before the first scan's data, or in
// the Exif block's counts and offsets.
struct Mutator {
  Bytes Mutate(Bytes jpeg) {
    keepsPicture = false;
    std::vector<size_t> starts = test::SegmentStarts(jpeg);
    if (starts.empty()) starts.push_back(std::min<size_t>(2, jpeg.size()));
    const size_t segment = starts[Below(starts.size())];
    if (jpeg.size() < segment + 4) return jpeg;
    const auto at = [&](size_t offset) { return jpeg.begin() + static_cast<ptrdiff_t>(offset); };
    const Bytes copy(at(segment),
                     at(std::min<size_t>(segment + 2 + jpeg[segment + 2] * 256u + jpeg[segment + 3],
                                         jpeg.size())));
    switch (Below(7)) {
      case 0:  // bit flips anywhere
        for (size_t n = 1 + Below(3); n > 0; --n)
          jpeg[Below(jpeg.size())] ^= static_cast<uint8_t>(1u << Below(8));
        break;
      case 1:  // cut short
        jpeg.resize(Below(jpeg.size()));
        break;
      case 2:  // a segment twice, or moved
        if (Below(2) == 0) jpeg.erase(at(segment), at(segment + copy.size()));
        jpeg.insert(at(std::min(starts[Below(starts.size())], jpeg.size())), copy.begin(),
                    copy.end());
        break;
      case 3: {  // stray bytes between segments, or anywhere
        const Bytes strays[] = {{0x00, 0xD9},       {0xFF},      {0x00}, {0xFF, 0xD9},
                                {0x12, 0x34, 0x56}, {0xFF, 0x01}};
        const Bytes& stray = strays[Below(std::size(strays))];
        keepsPicture = Below(4) != 0;
        jpeg.insert(at(keepsPicture ? segment : Below(jpeg.size())), stray.begin(), stray.end());
        break;
      }
      case 4: {  // a length field at its limits
        const auto own = static_cast<uint16_t>(copy.size() - 2);
        const uint16_t lengths[] = {
            0, 1, 2, 3, 0xFFFF, static_cast<uint16_t>(own - 1), static_cast<uint16_t>(own + 1)};
        const uint16_t length = lengths[Below(std::size(lengths))];
        jpeg[segment + 2] = static_cast<uint8_t>(length >> 8),
                       jpeg[segment + 3] = static_cast<uint8_t>(length);
        break;
      }
      default:
        MutateExif(jpeg);
    }
    return jpeg;
  }

  size_t Below(size_t n) { return n ? std::uniform_int_distribution<size_t>(0, n - 1)(random) : 0; }

  void MutateExif(Bytes& jpeg) {
    if (jpeg[3] != kApp1) return;  // only the pictures with Exif first have a block to mutate
    const size_t tiff = 2 + 4 + 6;
    const bool bigEndian = jpeg[tiff] == 'M';
    const auto size = static_cast<uint32_t>(jpeg[4] * 256u + jpeg[5] - 2 - 6);
    const uint32_t limits[] = {0, 1, 255, 0xFFFF, 0x7FFFFFFF, 0xFFFFFFFF, size, size - 1, size - 4};
    const uint32_t value = limits[Below(std::size(limits))];
    const size_t ifd0 = tiff + 8;  // the builders put IFD0 right after the header
    const size_t choice = Below(3);
    // IFD0's entry count, IFD0's offset, or an entry's count or value offset.
    size_t where = choice == 0 ? ifd0 : tiff + 4;
    if (choice == 2) where = ifd0 + 2 + 12 * Below(8), where += 4 + 4 * Below(2);
    const int bytes = choice == 0 ? 2 : 4;
    for (int i = 0; i < bytes && where + i < jpeg.size(); ++i)
      jpeg[where + i] = static_cast<uint8_t>(value >> (8 * (bigEndian ? bytes - 1 - i : i)));
  }

  std::mt19937 random{20261206};
  // The last mutant holds every byte of its picture after the stray bytes put before a segment.
  bool keepsPicture = false;
};

using HostileBytesTest = test::JobFixture;

// Mutants of real pictures, in every Exif mode and both scans: the source ends up with its
// bytes (in place or renamed by the mask), or replaced by a file with the very same pixels. So
// does a mutant that no decoder shows but that holds the whole picture after stray bytes.
TEST_F(HostileBytesTest, NoPictureIsEverLost) {
  auto exif = [](const PictureRecipe& recipe, bool bigEndian) {
    return WithExifFirst(EncodePicture(recipe), CameraExifBlock(bigEndian));
  };
  const Bytes pictures[] = {
      exif({.width = 24, .height = 16}, false),
      exif({.width = 24, .height = 16, .progressive = true}, true),
      exif({.width = 32, .height = 16, .restartInterval = 1}, false),
      ShrinkablePicture({.width = 17, .height = 9, .grayscale = true, .seed = 3}),
      ShrinkablePicture({.width = 16, .height = 16, .rgb = true, .seed = 4})};
  const ExifChoice exifOptions[] = {ExifChoice::kKeep, ExifChoice::kReduce, ExifChoice::kDelete};
  constexpr int kMutants = 3000;
  const std::string folder = dir.File("work");
  ASSERT_FALSE(platform::MakeFolder(folder));
  const std::string path = folder + "/photo.jpg";

  Mutator mutator;
  int decodable = 0, replaced = 0, hidden = 0;
  for (int i = 0; i < kMutants; ++i) {
    const Bytes& picture = pictures[i % std::size(pictures)];
    const Bytes mutant = mutator.Mutate(picture);
    auto pixels = test::DecodePixels(mutant, false);
    if (!pixels && !mutator.keepsPicture) continue;
    ++(pixels ? decodable : hidden);
    if (!pixels) pixels = test::DecodePixels(picture, false);
    options.exif = exifOptions[i % 3];
    options.slow = (i / 3) % 2;
    test::WriteFile(path, mutant);
    Process(path);

    const std::string kept = platform::Exists(path) ? path : folder + "/_corrupted_photo.jpg";
    ASSERT_TRUE(platform::Exists(kept)) << "mutant " << i << " lost";
    const Bytes after = test::ReadFile(kept);
    if (after != mutant) {
      ASSERT_EQ(kept, path) << "mutant " << i << " renamed with other bytes";
      ASSERT_EQ(test::DecodePixels(after, false), pixels) << "mutant " << i << " lost pixels";
      ++replaced;
    }
    ASSERT_EQ(platform::ListFiles(folder, "*")->size(), 1u)
        << "mutant " << i << " left files behind";
    platform::RemoveFile(kept);
  }
  // Enough of them decode, and enough are rewritten, for the property to mean something.
  EXPECT_GT(decodable, kMutants / 3);
  EXPECT_GT(hidden, kMutants / 100);
  EXPECT_GT(replaced, decodable / 4);
}

}  // namespace
}  // namespace keelpack::test
