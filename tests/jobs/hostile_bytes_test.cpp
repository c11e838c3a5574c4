// Hostile bytes through the whole file job: whatever a file holds, a picture that a decoder
// can show is never lost, and the source is never written.
#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <random>

#include "jobs/process_file.h"
#include "jpeg/markers.h"
#include "jpeg/rewrite_jpeg.h"
#include "log/log_sink.h"
#include "platform/file_time.h"
#include "platform/files.h"
#include "platform/listing.h"
#include "settings/option_set.h"
#include "support/exif_builder.h"
#include "support/job_fixture.h"
#include "support/jpeg_builder.h"
#include "support/pictures.h"
#include "support/temp_dir.h"

namespace keelpack {
namespace {

using test::Bytes;
using test::Concat;
using test::SegmentBytes;

// A picture as a camera writes it: the Exif segment right after the start marker (so that the
// IFD0 entry count lies at offset 20), then what the encoder wrote.
Bytes WithExifFirst(const Bytes& picture, const Bytes& exif) {
  return Concat({{0xFF, 0xD8}, SegmentBytes(kApp1, exif), Bytes(picture.begin() + 2, picture.end())});
}

// Offsets of the segments between the start marker and the first scan's data.
std::vector<size_t> SegmentStarts(const Bytes& jpeg) {
  std::vector<size_t> starts;
  for (size_t at = 2; at + 4 <= jpeg.size() && jpeg[at] == 0xFF;) {
    starts.push_back(at);
    if (jpeg[at + 1] == kSos) break;
    at += 2 + jpeg[at + 2] * 256u + jpeg[at + 3];
  }
  return starts;
}

size_t SegmentLength(const Bytes& jpeg, size_t start) {
  return std::min<size_t>(2 + jpeg[start + 2] * 256u + jpeg[start + 3], jpeg.size() - start);
}

class Mutator {
 public:
  explicit Mutator(unsigned seed) : random_(seed) {}

  Bytes Mutate(Bytes jpeg) {
    std::vector<size_t> starts = SegmentStarts(jpeg);
    if (starts.empty()) starts.push_back(std::min<size_t>(2, jpeg.size()));
    const size_t segment = starts[Below(starts.size())];
    if (jpeg.size() < segment + 4) return jpeg;
    switch (Below(8)) {
      case 0:  // bit flips anywhere
        for (size_t n = 1 + Below(3); n > 0; --n) jpeg[Below(jpeg.size())] ^= static_cast<uint8_t>(1u << Below(8));
        break;
      case 1:  // cut short
        jpeg.resize(Below(jpeg.size()));
        break;
      case 2: {  // a segment twice
        const Bytes copy(jpeg.begin() + static_cast<ptrdiff_t>(segment),
                         jpeg.begin() + static_cast<ptrdiff_t>(segment + SegmentLength(jpeg, segment)));
        jpeg.insert(jpeg.begin() + static_cast<ptrdiff_t>(starts[Below(starts.size())]), copy.begin(), copy.end());
        break;
      }
      case 3: {  // a segment moved
        const size_t length = SegmentLength(jpeg, segment);
        const Bytes moved(jpeg.begin() + static_cast<ptrdiff_t>(segment),
                          jpeg.begin() + static_cast<ptrdiff_t>(segment + length));
        jpeg.erase(jpeg.begin() + static_cast<ptrdiff_t>(segment),
                   jpeg.begin() + static_cast<ptrdiff_t>(segment + length));
        const size_t to = std::min(starts[Below(starts.size())], jpeg.size());
        jpeg.insert(jpeg.begin() + static_cast<ptrdiff_t>(to), moved.begin(), moved.end());
        break;
      }
      case 4: {  // stray bytes between segments, or anywhere
        const Bytes strays[] = {{0x00, 0xD9}, {0xFF}, {0x00}, {0xFF, 0xD9}, {0x12, 0x34, 0x56}, {0xFF, 0x01}};
        const Bytes& stray = strays[Below(std::size(strays))];
        const size_t at = Below(4) == 0 ? Below(jpeg.size()) : segment;
        jpeg.insert(jpeg.begin() + static_cast<ptrdiff_t>(at), stray.begin(), stray.end());
        break;
      }
      case 5: {  // a length field at its limits
        const uint16_t own = static_cast<uint16_t>(SegmentLength(jpeg, segment) - 2);
        const uint16_t lengths[] = {0, 1, 2, 3, 0xFFFF, static_cast<uint16_t>(own - 1), static_cast<uint16_t>(own + 1)};
        const uint16_t length = lengths[Below(std::size(lengths))];
        jpeg[segment + 2] = static_cast<uint8_t>(length >> 8);
        jpeg[segment + 3] = static_cast<uint8_t>(length);
        break;
      }
      default:  // Exif counts and offsets at their limits
        MutateExif(jpeg);
        break;
    }
    return jpeg;
  }

