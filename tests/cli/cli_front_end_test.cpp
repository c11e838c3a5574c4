// The status line's layout, and what the front end hands to a run. Its output on real runs
// is tested through the built program (cli_program_test.cpp).
#include "cli/cli_front_end.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

namespace keelpack::cli {
namespace {

TEST(StatusLine, BarFollowsThePercentageAndTheLineFitsTheWidth) {
  const std::string text = "Processed 3 of 10 files...";
  for (float percent : {0.0f, 5.0f, 50.0f, 100.0f, 150.0f, -3.0f}) {
    const std::string line = StatusLine(text, percent, 80);
    const float shown = std::clamp(percent, 0.0f, 100.0f);
    EXPECT_EQ(std::count(line.begin(), line.end(), '#'), std::lround(shown * kBarWidth / 100))
        << percent;
    EXPECT_NE(line.find(std::to_string(std::lround(shown)) + "% " + text), std::string::npos)
        << line;
  }
  const std::string full = StatusLine(text, 40, 200);
  for (int width : {40, 25, 5, 0}) {
    EXPECT_EQ(StatusLine(text, 40, width),
              full.substr(0, static_cast<size_t>(std::max(width - 1, 0))));
  }
}

TEST(CliFrontEnd, RunGetsThePlannedFilesAllSelectedAndACtrlCFromBeforeItsStart) {
  CliFrontEnd frontEnd({}, Verbosity::kNormal);
  OptionSet options;
  options.slow = 1;
  frontEnd.Prepare({RunKind::kSelectedFiles, "/p", {"a/x.jpg", "y.jpg"}}, options);
  EXPECT_EQ(frontEnd.FolderPath(), "/p");
  EXPECT_EQ(frontEnd.Options(), options);
  const auto entries = frontEnd.FileEntries();
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_TRUE(entries[0].name == "a/x.jpg" && entries[0].selected);
  EXPECT_TRUE(entries[1].name == "y.jpg" && entries[1].selected);

  // The run clears the request as it starts; a Ctrl+C that came before must survive that.
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
