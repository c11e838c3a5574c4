// Every camera file of the corpus, rewritten in every Exif mode with both scans and with its
// picture data coded afresh, sequential and progressive: whatever comes out as rewritten must
// show exactly the pixels of the original.
#include <gtest/gtest.h>

#include "jpeg/rewrite_jpeg.h"
#include "log/log_sink.h"
#include "settings/option_set.h"
#include "support/corpus.h"
#include "support/pictures.h"
#include "support/temp_dir.h"

namespace keelpack::test {
namespace {

TEST(RewriteCorpus, RewrittenFilesDecodeToTheOriginalPixels) {
  const std::vector<std::string> files = CorpusFiles();
  KEELPACK_REQUIRE_CORPUS(files);

  CapturingLogBox box;
  LogSink log(box);
  int runs = 0, rewritten = 0;
  double saved[3] = {};  // by optimize value, thorough scan, the Exif data reduced
  for (const std::string& file : files) {
    const Bytes original = ReadFile(file);
    const auto originalPixels = DecodePixels(original, false);
    for (ExifMode exifMode : {ExifMode::kRemove, ExifMode::kKeep, ExifMode::kReduce}) {
      for (auto [optimize, quickScan] : {std::pair{OptimizeChoice::kOff, true}, {OptimizeChoice::kOff, false},
                                         {OptimizeChoice::kHuffman, false}, {OptimizeChoice::kProgressive, false}}) {
        SCOPED_TRACE(testing::Message() << file << " exif " << static_cast<int>(exifMode) << " optimize " << ChoiceNumber(optimize) << " quick " << quickScan);
        const RewrittenBytes result = RewriteBytes({.exifMode = exifMode, .quickScan = quickScan, .optimize = optimize}, original, file, log);
        const bool done = result.outcome.result.rewritten();
        if (exifMode == ExifMode::kReduce && !quickScan && done) saved[ChoiceNumber(optimize)] += static_cast<double>(result.outcome.saved());
        ++runs, rewritten += done;
        EXPECT_TRUE(!done || DecodePixels(result.bytes, false) == originalPixels.value_or(Pixels{}));
      }
    }
  }
  std::printf("corpus: %d of %d rewrites done; saved: copy %.0f, optimised %.0f, progressive %.0f bytes\n", rewritten, runs, saved[0], saved[1], saved[2]);
  EXPECT_GT(rewritten, runs / 2);
  EXPECT_GT(saved[1], saved[0]);  // Huffman tables made for the picture beat the copy
  EXPECT_GT(saved[2], saved[1]);  // and progressive beats them
}

}  // namespace
}  // namespace keelpack::test
