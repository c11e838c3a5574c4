// Every camera file of the corpus, rewritten in every Exif mode with both scans: whatever
// comes out as rewritten must show exactly the pixels of the original.
#include <gtest/gtest.h>

#include <map>

#include "support/corpus.h"
#include "jpeg/rewrite_jpeg.h"
#include "log/log_sink.h"
#include "settings/option_set.h"
#include "support/pictures.h"
#include "support/temp_dir.h"

namespace keelpack::test {
namespace {

TEST(RewriteCorpus, RewrittenFilesDecodeToTheOriginalPixels) {
  const std::vector<std::string> files = CorpusFiles();
  KEELPACK_REQUIRE_CORPUS(files);

  Sandbox dir;
  CapturingLogBox box;
  LogSink log(box);
  OptionSet options;
  RewriteTotals totals;
  std::map<RewriteResult::Kind, int> results;
  int runs = 0;
  int compared = 0;

  for (const std::string& file : files) {
    const Bytes original = ReadFile(file);
    const auto originalPixels = DecodePixels(original, false);
    for (ExifMode exifMode : {ExifMode::kRemove, ExifMode::kKeep, ExifMode::kReduce}) {
      for (bool quickScan : {true, false}) {
        // The rewriter may repair its input in place, so it works on a copy.
        const std::string in = dir.File("in.jpg");
        const std::string out = dir.File("out.jpg");
        WriteFile(in, original);
        const RewriteResult result = RewriteJpeg({log, options, totals}, in, out,
                                                 kDefaultRemoveList, exifMode, quickScan);
        ++runs;
        ++results[result.kind];
        if (!result.rewritten()) {
          std::printf("  %s: result %d (exif mode %d, %s scan)\n", file.c_str(), result.code(),
                      static_cast<int>(exifMode),
                      quickScan ? "quick" : "thorough");
          continue;
        }
        const auto pixels = DecodePixels(ReadFile(out), false);
        ASSERT_TRUE(pixels) << file << " exif mode " << static_cast<int>(exifMode) << (quickScan ? " quick" : " thorough");
        ASSERT_TRUE(originalPixels) << file;
        EXPECT_EQ(*pixels, *originalPixels)
            << file << " exif mode " << static_cast<int>(exifMode) << (quickScan ? " quick" : " thorough");
        ++compared;
      }
    }
  }
  std::printf("corpus: %zu files, %d rewrites: %d rewritten (pixels identical: %d), %d not JPEG, "
              "%d damaged, %d failed; %.0f bytes saved\n",
              files.size(), runs, results[RewriteResult::Kind::kRewritten], compared, results[RewriteResult::Kind::kNotJpeg],
              results[RewriteResult::Kind::kDamaged], results[RewriteResult::Kind::kFailed], totals.bytesSaved);
  EXPECT_GT(results[RewriteResult::Kind::kRewritten], runs / 2);
}

}  // namespace
}  // namespace keelpack::test
