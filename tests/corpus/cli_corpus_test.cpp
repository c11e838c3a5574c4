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

TEST(CliCorpus, RewritesKeepPixelsTimesAndModesDamagedFilesAreRenamedAndASecondRunSavesNothing) {
  const std::vector<std::string> files = CorpusFiles();
  KEELPACK_REQUIRE_CORPUS(files);

  TempDir dir;
  const std::string tree = dir.File("camera");
  fs::copy(CorpusFolder(), tree, fs::copy_options::recursive);
  // The corpus may come without write bits; a user's own folders have them.
  fs::permissions(tree, fs::perms::owner_all, fs::perm_options::add);
  int64_t index = 0;
  for (const auto& entry : fs::recursive_directory_iterator(tree)) {
    if (entry.is_directory()) fs::permissions(entry.path(), fs::perms::owner_all, fs::perm_options::add);
    constexpr unsigned kModes[] = {0644, 0600, 0444, 0640, 0755};
    if (!entry.is_regular_file()) continue;  // from 2000-01-01 on, an hour and some nanoseconds apart
    SetModeAndTime(entry.path(), kModes[index % 5], (946'684'800 + index * 3600) * 1'000'000'000 + index * 7919);
    ++index;
  }
  const auto originals = Snapshot(tree);
  ASSERT_EQ(originals.size(), files.size());

  // The thorough scan: the quick one trusts a final end marker and so passes some damage on.
  const CliCall call{{"--slow", tree}, dir.File("config"), dir.File("cache")};
  const CliResult first = RunCli(call);
  const auto after = Snapshot(tree);
  long reduced = 0, renamed = 0;
  long long saved = 0;
  for (const auto& [name, original] : originals) {
    SCOPED_TRACE(name);
    if (!DecodePixels(original.bytes, true)) {  // the decoder reports an error or a warning
      const std::string masked = (fs::path(name).parent_path() / ("_corrupted_" + fs::path(name).filename().string())).string();
      EXPECT_FALSE(after.contains(name));
      EXPECT_EQ(after.contains(masked) ? after.at(masked).bytes : Bytes{}, original.bytes);
      ++renamed;
      continue;
    }
    ASSERT_TRUE(after.contains(name));
    const FileState& now = after.at(name);
    EXPECT_EQ(DecodePixels(now.bytes, true), DecodePixels(original.bytes, false));
    EXPECT_EQ(std::pair(now.mtimeNs, now.mode), std::pair(original.mtimeNs, original.mode));
    EXPECT_LE(now.bytes.size(), original.bytes.size());
    saved += static_cast<long long>(original.bytes.size() - now.bytes.size());
    reduced += now.bytes.size() < original.bytes.size();
  }
  EXPECT_EQ(after.size(), originals.size()) << "a work file was left behind, or a file vanished";
  EXPECT_EQ(first.exitStatus, renamed > 0 ? 1 : 0) << first.out << first.err;
  const auto summaries = Summaries(first.out);
  ASSERT_EQ(summaries.size(), 1u) << first.out;
  EXPECT_EQ(summaries[0].files, static_cast<long>(originals.size()));
  EXPECT_EQ(std::pair(summaries[0].reduced, summaries[0].bytesSaved), std::pair(reduced, saved));

  const auto second = Summaries(RunCli(call).out);
  ASSERT_EQ(second.size(), 1u);
  EXPECT_EQ(std::pair(second[0].reduced, second[0].bytesSaved), std::pair(0L, 0LL));
  EXPECT_EQ(Snapshot(tree), after);
  std::printf("cli corpus: %zu files, %ld smaller (%lld bytes saved), %ld damaged renamed\n", originals.size(), reduced,
              saved, renamed);
}

}  // namespace
}  // namespace keelpack::test
