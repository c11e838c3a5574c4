// Every Exif block of the corpus, reduced: exiftool must find the reduced copy valid and read
// the same camera values from it as from the original.
#include <gtest/gtest.h>

#include <fstream>

#include "exif/reduce_exif.h"
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
  std::vector<std::pair<std::string, std::string>> copies;  // reduced copy and its original
  for (const std::string& file : files) {
    const Bytes jpeg = ReadFile(file);
    const std::optional<size_t> at = FindExifSegment(jpeg);
    if (!at) continue;
    const Bytes payload = SegmentPayload(jpeg, *at);
    std::vector<uint8_t> reduced;  // a block without useful tags is dropped by the rewriter, but must be valid
    int useful = 0;
    EXPECT_EQ(ReduceExifBlock(log, false, payload, reduced, useful, file), 0) << file;
    copies.emplace_back(dir.File(std::to_string(copies.size()) + ".jpg"), file);
    WriteFile(copies.back().first, Concat({Bytes(jpeg.begin(), jpeg.begin() + static_cast<long>(*at)), SegmentBytes(0xE1, reduced), Bytes(jpeg.begin() + static_cast<long>(*at + 4 + payload.size()), jpeg.end())}));
  }
  ASSERT_FALSE(copies.empty());

  // exiftool starts slowly: one run over every copy and its original, one tab-separated line
  // each: validation ("errors warnings minor"), error, IFD0 orientation, then the camera values.
  const std::string arguments = dir.File("arguments.txt"), table = dir.File("values.txt");
  std::string list = "-T\n-n\n-Validate\n-Error\n-IFD0:Orientation\n";
  for (const char* tag : {"Model", "ExposureTime", "FNumber", "ISO", "MaxApertureValue", "FocalLengthIn35mmFormat"})
    list += std::string("-EXIF:") + tag + "\n";
  for (const auto& [copy, original] : copies) list += copy + "\n" + original + "\n";
  WriteFile(arguments, ToBytes(list));
  ASSERT_NE(std::system(("exiftool -q -@ '" + arguments + "' > '" + table + "'").c_str()), -1);
  std::ifstream in(table);
  const auto columns = [&in] {
    std::vector<std::string> all(9);
    for (size_t i = 0; i < all.size(); ++i) std::getline(in, all[i], i + 1 < all.size() ? '\t' : '\n');
    return all;
  };
  for (const auto& [copy, original] : copies) {
    SCOPED_TRACE(original);
    const std::vector<std::string> after = columns(), before = columns();
    EXPECT_EQ(after[0].substr(0, 2), "0 ") << "validation of the reduced copy: " << after[0];
    EXPECT_EQ(after[1], "-") << after[1];
    // The thumbnail directory may have its own orientation, which the reduction leaves out.
    EXPECT_EQ(after[2], std::atoi(before[2].c_str()) >= 2 ? before[2] : "-");
    EXPECT_EQ(std::vector(after.begin() + 3, after.end()), std::vector(before.begin() + 3, before.end()));
  }
}

}  // namespace
}  // namespace keelpack::test
