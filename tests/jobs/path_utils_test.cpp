#include "jobs/path_utils.h"

#include <gtest/gtest.h>

#include "platform/files.h"
#include "support/temp_dir.h"

namespace keelpack {
namespace {

// Only "/" separates; "\\" and ":" are ordinary characters of a name.
TEST(PathUtils, SeparatorsAsTabled) {
  EXPECT_EQ(AddTrailingSeparator("/out/"), "/out/");
  EXPECT_EQ(AddTrailingSeparator("/out\\"), "/out\\/");
  EXPECT_EQ(AddTrailingSeparator(""), "/");

  auto collapsed = [](std::string path) {
    CollapseSeparators(path);
    return path;
  };
  EXPECT_EQ(collapsed("//home//u\\\\///a.jpg"), "//home/u\\\\/a.jpg");
  EXPECT_EQ(collapsed("/"), "/");

  auto stripped = [](std::string path) {
    StripTrailingSeparator(path);
    return path;
  };
  EXPECT_EQ(stripped("x//"), "x/");
  EXPECT_EQ(stripped("C:\\"), "C:\\");
  EXPECT_EQ(stripped(""), "");
}

TEST(PathUtils, CreateFolderPathMakesEachMissingLevel) {
  test::TempDir dir;
  std::string nested = dir.File("out//a/b/");
  EXPECT_EQ(CreateFolderPath(nested), 0);
  EXPECT_EQ(nested, dir.File("out/a/b/"));  // collapsed in place
  EXPECT_TRUE(platform::IsFolder(dir.File("out/a/b")));

  std::string existing = dir.path();
  EXPECT_EQ(CreateFolderPath(existing), 0);

  test::WriteFile(dir.File("file"), test::Bytes{1});
  std::string throughFile = dir.File("file/sub");
  EXPECT_GT(CreateFolderPath(throughFile), 0);
  EXPECT_FALSE(platform::Exists(dir.File("file/sub")));
}

}  // namespace
}  // namespace keelpack
