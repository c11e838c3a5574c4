// keelpack-cli over a copy of the camera corpus: what it rewrites shows the same pixels and
// keeps its time and permissions, what is damaged is renamed by the mask, a second run finds
// nothing left to save; in every mode, the file job and standard input give the bytes of the
// rewrite in memory.
#include <gtest/gtest.h>

#include <filesystem>

#include "cli/cli_runner.h"
#include "cli/command_line.h"
#include "jobs/rewrite_file.h"
#include "support/corpus.h"
#include "support/pictures.h"
#include "support/temp_dir.h"

namespace keelpack::test {
namespace {

namespace fs = std::filesystem;

TEST(CliCorpus, RewritesKeepPixelsTimesAndModesDamagedFilesAreRenamedAndASecondRunSavesNothing) {
  const std::vector<std::string> files = CorpusFiles();
  KEELPACK_REQUIRE_CORPUS(files);

  Sandbox dir;
  const std::string tree = dir.File("camera");
  fs::copy(CorpusFolder(), tree, fs::copy_options::recursive);
  // The corpus may come without write bits; a user's own folders have them.
  fs::permissions(tree, fs::perms::owner_all, fs::perm_options::add);
  int64_t n = 0;
  constexpr unsigned kModes[] = {0644, 0600, 0444, 0640, 0755};
  for (const auto& entry : fs::recursive_directory_iterator(tree)) {
    if (entry.is_directory())
      fs::permissions(entry.path(), fs::perms::owner_all, fs::perm_options::add);
    // From 2000-01-01 on, an hour and some nanoseconds apart.
    else if (++n; entry.is_regular_file()) {
      fs::permissions(entry.path(), static_cast<fs::perms>(kModes[n % 5]));
      const std::chrono::sys_time<std::chrono::nanoseconds> time{
          std::chrono::nanoseconds((946'684'800 + n * 3600) * 1'000'000'000 + n * 7919)};
      fs::last_write_time(entry.path(), std::chrono::file_clock::from_sys(time));
    }
  }
  const auto originals = Snapshot(tree);
  ASSERT_EQ(originals.size(), files.size());

  // The thorough scan: the quick one trusts a final end marker and so passes some damage on.
  const CliResult first = RunCli({"--slow", tree});
  const auto after = Snapshot(tree);
  long reduced = 0, renamed = 0;
  long long saved = 0;
  for (const auto& [name, original] : originals) {
    SCOPED_TRACE(name);
    // A file the decoder reports an error or a warning for is damaged: renamed by the mask, as it
    // was.
    const bool damaged = !DecodePixels(original.bytes, true);
    const std::string kept =
        damaged
            ? (fs::path(name).parent_path() / ("_corrupted_" + fs::path(name).filename().string()))
                  .string()
            : name;
    ASSERT_TRUE(after.contains(kept) && !(damaged && after.contains(name)));
    const FileState& now = after.at(kept);
    EXPECT_EQ(DecodePixels(now.bytes, !damaged), DecodePixels(original.bytes, false));
    EXPECT_TRUE(!damaged || now.bytes == original.bytes);
    EXPECT_EQ(std::pair(now.mtimeNs, now.mode), std::pair(original.mtimeNs, original.mode));
    EXPECT_LE(now.bytes.size(), original.bytes.size());
    saved += static_cast<long long>(original.bytes.size() - now.bytes.size());
    reduced += now.bytes.size() < original.bytes.size(), renamed += damaged;
  }
  EXPECT_EQ(after.size(), originals.size()) << "a work file was left behind, or a file vanished";
  EXPECT_EQ(first.exitStatus, renamed > 0 ? 1 : 0) << first.out << first.err;
  // The summaries of both runs: the second one finds nothing left to save and changes nothing.
  const auto summaries = Summaries(first.out + RunCli({"--slow", tree}).out);
  ASSERT_EQ(summaries.size(), 2u) << first.out;
  EXPECT_EQ(summaries[0], Summary(originals.size(), reduced, saved));
  EXPECT_EQ(summaries[1], Summary(originals.size(), 0, 0));
  EXPECT_EQ(Snapshot(tree), after);
}

// Whatever the mode, a file rewritten in place and a picture sent through standard input get
// exactly the bytes of the rewrite in memory; what that does not rewrite, neither touches.
TEST(CliCorpus, TheFileJobAndStandardInputGiveTheBytesOfTheRewriteInMemory) {
  const std::vector<std::string> files = CorpusFiles();
  KEELPACK_REQUIRE_CORPUS(files);
  Sandbox dir;
  CapturingLogBox box;
  LogSink log(box);
  const std::string tree = dir.File("camera");
  for (std::vector<std::string> mode :
       std::vector<std::vector<std::string>>{{"--exif", "keep"},
                                             {"--exif", "reduce"},
                                             {"--exif", "delete"},
                                             {"--slow", "--icc", "keep"},
                                             {"--dpi", "--optimize", "--icc", "remove"},
                                             {"--exif", "delete", "--progressive"}}) {
    SCOPED_TRACE(::testing::PrintToString(mode));
    fs::remove_all(tree);
    fs::copy(CorpusFolder(), tree, fs::copy_options::recursive);
    for (const auto& entry : fs::recursive_directory_iterator(tree))
      fs::permissions(entry.path(), fs::perms::owner_all, fs::perm_options::add);
    mode.push_back("-");
    std::vector<const char*> argv{cli::kCliName};
    for (const std::string& arg : mode) argv.push_back(arg.c_str());
    const RewriteOptions options = RewriteOptionsFor(
        cli::ParseCommandLine(static_cast<int>(argv.size()), argv.data()).request.value().options);
    std::vector<std::string> args(mode.begin(), mode.end() - 1);
    args.insert(args.end(), {"--corrupted", "ignore", tree});
    RunCli(args);
    for (const std::string& file : files) {
      SCOPED_TRACE(file);
      const Bytes original = ReadFile(file);
      const RewrittenBytes expected = RewriteBytes(options, original, file, log);
      const bool rewritten = expected.outcome.result.rewritten();
      EXPECT_EQ(ReadFile(tree + "/" + fs::relative(file, CorpusFolder()).string()),
                rewritten ? expected.bytes : original);
      const CliResult piped = RunCli(mode, std::string(original.begin(), original.end()));
      EXPECT_EQ(piped.exitStatus, rewritten ? 0 : 1);
      EXPECT_EQ(piped.out,
                rewritten ? std::string(expected.bytes.begin(), expected.bytes.end()) : "");
    }
  }
}

}  // namespace
}  // namespace keelpack::test
