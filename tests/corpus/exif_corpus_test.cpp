// Every Exif block of the corpus, reduced, edited for a turned picture and cut to the minimal
// block: exiftool must find each copy valid, and read the same camera values from the reduced
// and the edited copy as from the original.
#include <gtest/gtest.h>

#include <fstream>

#include "exif/orientation_exif.h"
#include "exif/reduce_exif.h"
#include "jpeg/turn_jpeg.h"
#include "log/log_sink.h"
#include "support/corpus.h"
#include "support/exif_builder.h"
#include "support/temp_dir.h"

namespace keelpack::test {
namespace {

TEST(ExifCorpusTest, ReducedBlocksAreValidAndKeepTheCameraValues) {
  const std::vector<std::string> files = CorpusFiles();
  KEELPACK_REQUIRE_CORPUS(files);
  if (std::system("exiftool -ver > /dev/null 2>&1") != 0) GTEST_SKIP() << "exiftool is missing";

  TempDir dir;
  CapturingLogBox box;
  LogSink log(box);
  // Each file's block reduced, edited for a quarter turn (its thumbnail turned where it can be),
  // and the minimal block that Delete leaves with Keep DPI.
  enum class Kind { kReduced, kTurned, kMinimal };
  std::vector<std::pair<std::string, std::vector<std::pair<std::string, Kind>>>>
      copies;  // an original's copies
  for (const std::string& file : files) {
    const Bytes jpeg = ReadFile(file);
    const std::optional<size_t> at = FindExifSegment(jpeg);
    if (!at) continue;
    const Bytes payload = SegmentPayload(jpeg, *at);
    copies.emplace_back(file, std::vector<std::pair<std::string, Kind>>{});
    const auto add = [&](const Bytes& block, Kind kind) {
      auto& mine = copies.back().second;
      mine.emplace_back(
          dir.File(std::to_string(copies.size()) + "-" + std::to_string(mine.size()) + ".jpg"),
          kind);
      WriteFile(
          mine.back().first,
          Concat({Bytes(jpeg.begin(), jpeg.begin() + static_cast<long>(*at)),
                  SegmentBytes(0xE1, block),
                  Bytes(jpeg.begin() + static_cast<long>(*at + 4 + payload.size()), jpeg.end())}));
    };
    std::vector<uint8_t>
        reduced;  // a block without useful tags is dropped by the rewriter, but must be valid
    int useful = 0;
    EXPECT_EQ(ReduceExifBlock(log, false, payload, reduced, useful, file), 0) << file;
    add(reduced, Kind::kReduced);
    const ThumbnailTurner turner = [](std::span<const uint8_t> thumbnail) {
      Turned t = TurnJpeg(thumbnail, 6, OptimizeChoice::kHuffman);
      return t.declined.empty() ? std::optional(std::move(t.bytes)) : std::nullopt;
    };
    TurnedExif turned = ExifForTurnedPicture(log, payload, 6, turner);
    if (!turned.refused.empty()) turned = ExifForTurnedPicture(log, payload, 6, nullptr);
    add(turned.payload, Kind::kTurned);
    if (const auto minimal = MinimalExifBlock(log, payload, true, false))
      add(*minimal, Kind::kMinimal);
  }
  ASSERT_FALSE(copies.empty());

  // exiftool starts slowly: one run over every original and its copies, one tab-separated line
  // each: validation ("errors warnings minor"), error, IFD0 orientation, then the camera values.
  const std::string arguments = dir.File("arguments.txt"), table = dir.File("values.txt");
  std::string list = "-T\n-n\n-Validate\n-Error\n-IFD0:Orientation\n";
  for (const char* tag :
       {"Model", "ExposureTime", "FNumber", "ISO", "MaxApertureValue", "FocalLengthIn35mmFormat"})
    list += std::string("-EXIF:") + tag + "\n";
  for (const auto& [original, mine] : copies) {
    list += original + "\n";
    for (const auto& copy : mine) list += copy.first + "\n";
  }
  WriteFile(arguments, ToBytes(list));
  ASSERT_NE(std::system(("exiftool -q -@ '" + arguments + "' > '" + table + "'").c_str()), -1);
  std::ifstream in(table);
  const auto columns = [&in] {
    std::vector<std::string> all(9);
    for (size_t i = 0; i < all.size(); ++i)
      std::getline(in, all[i], i + 1 < all.size() ? '\t' : '\n');
    return all;
  };
  for (const auto& [original, mine] : copies)
    for (std::vector<std::string> before = columns(); const auto& [copy, kind] : mine) {
      SCOPED_TRACE(original + " " + std::to_string(static_cast<int>(kind)));
      const std::vector<std::string> after = columns();
      EXPECT_EQ(after[0].substr(0, 2), "0 ") << "validation of the copy: " << after[0];
      EXPECT_EQ(after[1], "-") << after[1];
      // The thumbnail directory may have its own orientation, which the reduction leaves out.
      const std::string kept = std::atoi(before[2].c_str()) >= 2 ? before[2] : "-";
      EXPECT_EQ(after[2], kind == Kind::kTurned ? (before[2] == "-" ? "-" : "1") : kept);
      const std::vector<std::string> camera(after.begin() + 3, after.end());
      EXPECT_EQ(camera, kind == Kind::kMinimal ? std::vector<std::string>(camera.size(), "-")
                                               : std::vector(before.begin() + 3, before.end()));
    }
}

}  // namespace
}  // namespace keelpack::test
