#include <gtest/gtest.h>

#include <fstream>
#include <map>

#include "exif/reduce_exif.h"
#include "support/corpus.h"
#include "log/log_sink.h"
#include "support/exif_builder.h"
#include "support/temp_dir.h"

namespace keelpack::test {
namespace {

// The camera values that a reduced block must carry unchanged. Orientation is read from
// IFD0 only: the thumbnail directory may have its own, which the reduction leaves out.
const std::vector<std::string> kCameraTags = {
    "Model", "ExposureTime", "FNumber", "ISO", "MaxApertureValue", "FocalLengthIn35mmFormat"};
constexpr const char* kOrientation = "Orientation";

using TagValues = std::map<std::string, std::string>;  // tag name to JSON value text

// Reads the JSON that "exiftool -j" prints: one key per line, each object starting with its
// SourceFile. Values are kept as their JSON text, which is enough to compare two files.
std::map<std::string, TagValues> ReadExiftoolJson(const std::string& path) {
  std::map<std::string, TagValues> files;
  std::ifstream in(path);
  TagValues* current = nullptr;
  for (std::string line; std::getline(in, line);) {
    const size_t open = line.find('"');
    const size_t close = line.find("\": ", open + 1);
    if (open == std::string::npos || close == std::string::npos) continue;
    const std::string key = line.substr(open + 1, close - open - 1);
    std::string value = line.substr(close + 3);
    if (!value.empty() && value.back() == ',') value.pop_back();
    if (key == "SourceFile") {
      current = &files[value.substr(1, value.size() - 2)];
    } else if (current != nullptr) {
      (*current)[key] = value;
    }
  }
  return files;
}

std::string Value(const TagValues& tags, const std::string& name) {
  const auto it = tags.find(name);
  return it == tags.end() ? "(none)" : it->second;
}

TEST(ExifCorpusTest, ReducedBlocksAreValidAndKeepTheCameraValues) {
  const std::vector<std::string> files = CorpusFiles();
  KEELPACK_REQUIRE_CORPUS(files);
  if (std::system("exiftool -ver > /dev/null 2>&1") != 0) GTEST_SKIP() << "exiftool is missing";

  TempDir dir;
  CapturingLogBox box;
  LogSink log(box);
  std::map<std::string, std::string> reducedFrom;  // reduced copy to its original
  int withExif = 0, removed = 0, failures = 0;
  for (const std::string& file : files) {
    const Bytes jpeg = ReadFile(file);
    const std::optional<ExifSegment> segment = FindExifSegment(jpeg);
    if (!segment) continue;
    ++withExif;
    std::vector<uint8_t> reduced;
    int useful = 0;
    const int result = ReduceExifBlock(log, false, SegmentPayload(jpeg, *segment), reduced, useful, file);
    box.lines.clear();
    if (result != 0) {
      ++failures;
      std::printf("not reduced (result %d): %s\n", result, file.c_str());
      continue;
    }
    if (useful == 0) ++removed;  // the rewriter drops such a block; it must be valid all the same
    const std::string copy = dir.File(std::to_string(reducedFrom.size()) + ".jpg");
    const auto end = jpeg.begin() + static_cast<long>(segment->start + 4 + segment->payloadLength);
    WriteFile(copy, Concat({Bytes(jpeg.begin(), jpeg.begin() + static_cast<long>(segment->start)),
                            SegmentBytes(0xE1, reduced), Bytes(end, jpeg.end())}));
    reducedFrom[copy] = file;
  }
  std::printf(
      "Exif corpus: %zu files, %d with Exif, %zu reduced, %d with no useful tag, %d failures\n",
      files.size(), withExif, reducedFrom.size(), removed, failures);
  EXPECT_EQ(failures, 0);
  ASSERT_FALSE(reducedFrom.empty());

  // exiftool starts slowly: one run over every original and every reduced copy.
  const std::string arguments = dir.File("arguments.txt");
  const std::string json = dir.File("values.json");
  {
    std::ofstream list(arguments);
    list << "-j\n-n\n-validate\n-warning\n-a\n-IFD0:" << kOrientation << "\n";
    for (const std::string& tag : kCameraTags) list << "-EXIF:" << tag << "\n";
    for (const auto& [copy, original] : reducedFrom) list << copy << "\n" << original << "\n";
  }
  // exiftool's exit status tells only whether some file had an error; the JSON says which.
  const int status = std::system(("exiftool -q -@ '" + arguments + "' > '" + json + "'").c_str());
  ASSERT_NE(status, -1) << "cannot start exiftool";
  const std::map<std::string, TagValues> values = ReadExiftoolJson(json);

  for (const auto& [copy, original] : reducedFrom) {
    SCOPED_TRACE(original);
    ASSERT_TRUE(values.count(copy) && values.count(original));
    const TagValues& before = values.at(original);
    const TagValues& after = values.at(copy);
    // -validate -n gives "errors warnings minor-warnings".
    const std::string validate = Value(after, "Validate");
    EXPECT_EQ(validate.substr(0, 3), "\"0 ") << "validation of the reduced copy: " << validate;
    EXPECT_EQ(after.count("Error"), 0u) << Value(after, "Error");
    for (const std::string& tag : kCameraTags) {
      EXPECT_EQ(Value(after, tag), Value(before, tag)) << tag;
    }
    const std::string orientation = Value(before, kOrientation);
    const bool kept = orientation != "(none)" && std::atoi(orientation.c_str()) >= 2;
    EXPECT_EQ(Value(after, kOrientation), kept ? orientation : "(none)") << kOrientation;
  }
}

}  // namespace
}  // namespace keelpack::test
