#include "cli/run_plan.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "support/temp_dir.h"

namespace keelpack::cli {
namespace {

namespace fs = std::filesystem;

class RunPlanTest : public ::testing::Test {
 protected:
  RunPlanTest() : root_(fs::canonical(dir_.path()).string()) {
    for (const char* folder : {"a", "b", "c", "d/e"}) fs::create_directories(Path(folder));
    for (const char* file : {"c/x.jpg", "d/e/y.JPEG", "c/notes.txt"})
      test::WriteFile(Path(file), {});
  }
  std::string Path(const std::string& relative) const { return root_ + "/" + relative; }

  static OptionSet WithOutput(const std::string& output) {
    OptionSet options;
    options.difdir = 1;
    options.output = output;
    return options;
  }

  test::TempDir dir_;
  std::string root_;
};

TEST_F(RunPlanTest, FoldersMakeTreeRunsInOrderAndTheFilesOneRunAfterThem) {
  fs::create_directory_symlink(Path("a"), Path("link-to-a"));
  const PlanResult result = MakePlan({Path("b"), Path("c/x.jpg"), Path("link-to-a"),
                                      Path("d/./e/y.JPEG"), Path("b/"), Path("d/../c/x.jpg")},
                                     OptionSet{});
  ASSERT_TRUE(result.plan) << result.error;
  const auto& runs = result.plan->runs;
  ASSERT_EQ(runs.size(), 3u);
  EXPECT_EQ(runs[0].kind, RunKind::kFolderTree);
  EXPECT_EQ(runs[0].folder, Path("b"));
  EXPECT_EQ(runs[1].folder, Path("a")) << "a folder given through a link is the real folder";
  EXPECT_EQ(runs[2].kind, RunKind::kSelectedFiles);
  EXPECT_EQ(runs[2].folder, root_);
  EXPECT_EQ(runs[2].entries, (std::vector<std::string>{"c/x.jpg", "d/e/y.JPEG"}));
  EXPECT_EQ(result.plan->options, OptionSet{});
}

TEST_F(RunPlanTest, FilesOfOneFolderRunThereAndALinkStaysALink) {
  fs::create_symlink(Path("c/x.jpg"), Path("d/e/link.jpg"));
  PlanResult result = MakePlan({Path("c/x.jpg")}, OptionSet{});
  ASSERT_TRUE(result.plan) << result.error;
  EXPECT_EQ(result.plan->runs.at(0).folder, Path("c"));
  EXPECT_EQ(result.plan->runs.at(0).entries, std::vector<std::string>{"x.jpg"});

  result = MakePlan({Path("d/e/link.jpg"), Path("d/e/y.JPEG")}, OptionSet{});
  ASSERT_TRUE(result.plan) << result.error;
  EXPECT_EQ(result.plan->runs.at(0).entries, (std::vector<std::string>{"link.jpg", "y.JPEG"}));
}

TEST_F(RunPlanTest, TheOutputFolderIsMadeAbsoluteSoThatTheTreeRecognisesIt) {
  fs::create_directory_symlink(Path("c"), Path("link-to-c"));
  const PlanResult result = MakePlan({Path("c")}, WithOutput(Path("link-to-c/./new/../out/")));
  ASSERT_TRUE(result.plan) << result.error;
  // The tree run lists c/out as the folder path plus "/out": the same text, so it is left out.
  EXPECT_EQ(result.plan->options.output, Path("c/out"));
  EXPECT_EQ(result.plan->options.difdir, 1);
}

TEST_F(RunPlanTest, RefusesWhatCannotBeCarriedOutSafely) {
  fs::create_symlink(Path("gone.jpg"), Path("dangling.jpg"));
  struct Case {
    std::vector<std::string> paths;
    OptionSet options;
  };
  const std::vector<Case> cases = {
      {{Path("a"), Path("missing.jpg")}, {}},
      {{Path("dangling.jpg")}, {}},
      {{Path("c/notes.txt")}, {}},
      {{Path("a"), Path("b")}, WithOutput(Path("out"))},  // two mirrors into one folder
      {{Path("a"), Path("c/x.jpg")}, WithOutput(Path("out"))},
      {{Path("a")}, WithOutput(Path("a"))},
      {{Path("a")}, WithOutput(root_)},            // the output holds the tree
      {{Path("c/x.jpg")}, WithOutput(Path("c"))},  // the output is the files' folder
      {{Path("c/x.jpg"), Path("d/e/y.JPEG")}, WithOutput(Path("d"))},
      {{Path("a")}, WithOutput(Path("c/x.jpg/out"))},  // no folder can be made below a file
      {{Path("a")}, WithOutput("")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.paths) + " output " + c.options.output);
    const PlanResult result = MakePlan(c.paths, c.options);
    EXPECT_FALSE(result.plan);
    EXPECT_FALSE(result.error.empty());
  }
}

}  // namespace
}  // namespace keelpack::cli
