// Every camera file of the corpus, rewritten with its picture data coded afresh, sequential
// and progressive, in every Exif mode: what comes out as rewritten shows exactly the pixels
// of the original. Prints what each way saves with the Exif data reduced to its useful tags.
#include <gtest/gtest.h>

#include <chrono>

#include "jpeg/rewrite_jpeg.h"
#include "log/log_sink.h"
#include "settings/option_set.h"
#include "support/corpus.h"
#include "support/pictures.h"
#include "support/temp_dir.h"

namespace keelpack::test {
namespace {

TEST(ReencodeCorpus, ReencodedFilesDecodeToTheOriginalPixels) {
  const std::vector<std::string> files = CorpusFiles();
  KEELPACK_REQUIRE_CORPUS(files);

  Sandbox dir;
  CapturingLogBox box;
  LogSink log(box);
  const std::string in = dir.File("in.jpg");
  const std::string out = dir.File("out.jpg");
  double input = 0;
  double saved[3] = {};  // by optimize value, with the Exif data reduced
  double seconds[3] = {};

  for (const std::string& file : files) {
    const Bytes original = ReadFile(file);
    const auto originalPixels = DecodePixels(original, false);
    input += static_cast<double>(original.size());
    for (ExifMode exifMode : {ExifMode::kRemove, ExifMode::kKeep, ExifMode::kReduce}) {
      for (OptimizeChoice optimize : {OptimizeChoice::kOff, OptimizeChoice::kHuffman, OptimizeChoice::kProgressive}) {
        if (optimize == OptimizeChoice::kOff && exifMode != ExifMode::kReduce) continue;
        OptionSet options;
        options.optimize = optimize;
        RewriteTotals totals;
        WriteFile(in, original);
        const auto start = std::chrono::steady_clock::now();
        const RewriteResult result = RewriteJpeg({log, options, totals}, in, out, kDefaultRemoveList,
                                       exifMode, false);
        if (exifMode == ExifMode::kReduce) {
          seconds[ChoiceNumber(optimize)] += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
          saved[ChoiceNumber(optimize)] += totals.bytesSaved;
        }
        if (!result.rewritten() || optimize == OptimizeChoice::kOff) continue;
        ASSERT_TRUE(originalPixels) << file;
        EXPECT_EQ(DecodePixels(ReadFile(out), false), originalPixels)
            << file << " exif mode " << static_cast<int>(exifMode) << " optimize " << ChoiceNumber(optimize);
      }
    }
  }
  std::printf("corpus: %zu files, %.0f bytes; with the Exif data reduced, saved: copy %.2f%% (%.1f s), "
              "optimised %.2f%% (%.1f s), progressive %.2f%% (%.1f s)\n",
              files.size(), input, 100 * saved[0] / input, seconds[0], 100 * saved[1] / input, seconds[1],
              100 * saved[2] / input, seconds[2]);
  EXPECT_GT(saved[ChoiceNumber(OptimizeChoice::kHuffman)], saved[ChoiceNumber(OptimizeChoice::kOff)]);
  EXPECT_GT(saved[ChoiceNumber(OptimizeChoice::kProgressive)], saved[ChoiceNumber(OptimizeChoice::kHuffman)]);
}

}  // namespace
}  // namespace keelpack::test
