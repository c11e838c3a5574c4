// keelpack-cli over a copy of the camera corpus: what it rewrites shows the same pixels and
// keeps its time and permissions, what is damaged is renamed by the mask, and a second run
// finds nothing left to save.
#include <gtest/gtest.h>

#include <filesystem>

#include "cli/cli_runner.h"
#include "support/corpus.h"
#include "support/pictures.h"
#include "support/temp_dir.h"

namespace keelpack::test {
namespace {

namespace fs = std::filesystem;

constexpr unsigned kModes[] = {0644, 0600, 0444, 0640, 0755};
constexpr int64_t kNanosPerSecond = 1'000'000'000;
constexpr int64_t kOldTime = 946'684'800 * kNanosPerSecond;  // 2000-01-01
constexpr const char* kMaskPrefix = "_corrupted_";

struct Original {
  FileState state;
  std::optional<Pixels> pixels;  // as a forgiving decoder sees them
  bool damaged = false;          // the decoder reports an error or a warning
};

std::string MaskedName(const std::string& relative) {
  const fs::path path(relative);
  return (path.parent_path() / (kMaskPrefix + path.filename().string())).string();
}

TEST(CliCorpus, RewritesKeepPixelsTimesAndModesDamagedFilesAreRenamedAndASecondRunSavesNothing) {
  const std::vector<std::string> files = CorpusFiles();
  KEELPACK_REQUIRE_CORPUS(files);

  TempDir dir;
  const std::string tree = dir.File("camera");
  fs::copy(CorpusFolder(), tree, fs::copy_options::recursive);
  // The corpus may come without write bits; a user's own folders have them.
  fs::permissions(tree, fs::perms::owner_all, fs::perm_options::add);
  std::map<std::string, Original> originals;
  int index = 0;
  for (const auto& entry : fs::recursive_directory_iterator(tree)) {
    if (entry.is_directory())
      fs::permissions(entry.path(), fs::perms::owner_all, fs::perm_options::add);
    if (!entry.is_regular_file()) continue;
    const unsigned mode = kModes[index % std::size(kModes)];
    SetModeAndTime(entry.path(), mode, kOldTime + index * 3600 * kNanosPerSecond + index * 7919);
    ++index;
  }
  for (const auto& [name, state] : Snapshot(tree)) {
    originals[name] = {state, DecodePixels(state.bytes, false), !DecodePixels(state.bytes, true)};
  }
  ASSERT_EQ(originals.size(), files.size());

  // The thorough scan: the quick one trusts a final end marker and so passes some damage on.
  const CliCall call{{"--slow", tree}, dir.File("config"), dir.File("cache")};
  const CliResult first = RunCli(call);
  const auto after = Snapshot(tree);

  int rewritten = 0, renamed = 0, reduced = 0;
  long long saved = 0;
  for (const auto& [name, original] : originals) {
    SCOPED_TRACE(name);
    if (original.damaged) {
      EXPECT_FALSE(after.contains(name));
      ASSERT_TRUE(after.contains(MaskedName(name)));
      EXPECT_EQ(after.at(MaskedName(name)).bytes, original.state.bytes);
      ++renamed;
      continue;
    }
    ASSERT_TRUE(after.contains(name));
    const FileState& now = after.at(name);
    const auto pixels = DecodePixels(now.bytes, true);
    ASSERT_TRUE(pixels) << "the rewritten file does not decode cleanly";
    EXPECT_EQ(pixels, original.pixels);
    EXPECT_EQ(now.mtimeNs, original.state.mtimeNs);
    EXPECT_EQ(now.mode, original.state.mode);
    EXPECT_LE(now.bytes.size(), original.state.bytes.size());
    saved += static_cast<long long>(original.state.bytes.size() - now.bytes.size());
    reduced += now.bytes.size() < original.state.bytes.size();
    ++rewritten;
  }
  EXPECT_EQ(after.size(), originals.size()) << "a work file was left behind, or a file vanished";
  EXPECT_EQ(first.exitStatus, renamed > 0 ? 1 : 0) << first.out << first.err;
  const auto summaries = Summaries(first.out);
  ASSERT_EQ(summaries.size(), 1u) << first.out;
  EXPECT_EQ(summaries[0].files, static_cast<long>(originals.size()));
  EXPECT_EQ(summaries[0].reduced, reduced);
  EXPECT_EQ(summaries[0].bytesSaved, saved);

  const CliResult second = RunCli(call);
  const auto again = Snapshot(tree);
  const auto secondSummaries = Summaries(second.out);
  ASSERT_EQ(secondSummaries.size(), 1u) << second.out;
  EXPECT_EQ(secondSummaries[0].reduced, 0);
  EXPECT_EQ(secondSummaries[0].bytesSaved, 0);
  for (const auto& [name, original] : originals) {
    if (!original.damaged) {
      EXPECT_EQ(again.at(name), after.at(name)) << name;
    }
  }

  std::printf(
      "cli corpus: %zu files: %d rewritten with the same pixels, time and mode (%d smaller, "
      "%lld bytes saved), %d damaged renamed by the mask; second run saved %lld bytes\n",
      originals.size(), rewritten, reduced, saved, renamed, secondSummaries[0].bytesSaved);
}

}  // namespace
}  // namespace keelpack::test
