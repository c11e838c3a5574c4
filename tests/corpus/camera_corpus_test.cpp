// Every camera file of the corpus, rewritten in every Exif mode with both scans and with its
// picture data coded afresh, sequential and progressive, each with and without the turn
// upright: whatever comes out as rewritten must show exactly the pixels of the original (turned
// as its orientation asks, where it turned), must be no larger than the original, and must hold
// an Exif block that exiftool finds valid. So must the file with its own Exif block reduced,
// edited for a quarter turn and cut to the minimal block, and exiftool must read the same camera
// values from the reduced and the edited block as from the original.
//
// keelpack-cli over a copy of the corpus, in every mode: each file gets exactly the bytes of the
// rewrite in memory and shows the same pixels, keeps its time and permissions, a damaged one is
// renamed by the mask, standard input gives the same bytes, and a second run saves nothing.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>

#include "cli/cli_runner.h"
#include "cli/command_line.h"
#include "exif/orientation_exif.h"
#include "exif/reduce_exif.h"
#include "jobs/rewrite_file.h"
#include "jpeg/rewrite_jpeg.h"
#include "jpeg/turn_jpeg.h"
#include "log/log_sink.h"
#include "settings/option_set.h"
#include "support/corpus.h"
#include "support/pictures.h"
#include "support/temp_dir.h"

