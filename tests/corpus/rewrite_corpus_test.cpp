// Every camera file of the corpus, rewritten in every Exif mode with both scans and with its
// picture data coded afresh, sequential and progressive, each with and without the turn
// upright: whatever comes out as rewritten must show exactly the pixels of the original (turned
// as its orientation asks, where it turned), must be no larger than the original, and must hold
// an Exif block that exiftool finds valid.
#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <mutex>
#include <set>
#include <thread>

#include "exif/orientation_exif.h"
#include "jpeg/rewrite_jpeg.h"
#include "jpeg/turn_jpeg.h"
#include "log/log_sink.h"
#include "settings/option_set.h"
#include "support/corpus.h"
#include "support/pictures.h"
#include "support/temp_dir.h"

namespace keelpack::test {
namespace {

std::optional<Bytes> ExifBlock(const Bytes& jpeg) {
  const std::optional<std::span<const uint8_t>> payload = ExifPayloadOf(jpeg);
  return payload ? std::optional(Bytes(payload->begin(), payload->end())) : std::nullopt;
}

// What the rewrites of the corpus came to, counted by the threads that check the files.
struct Tally {
  std::atomic<int> runs = 0, rewritten = 0, oriented = 0, turnedFiles = 0, turned = 0;
  std::atomic<double> saved[3] = {};  // by optimize value, thorough scan, the Exif data reduced
  // Each file's Exif blocks that a rewrite made: a rewritten form holding it, and its source.
  std::mutex mutex;
  std::vector<std::pair<Bytes, std::string>> made;
};

void CheckFile(const std::string& file, Tally& tally) {
  CapturingLogBox box;
  LogSink log(box);
  const Bytes original = ReadFile(file);
  const auto originalPixels = DecodePixels(original, false);
  const std::optional<Bytes> originalBlock = ExifBlock(original);
  const int orientation = originalBlock ? ExifOrientation(*originalBlock) : 0;
  tally.oriented += orientation >= 2;
  std::set<Bytes> blocks;
  if (originalBlock) blocks.insert(*originalBlock);
  bool fileTurned = false;
  for (ExifChoice exifMode : {ExifChoice::kDelete, ExifChoice::kKeep, ExifChoice::kReduce}) {
    for (auto [optimize, quickScan] : {std::pair{OptimizeChoice::kOff, true},
                                       {OptimizeChoice::kOff, false},
                                       {OptimizeChoice::kHuffman, false},
                                       {OptimizeChoice::kProgressive, false}}) {
      Bytes unturned;
      for (bool upright : {false, true}) {
        SCOPED_TRACE(testing::Message()
                     << file << " exif " << static_cast<int>(exifMode) << " optimize "
                     << ChoiceNumber(optimize) << " quick " << quickScan << " upright " << upright);
        const RewrittenBytes result = RewriteBytes(
            {.exif = exifMode, .quickScan = quickScan, .optimize = optimize, .upright = upright},
            original, file, log);
        const bool done = result.outcome.result.rewritten();
        ++tally.runs, tally.rewritten += done;
        if (!done) continue;
        if (exifMode == ExifChoice::kReduce && !quickScan && !upright)
          tally.saved[ChoiceNumber(optimize)] += static_cast<double>(result.outcome.saved());
        EXPECT_LE(result.bytes.size(), original.size());
        if (!upright) {
          unturned = result.bytes;
          EXPECT_EQ(DecodePixels(result.bytes, false), originalPixels.value_or(Pixels{}));
        } else if (result.outcome.turned) {
          tally.turned += 1, fileTurned = true;
          EXPECT_TRUE(TurnedFrom(original, result.bytes, orientation));
        } else {
          // Nothing to turn, or a turn declined: the file as the rewrite makes it without.
          EXPECT_EQ(result.bytes, unturned);
        }
        if (const std::optional<Bytes> block = ExifBlock(result.bytes);
            block && blocks.insert(*block).second) {
          const std::lock_guard lock(tally.mutex);
          tally.made.emplace_back(result.bytes, file + " exif " +
                                                    std::to_string(static_cast<int>(exifMode)) +
                                                    (upright ? " upright" : ""));
        }
      }
    }
  }
  tally.turnedFiles += fileTurned;
}

TEST(RewriteCorpus, RewrittenFilesKeepTheirPixelsNeverGrowAndHoldValidExifBlocks) {
  const std::vector<std::string> files = CorpusFiles();
  KEELPACK_REQUIRE_CORPUS(files);

  // The files are shared out among the processor's cores.
  Tally all;
  std::atomic<size_t> next = 0;
  {
    std::vector<std::jthread> workers(std::max(1u, std::thread::hardware_concurrency()));
    for (std::jthread& worker : workers)
      worker = std::jthread([&] {
        for (size_t i; (i = next++) < files.size();) CheckFile(files[i], all);
      });
  }
  std::printf(
      "corpus: %d of %d rewrites done; %d of %d files with an orientation turned, in %d rewrites; "
      "saved: copy %.0f, optimised %.0f, progressive %.0f bytes\n",
      all.rewritten.load(), all.runs.load(), all.turnedFiles.load(), all.oriented.load(),
      all.turned.load(), all.saved[0].load(), all.saved[1].load(), all.saved[2].load());
  EXPECT_GT(all.rewritten.load(), all.runs.load() / 2);
  EXPECT_GT(all.turnedFiles.load(), 0);
  EXPECT_GT(all.saved[1].load(),
            all.saved[0].load());  // Huffman tables made for the picture beat the copy
  EXPECT_GT(all.saved[2].load(), all.saved[1].load());  // and progressive beats them

  // exiftool starts slowly: one run over every block made, one line each with the validation
  // ("errors warnings minor") and the error it reports.
  if (std::system("exiftool -ver > /dev/null 2>&1") != 0) GTEST_SKIP() << "exiftool is missing";
  ASSERT_FALSE(all.made.empty());
  TempDir dir;
  const std::string arguments = dir.File("arguments.txt"), table = dir.File("validation.txt");
  std::string list = "-T\n-n\n-Validate\n-Error\n";
  for (size_t i = 0; i < all.made.size(); ++i) {
    WriteFile(dir.File(std::to_string(i) + ".jpg"), all.made[i].first);
    list += dir.File(std::to_string(i) + ".jpg") + "\n";
  }
  WriteFile(arguments, ToBytes(list));
  ASSERT_NE(std::system(("exiftool -q -@ '" + arguments + "' > '" + table + "'").c_str()), -1);
  std::ifstream in(table);
  for (const auto& [copy, source] : all.made) {
    std::string validation, error;
    std::getline(in, validation, '\t');
    std::getline(in, error);
    EXPECT_EQ(validation.substr(0, 2), "0 ") << source << ": " << validation;
    EXPECT_EQ(error, "-") << source;
  }
}

}  // namespace
}  // namespace keelpack::test