 private:
  size_t Below(size_t n) { return n == 0 ? 0 : std::uniform_int_distribution<size_t>(0, n - 1)(random_); }

  void MutateExif(Bytes& jpeg) {
    const auto exif = test::FindExifSegment(jpeg);
    if (!exif) return;
    const size_t tiff = exif->start + 4 + 6;
    const bool bigEndian = jpeg[tiff] == 'M';
    const uint32_t size = static_cast<uint32_t>(exif->payloadLength - 6);
    auto put = [&](size_t at, uint32_t value, int bytes) {
      for (int i = 0; i < bytes && at + i < jpeg.size(); ++i) {
        const int shift = 8 * (bigEndian ? bytes - 1 - i : i);
        jpeg[at + i] = static_cast<uint8_t>(value >> shift);
      }
    };
    const uint32_t limits[] = {0, 1, 255, 0xFFFF, 0x7FFFFFFF, 0xFFFFFFFF, size, size - 1, size - 4};
    const uint32_t value = limits[Below(std::size(limits))];
    const size_t ifd0 = tiff + 8;  // the builders put IFD0 right after the header
    switch (Below(3)) {
      case 0: put(ifd0, value, 2); break;                        // IFD0's entry count
      case 1: put(tiff + 4, value, 4); break;                    // IFD0's offset
      default: {  // an entry's count or value offset
        const size_t entry = ifd0 + 2 + 12 * Below(8);
        put(entry + 4 + 4 * Below(2), value, 4);
      }
    }
  }

