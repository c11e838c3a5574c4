// How named paths become runs; the refusals are tested on the built program.
#include "cli/run_plan.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "support/temp_dir.h"

namespace keelpack::cli {
namespace {

namespace fs = std::filesystem;

TEST(RunPlan, FoldersMakeTreeRunsInOrderAndTheFilesOneRunAfterThem) {
  test::TempDir dir;
  const std::string root = fs::canonical(dir.path()).string() + "/";
  for (const char* folder : {"a", "b", "c", "d/e"}) fs::create_directories(root + folder);
  for (const char* file : {"c/x.jpg", "d/e/y.JPEG"}) test::WriteFile(root + file, {});
  fs::create_directory_symlink(root + "a", root + "link-to-a");
  fs::create_symlink(root + "c/x.jpg", root + "d/e/link.jpg");
  OptionSet options;
  options.difdir = 1;
  options.output = root + "link-to-a/./new/../out/";
  PlanResult result = MakePlan({root + "b", root + "c/x.jpg", root + "link-to-a",
                                root + "d/./e/y.JPEG", root + "b/", root + "d/../c/x.jpg"},
                               OptionSet{});
  ASSERT_TRUE(result.plan) << result.error;
  const auto& runs = result.plan->runs;
  ASSERT_EQ(runs.size(), 3u);
  EXPECT_TRUE(runs[0].kind == RunKind::kFolderTree && runs[0].folder == root + "b");
  EXPECT_EQ(runs[1].folder, root + "a") << "a folder given through a link is the real folder";
  EXPECT_EQ(runs[2].kind, RunKind::kSelectedFiles);
  EXPECT_EQ(runs[2].folder + "/", root);
  EXPECT_EQ(runs[2].entries, (std::vector<std::string>{"c/x.jpg", "d/e/y.JPEG"}));

  result = MakePlan({root + "d/e/link.jpg", root + "d/e/y.JPEG"}, options);
  ASSERT_TRUE(result.plan) << result.error;
  EXPECT_EQ(result.plan->runs.at(0).folder, root + "d/e");
  EXPECT_EQ(result.plan->runs.at(0).entries, (std::vector<std::string>{"link.jpg", "y.JPEG"}))
      << "a link to a file stays a link";
  // A tree run lists a/out as the folder path plus "/out": the same text, so it is left out.
  EXPECT_EQ(result.plan->options.output, root + "a/out");
}

}  // namespace
}  // namespace keelpack::cli