namespace keelpack::test {
namespace {

namespace fs = std::filesystem;

std::string Text(const Bytes& bytes) { return std::string(bytes.begin(), bytes.end()); }
std::optional<Bytes> ExifBlock(const Bytes& jpeg) {
  const std::optional<std::span<const uint8_t>> payload = ExifPayloadOf(jpeg);
  return payload ? std::optional(Bytes(payload->begin(), payload->end())) : std::nullopt;
}

// The original (its values to compare with), a rewrite, or the original with its block edited;
// with what made it.
enum class Kind { kOriginal, kRewritten, kReduced, kTurned, kMinimal };
using Copy = std::tuple<Bytes, Kind, std::string>;

TEST(CameraCorpus, RewritesInMemoryKeepPixelsNeverGrowAndHoldValidExifBlocks) {
  const std::vector<std::string> files = CorpusFiles();
  if (files.empty()) GTEST_SKIP() << "no camera corpus at " << CorpusFolder();
  CapturingLogBox box;
  LogSink log(box);
  // (`savedBy`: by optimize value, thorough scan, the Exif data reduced.)
  int64_t runs = 0, runsDone = 0, turned = 0, savedBy[3] = {};
  // For exiftool, file after file: the original with its copies, and the Exif blocks a rewrite
  // made.
  std::vector<Copy> copies;
  using enum OptimizeChoice;
  for (const std::string& file : files) {
    const Bytes original = ReadFile(file);
    const auto originalPixels = DecodePixels(original, false);
    const std::optional<Bytes> originalBlock = ExifBlock(original);
    const int orientation = originalBlock ? ExifOrientation(*originalBlock) : 0;
    std::set<Bytes> blocks;
    if (originalBlock) {
      blocks.insert(*originalBlock);
      const auto add = [&](const Bytes& block, Kind kind) {
        copies.push_back({WithExifPayload(original, block).value(), kind, file});
      };
      add(*originalBlock, Kind::kOriginal);
      // A block without useful tags is dropped by the rewriter, but must be valid.
      std::vector<uint8_t> reduced;
      int useful = 0;
      const Result<ExifReduced> done =
          ReduceExifBlock(log, false, *originalBlock, reduced, useful, file);
      EXPECT_TRUE(done && *done == ExifReduced::kReduced) << file;
      add(reduced, Kind::kReduced);
      const ThumbnailTurner turner = [](std::span<const uint8_t> thumbnail) {
        Turned t = TurnJpeg(thumbnail, 6, kHuffman);
        return t.declined.empty() ? std::optional(std::move(t.bytes)) : std::nullopt;
      };
      TurnedExif edited = ExifForTurnedPicture(log, *originalBlock, 6, turner);
      if (!edited.refused.empty()) edited = ExifForTurnedPicture(log, *originalBlock, 6, nullptr);
      add(edited.payload, Kind::kTurned);
      if (const auto minimal = MinimalExifBlock(log, *originalBlock, true, false))
        add(*minimal, Kind::kMinimal);
    }
    for (ExifChoice exifMode : {ExifChoice::kDelete, ExifChoice::kKeep, ExifChoice::kReduce}) {
      for (auto [optimize, quickScan] :
           {std::pair{kOff, true}, {kOff, false}, {kHuffman, false}, {kProgressive, false}}) {
        Bytes unturned;
        for (bool upright : {false, true}) {
          const std::string how = file + " exif " + std::to_string(static_cast<int>(exifMode)) +
                                  " optimize " + std::to_string(ChoiceNumber(optimize)) +
                                  (quickScan ? " quick" : "") + (upright ? " upright" : "");
          SCOPED_TRACE(how);
          const RewrittenBytes result = RewriteBytes(
              {.exif = exifMode, .quickScan = quickScan, .optimize = optimize, .upright = upright},
              original, file, log);
          const bool done = Rewritten(result.outcome.result);
          ++runs, runsDone += done;
          if (!done) continue;
          if (exifMode == ExifChoice::kReduce && !quickScan && !upright)
            savedBy[ChoiceNumber(optimize)] += result.outcome.saved();
          EXPECT_LE(result.bytes.size(), original.size());
          if (!upright) {
            unturned = result.bytes;
            EXPECT_EQ(DecodePixels(result.bytes, false), originalPixels.value_or(Pixels{}));
          } else if (result.outcome.turned) {
            ++turned;
            EXPECT_TRUE(TurnedFrom(original, result.bytes, orientation));
          } else {
            // Nothing to turn, or a turn declined: the file as the rewrite makes it without.
            EXPECT_EQ(result.bytes, unturned);
          }
          if (const std::optional<Bytes> block = ExifBlock(result.bytes);
              block && blocks.insert(*block).second)
            copies.push_back({result.bytes, Kind::kRewritten, how});
        }
      }
    }
  }
  EXPECT_TRUE(runsDone > runs / 2 && turned > 0);
  // Huffman tables made for the picture beat the copy, and progressive beats them.
  EXPECT_TRUE(savedBy[0] < savedBy[1] && savedBy[1] < savedBy[2]) << savedBy[1];

  Sandbox dir;
  // exiftool starts slowly: one run over every copy, one tab-separated line each: validation
  // ("errors warnings minor"), error, IFD0 orientation, then the camera values.
  if (std::system("exiftool -ver > /dev/null 2>&1") != 0) GTEST_SKIP() << "exiftool is missing";
  const std::string arguments = dir.File("arguments.txt"), table = dir.File("values.txt");
  std::string list =
      "-T\n-n\n-Validate\n-Error\n-IFD0:Orientation\n-EXIF:Model\n-EXIF:ExposureTime\n"
      "-EXIF:FNumber\n-EXIF:ISO\n-EXIF:MaxApertureValue\n-EXIF:FocalLengthIn35mmFormat\n";
  for (size_t i = 0; i < copies.size(); ++i) {
    WriteFile(dir.File(std::to_string(i) + ".jpg"), std::get<Bytes>(copies[i]));
    list += dir.File(std::to_string(i) + ".jpg") + "\n";
  }
  ASSERT_FALSE(copies.empty());
  WriteFile(arguments, ToBytes(list));
  ASSERT_NE(std::system(("exiftool -q -@ '" + arguments + "' > '" + table + "'").c_str()), -1);
  std::ifstream in(table);
  std::vector<std::string> before;  // the values of the last original
  for (const auto& [jpeg, kind, how] : copies) {
    SCOPED_TRACE(how + " " + std::to_string(static_cast<int>(kind)));
    std::vector<std::string> after(9);
    for (size_t i = 0; i < after.size(); ++i)
      std::getline(in, after[i], i + 1 < after.size() ? '\t' : '\n');
    if (kind == Kind::kOriginal) before = after;
    if (kind == Kind::kOriginal) continue;
    EXPECT_EQ(after[0].substr(0, 2), "0 ") << "validation of the copy: " << after[0];
    EXPECT_EQ(after[1], "-") << after[1];
    if (kind == Kind::kRewritten) continue;
    // The thumbnail directory may have its own orientation, which the reduction leaves out.
    const std::string kept = std::atoi(before[2].c_str()) >= 2 ? before[2] : "-";
    EXPECT_EQ(after[2], kind == Kind::kTurned ? (before[2] == "-" ? "-" : "1") : kept);
    const std::vector<std::string> camera(after.begin() + 3, after.end());
    EXPECT_EQ(camera, kind == Kind::kMinimal ? std::vector<std::string>(camera.size(), "-")
                                             : std::vector(before.begin() + 3, before.end()));
  }
}

// A test of its own, so that it runs beside the rewrites in memory.
TEST(CameraCorpus, TheCliGivesEachFileItsRewriteInMemoryAndKeepsTimesAndModes) {
  const std::vector<std::string> files = CorpusFiles();
  if (files.empty()) GTEST_SKIP() << "no camera corpus at " << CorpusFolder();
  CapturingLogBox box;
  LogSink log(box);

  Sandbox dir;
  const std::string tree = dir.File("camera");
  constexpr unsigned kModes[] = {0644, 0600, 0444, 0640, 0755};
  // clang-format off
  for (std::vector<std::string> mode : std::vector<std::vector<std::string>>{
           {"--slow"}, {"--exif", "keep"}, {"--exif", "reduce"}, {"--exif", "delete"},
           {"--slow", "--icc", "keep"}, {"--dpi", "--optimize", "--icc", "remove"},
           {"--exif", "delete", "--progressive"}}) {
    // clang-format on
    SCOPED_TRACE(::testing::PrintToString(mode));
    fs::remove_all(tree), fs::copy(CorpusFolder(), tree, fs::copy_options::recursive);
    // The corpus may come without write bits; a user's own folders have them. The files get
    // modes, and times from 2000-01-01 on, an hour and some nanoseconds apart.
    ASSERT_EQ(std::system(("chmod -R u+rwX '" + tree + "'").c_str()), 0);
    int64_t n = 0;
    for (const auto& entry : fs::recursive_directory_iterator(tree)) {
      if (!entry.is_regular_file()) continue;
      fs::permissions(entry.path(), static_cast<fs::perms>(kModes[++n % 5]));
      const std::chrono::sys_time<std::chrono::nanoseconds> time{
          std::chrono::nanoseconds((946'684'800 + n * 3600) * 1'000'000'000 + n * 7919)};
      fs::last_write_time(entry.path(), std::chrono::file_clock::from_sys(time));
    }
    const auto originals = Snapshot(tree);
    ASSERT_EQ(originals.size(), files.size());
    mode.push_back(tree);
    std::vector<const char*> argv{cli::kCliName};
    for (const std::string& arg : mode) argv.push_back(arg.c_str());
    const RewriteOptions options = RewriteOptionsFor(
        cli::ParseCommandLine(static_cast<int>(argv.size()), argv.data()).request.value().options);
    const CliResult first = RunCli(mode);
    const auto after = Snapshot(tree);
    long long reduced = 0, renamed = 0, saved = 0;
    for (const auto& [name, original] : originals) {
      SCOPED_TRACE(name);
      const RewrittenBytes expected = RewriteBytes(options, original.bytes, name, log);
      const bool rewritten = Rewritten(expected.outcome.result);
      // The quick scan trusts a final end marker and so passes some damage on; the thorough one
      // finds all that the decoder reports as an error or a warning.
      const bool strict = DecodePixels(original.bytes, true).has_value();
      EXPECT_TRUE(options.quickScan || rewritten == strict);
      fs::path kept = name;
      if (!rewritten) kept.replace_filename("_corrupted_" + kept.filename().string());
      ASSERT_TRUE(after.contains(kept) && (rewritten || !after.contains(name)));
      const FileState& now = after.at(kept);
      EXPECT_EQ(now.bytes, rewritten ? expected.bytes : original.bytes);
      EXPECT_EQ(DecodePixels(now.bytes, strict), DecodePixels(original.bytes, false));
      EXPECT_EQ(std::pair(now.mtimeNs, now.mode), std::pair(original.mtimeNs, original.mode));
      EXPECT_LE(now.bytes.size(), original.bytes.size());
      saved += static_cast<long long>(original.bytes.size() - now.bytes.size());
      reduced += now.bytes.size() < original.bytes.size(), renamed += !rewritten;
      mode.back() = "-";
      const CliResult piped = RunCli(mode, Text(original.bytes));
      EXPECT_EQ(piped.exitStatus, rewritten ? 0 : 1);
      EXPECT_EQ(piped.out, rewritten ? Text(expected.bytes) : "");
    }
    EXPECT_EQ(after.size(), originals.size()) << "a work file was left behind, or a file vanished";
    EXPECT_EQ(first.exitStatus, renamed > 0 ? 1 : 0) << first.out << first.err;
    // The summaries of both runs: the second one finds nothing left to save and changes nothing.
    mode.back() = tree;
    const auto summaries = Summaries(first.out + RunCli(mode).out);
    ASSERT_EQ(summaries.size(), 2u) << first.out;
    EXPECT_EQ(summaries[0], Summary(originals.size(), reduced, saved));
    EXPECT_EQ(summaries[1], Summary(originals.size(), 0, 0));
    EXPECT_EQ(Snapshot(tree), after);
  }
}

}  // namespace
}  // namespace keelpack::test
