#include "cli/cli_front_end.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>

namespace keelpack::cli {
namespace {

TEST(StatusLine, BarFollowsThePercentageAndTheLineFitsTheWidth) {
  for (float percent : {0.0f, 5.0f, 50.0f, 100.0f, 150.0f, -3.0f}) {
    SCOPED_TRACE(percent);
    const std::string line = StatusLine("Processed 3 of 10 files...", percent, 80);
    const float shown = std::clamp(percent, 0.0f, 100.0f);
    EXPECT_EQ(std::count(line.begin(), line.end(), '#'), std::lround(shown * kBarWidth / 100));
    EXPECT_NE(line.find("] " +
                        std::string(shown < 10    ? "  "
                                    : shown < 100 ? " "
                                                  : "") +
                        std::to_string(std::lround(shown)) + "% "),
              std::string::npos);
    EXPECT_TRUE(line.ends_with("Processed 3 of 10 files..."));
  }
  const std::string full = StatusLine("Found 15 directories, 212 files...", 40, 200);
  for (int width : {60, 30, 5, 0}) {
    const std::string cut = StatusLine("Found 15 directories, 212 files...", 40, width);
    EXPECT_EQ(cut, full.substr(0, static_cast<size_t>(std::max(width - 1, 0)))) << width;
  }
}

// The front end writing into files instead of the process's streams.
class CliFrontEndTest : public ::testing::Test {
 protected:
  CliFrontEndTest() : out_(std::tmpfile()), err_(std::tmpfile()) {}
  ~CliFrontEndTest() override {
    std::fclose(out_);
    std::fclose(err_);
  }
  CliFrontEnd Make(Verbosity verbosity, bool terminal) {
    Console console{out_, ::fileno(err_), terminal, terminal, 50};
    return CliFrontEnd(console, verbosity);
  }
  static std::string Contents(std::FILE* file) {
    std::fflush(file);
    std::string text(static_cast<size_t>(std::ftell(file)), '\0');
    std::rewind(file);
    text.resize(std::fread(text.data(), 1, text.size(), file));
    return text;
  }
  // A run as the core drives it: a log line between status updates, then the summary.
  static void FakeRun(CliFrontEnd& frontEnd, bool echoSummary) {
    frontEnd.SetRunning(RunKind::kFolderTree, true);
    frontEnd.SetStatusText("Starting...");
    frontEnd.AppendLine("Renaming corrupted /p/b.jpg", true);
    frontEnd.SetProgressPercent(100);
    frontEnd.SetStatusText(kSummary);
    if (echoSummary) frontEnd.AppendLine(kSummary, true);
    frontEnd.SetRunning(RunKind::kFolderTree, false);
  }
  static constexpr const char* kSummary =
      "Finished. Out of 2 files, 1 were reduced saving 9 bytes.";

  std::FILE* out_;
  std::FILE* err_;
};

TEST_F(CliFrontEndTest, VerbosityChoosesTheLinesAndTheSummaryComesOnce) {
  const std::string summary = std::string(kSummary) + "\n";
  struct Case {
    Verbosity verbosity;
    bool echo;  // -v echoes every log-file message, the summary included
    std::string expected;
  };
  for (const Case& c :
       {Case{Verbosity::kQuiet, false, summary},
        Case{Verbosity::kNormal, false, "Renaming corrupted /p/b.jpg\n" + summary},
        Case{Verbosity::kVerbose, true, "Renaming corrupted /p/b.jpg\n" + summary}}) {
    std::rewind(out_);
    ASSERT_EQ(::ftruncate(::fileno(out_), 0), 0);
    CliFrontEnd frontEnd = Make(c.verbosity, false);
    FakeRun(frontEnd, c.echo);
    EXPECT_EQ(Contents(out_), c.expected);
  }
  EXPECT_EQ(Contents(err_), "") << "drew on a standard error that is no terminal";
}

TEST_F(CliFrontEndTest, OnATerminalTheStatusGivesWayToLogLinesAndIsClearedAtTheEnd) {
  CliFrontEnd frontEnd = Make(Verbosity::kNormal, true);
  FakeRun(frontEnd, false);
  const std::string clear = "\r\x1b[K";
  const std::string err = Contents(err_);
  const std::string starting = "\r" + StatusLine("Starting...", 0, 50) + "\x1b[K";
  // Drawn, cleared for the log line, drawn again; then the summary, cleared at the end.
  EXPECT_EQ(err,
            starting + clear + starting + "\r" + StatusLine(kSummary, 100, 50) + "\x1b[K" + clear);
}

TEST_F(CliFrontEndTest, RunGetsThePlannedFilesAndACtrlCFromBeforeItsStart) {
  CliFrontEnd frontEnd = Make(Verbosity::kNormal, false);
  OptionSet options;
  options.slow = 1;
  frontEnd.Prepare({RunKind::kSelectedFiles, "/p", {"a/x.jpg", "y.jpg"}}, options);
  EXPECT_EQ(frontEnd.FolderPath(), "/p");
  EXPECT_EQ(frontEnd.Options(), options);
  const auto entries = frontEnd.FileEntries();
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_TRUE(entries[0].name == "a/x.jpg" && entries[0].selected);
  EXPECT_TRUE(entries[1].name == "y.jpg" && entries[1].selected);

  std::atomic<bool> cancel{false};
  bool interrupted = false;
  frontEnd.WatchInterrupt(&cancel, [&] { return interrupted; });
  frontEnd.SetRunning(RunKind::kSelectedFiles, true);
  EXPECT_FALSE(cancel);
  interrupted = true;
  frontEnd.SetRunning(RunKind::kSelectedFiles, true);
  EXPECT_TRUE(cancel);
}

}  // namespace
}  // namespace keelpack::cli
