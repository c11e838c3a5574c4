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
  std::map<int, int> results;
  int runs = 0;
  int compared = 0;

  for (const std::string& file : files) {
    const Bytes original = ReadFile(file);
    const auto originalPixels = DecodePixels(original, false);
    for (int exifMode : {kExifModeRemove, kExifModeKeep, kExifModeReduce}) {
      for (bool quickScan : {true, false}) {
        // The rewriter may repair its input in place, so it works on a copy.
        const std::string in = dir.File("in.jpg");
        const std::string out = dir.File("out.jpg");
        WriteFile(in, original);
        const int result = RewriteJpeg({log, options, totals}, in, out,
                                       kDefaultRemoveList, exifMode, quickScan);
        ++runs;
        ++results[result > kDamaged ? 3 : result];
        if (result != kRewritten) {
          std::printf("  %s: result %d (exif mode %d, %s scan)\n", file.c_str(), result, exifMode,
                      quickScan ? "quick" : "thorough");
          continue;
        }
        const auto pixels = DecodePixels(ReadFile(out), false);
        ASSERT_TRUE(pixels) << file << " exif mode " << exifMode << (quickScan ? " quick" : " thorough");
        ASSERT_TRUE(originalPixels) << file;
        EXPECT_EQ(*pixels, *originalPixels)
            << file << " exif mode " << exifMode << (quickScan ? " quick" : " thorough");
        ++compared;
      }
    }
  }
  std::printf("corpus: %zu files, %d rewrites: %d rewritten (pixels identical: %d), %d not JPEG, "
              "%d damaged, %d failed; %.0f bytes saved\n",
              files.size(), runs, results[kRewritten], compared, results[kNotJpeg],
              results[kDamaged], results[3], totals.bytesSaved);
  EXPECT_GT(results[kRewritten], runs / 2);
}

}  // namespace
}  // namespace keelpack::test
