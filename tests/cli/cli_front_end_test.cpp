// What the front end hands to a run. Its output on real runs is tested through the built
// program (cli_program_test.cpp).
#include "cli/cli_front_end.h"

#include <gtest/gtest.h>

namespace keelpack::cli {
namespace {

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