  std::mt19937 random_;
};

class HostileBytesTest : public test::JobFixture {
 protected:
  size_t FilesIn(const std::string& folder) const { return platform::ListFiles(folder, "*")->size(); }
};

// Mutants of real pictures, in every Exif mode and both scans: the source ends up with its
// bytes (in place or renamed by the mask), or replaced by a file with the very same pixels.
TEST_F(HostileBytesTest, NoDecodablePictureIsEverLost) {
  const Bytes pictures[] = {
      WithExifFirst(test::EncodePicture({.width = 24, .height = 16}), test::CameraExifBlock(false)),
      WithExifFirst(test::EncodePicture({.width = 24, .height = 16, .progressive = true}),
                    test::CameraExifBlock(true)),
      WithExifFirst(test::EncodePicture({.width = 32, .height = 16, .restartInterval = 1}),
                    test::CameraExifBlock(false)),
      test::ShrinkablePicture({.width = 17, .height = 9, .grayscale = true, .seed = 3}),
      test::ShrinkablePicture({.width = 16, .height = 16, .rgb = true, .seed = 4}),
  };
  const ExifOption exifOptions[] = {ExifOption::kKeepOriginal, ExifOption::kReduceSize, ExifOption::kDelete};
  constexpr int kMutants = 3000;
  const std::string folder = dir.File("work");
  ASSERT_EQ(platform::MakeFolder(folder), 0);
  const std::string path = folder + "/photo.jpg";
  const std::string renamed = folder + "/_corrupted_photo.jpg";

  Mutator mutator(20261206);
  int decodable = 0, replaced = 0;
  for (int i = 0; i < kMutants; ++i) {
    const Bytes mutant = mutator.Mutate(pictures[i % std::size(pictures)]);
    const auto pixels = test::DecodePixels(mutant, false);
    if (!pixels) continue;
    ++decodable;
    options.exif = exifOptions[i % 3];
    options.slow = (i / 3) % 2;
    test::WriteFile(path, mutant);
    Process(path);

    const std::string kept = platform::Exists(path) ? path : renamed;
    ASSERT_TRUE(platform::Exists(kept)) << "mutant " << i << " lost";
    const Bytes after = test::ReadFile(kept);
    if (after != mutant) {
      ASSERT_EQ(kept, path) << "mutant " << i << " renamed with other bytes";
      ASSERT_EQ(test::DecodePixels(after, false), pixels) << "mutant " << i << " lost pixels";
      ++replaced;
    }
    ASSERT_EQ(FilesIn(folder), 1u) << "mutant " << i << " left files behind";
    platform::RemoveFile(kept);
  }
  // Enough of them decode, and enough are rewritten, for the property to mean something.
  EXPECT_GT(decodable, kMutants / 3);
  EXPECT_GT(replaced, decodable / 4);
  EXPECT_FALSE(platform::Exists(dir.File("cache")));  // nothing is ever put in the cache folder
}

// Crafted files that once cost a picture or wrote into a source.
TEST_F(HostileBytesTest, CraftedFilesKeepTheirPictures) {
  const Bytes picture = test::EncodePicture({.width = 40, .height = 24});
  const auto pixels = test::DecodePixels(picture, false);

  // An IFD0 of 255 entries in a little-endian block: the count's low byte, 0xFF, at offset 20.
  test::ExifBuilder many;
  for (uint16_t tag = 0; tag < 255; ++tag) many.Add(test::ExifBuilder::kIfd0, many.Short(static_cast<uint16_t>(0x8000 + tag), 7));
  const Bytes manyEntries = WithExifFirst(picture, many.Build());
  // The header the repair is meant for: an APP1 "Exif" of length 16, then a marker at 20.
  const Bytes brokenHeader =
      Concat({{0xFF, 0xD8, 0xFF, 0xE1, 0x00, 0x10}, test::ToBytes(std::string("Exif\0\0MM\0\x2A\0\0\0\x08", 14)),
              Bytes(picture.begin() + 2, picture.end())});
  const Bytes repairedHead = {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 'J',  'F',  'I',  'F',
                              0x00, 0x01, 0x01, 0x00, 0x00, 0x01, 0x00, 0x01, 0x00, 0x00};
  // 00 D9 before the first table: a decoder warns and shows every pixel.
  const size_t firstDqt = SegmentStarts(picture)[1];
  Bytes strayEnd = picture;
  strayEnd.insert(strayEnd.begin() + static_cast<ptrdiff_t>(firstDqt), {0x00, 0xD9});
  // A Model, then more sub-directory pointers than the reduction follows: it fails.
  test::ExifBuilder loops;
  loops.Add(test::ExifBuilder::kIfd0, loops.Ascii(272, "Camera"));
  const int empty = loops.AddDirectory();
  for (int i = 0; i < 25; ++i) loops.Add(test::ExifBuilder::kIfd0, test::ExifBuilder::Pointer(34665, empty));
  // A tiny progressive file that declares a frame of 30000 x 30000.
  Bytes huge = test::EncodePicture({.width = 16, .height = 16, .progressive = true});
  const std::vector<size_t> hugeStarts = SegmentStarts(huge);
  const size_t sof = *std::find_if(hugeStarts.begin(), hugeStarts.end(), [&](size_t at) { return huge[at + 1] == kSof2; });
  for (size_t at : {sof + 5, sof + 7}) huge[at] = 30000 >> 8, huge[at + 1] = 30000 & 0xFF;

  // An RGB picture whose Adobe segment says YCbCr: a decoder believes the segment.
  Bytes rgbSaidYcc = test::EncodePicture({.width = 16, .height = 8, .rgb = true});
  const std::vector<size_t> rgbStarts = SegmentStarts(rgbSaidYcc);
  const size_t adobe = *std::find_if(rgbStarts.begin(), rgbStarts.end(), [&](size_t at) { return rgbSaidYcc[at + 1] == kApp14; });
  rgbSaidYcc[adobe + 4 + 11] = 1;

  enum Fate { kReplaced, kUntouched, kRenamed };
  struct Row {
    const char* name = "";
    Bytes content = {};
    Fate fate = kReplaced;
    std::function<void(const std::string& path)> before = {};
    std::string line = {};      // a log line that names the file
    Bytes resultHead = {};      // how the result begins, when that is known
    size_t sparseTail = 0;      // grows the file to this size with a hole after the picture
  };
  auto elsewhere = [&](const std::string&) { options.difdir = 1, options.output = dir.File("out"); };
  auto hardLink = [](const std::string& path) { ASSERT_EQ(link(path.c_str(), (path + ".link").c_str()), 0); };
  const Row rows[] = {
      {.name = "stray bytes before a standalone marker", .content = strayEnd, .fate = kRenamed,
       .line = "Renaming corrupted "},
      {.name = "255 entries, in place, through a hard link", .content = manyEntries, .fate = kReplaced,
       .before = hardLink},
      {.name = "255 entries, to another folder", .content = manyEntries, .fate = kUntouched, .before = elsewhere},
      {.name = "broken header, read-only, through a hard link", .content = brokenHeader, .fate = kReplaced,
       .before = [&](const std::string& path) { hardLink(path), chmod(path.c_str(), 0444); },
       .resultHead = repairedHead},
      {.name = "broken header, to another folder", .content = brokenHeader, .fate = kUntouched, .before = elsewhere},
      {.name = "a reduction that fails names the photo", .content = WithExifFirst(picture, loops.Build()),
       .fate = kReplaced, .before = [&](const std::string&) { log.screenDebug = true; },
       .line = "Too many Exif sub-directories - Failed to open file "},
      {.name = "a frame too large to check", .content = huge, .fate = kUntouched,
       .before = [&](const std::string&) { options.readability = 1; }, .line = "Picture check failed - "},
      {.name = "an RGB picture whose Adobe segment says YCbCr", .content = rgbSaidYcc, .fate = kReplaced},
      {.name = "the first second of 1970", .content = test::ShrinkablePicture({}), .fate = kReplaced,
       .before =
           [](const std::string& path) {
             const timespec times[2] = {{0, UTIME_OMIT}, {0, 0}};
             utimensat(AT_FDCWD, path.c_str(), times, 0);
           }},
      {.name = "3 GiB with a picture at its start", .content = picture, .fate = kReplaced,
       .sparseTail = size_t{3} << 30},
      {.name = "3 GiB of nothing, damaged files deleted", .fate = kRenamed,
       .before = [&](const std::string&) { options.corrupted = CorruptedChoice::kDelete; }, .line = "Renaming corrupted ",
       .sparseTail = size_t{3} << 30},
  };

  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    options = OptionSet{};
    log.screenDebug = false;
    box.lines.clear();
    const test::TempDir folder;
    base = folder.path();
    const std::string path = folder.File("photo.jpg");
    test::WriteFile(path, row.content);
    if (row.sparseTail) {
      ASSERT_EQ(truncate(path.c_str(), static_cast<off_t>(row.sparseTail)), 0);
    }
    if (row.before) row.before(path);
    const auto time = platform::SaveFileTime(path);
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const long peakBefore = usage.ru_maxrss;

    Process(path, true);

    getrusage(RUSAGE_SELF, &usage);
    EXPECT_LT(usage.ru_maxrss - peakBefore, 256 << 10) << "KiB more at the peak";
    if (!row.line.empty()) {
      EXPECT_TRUE(box.Has(row.line + path)) << testing::PrintToString(box.lines);
    }
    const std::string renamed = folder.File("_corrupted_photo.jpg");
    EXPECT_EQ(platform::Exists(renamed), row.fate == kRenamed);
    const std::string kept = row.fate == kRenamed ? renamed : path;
    if (row.fate != kReplaced && !row.sparseTail) {
      EXPECT_EQ(test::ReadFile(kept), row.content);
    }
    if (platform::Exists(path + ".link")) {
      EXPECT_EQ(test::ReadFile(path + ".link"), row.content);
    }
    if (row.fate == kReplaced) {
      const Bytes after = test::ReadFile(path);
      EXPECT_NE(after, row.content);
      EXPECT_EQ(test::DecodePixels(after, false), test::DecodePixels(row.content, false));
      EXPECT_TRUE(std::equal(row.resultHead.begin(), row.resultHead.end(), after.begin()));
      EXPECT_EQ(platform::SaveFileTime(path), time);
    }
    if (options.difdir == 1) {
      EXPECT_EQ(test::DecodePixels(test::ReadFile(dir.File("out/photo.jpg")), false), pixels);
      platform::RemoveFile(dir.File("out/photo.jpg"));
    }
  }
  EXPECT_FALSE(platform::Exists(dir.File("cache")));
}

}  // namespace
}  // namespace keelpack
