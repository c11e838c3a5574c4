#include "jobs/path_utils.h"

#include <gtest/gtest.h>

#include "platform/files.h"
#include "support/temp_dir.h"

namespace keelpack {
namespace {

// Only "/" separates; "\\" and ":" are ordinary characters of a name.
TEST(PathUtils, SeparatorsAsTabled) {
  auto add = [](std::string path) { return AddTrailingSeparator(path); };
  auto collapse = [](std::string path) { return CollapseSeparators(path), path; };
  auto strip = [](std::string path) { return StripTrailingSeparator(path), path; };
  const struct {
    std::string (*edit)(std::string);
    std::string in, out;
  } rows[] = {{add, "/out/", "/out/"}, {add, "/out\\", "/out\\/"},
              {add, "", "/"},          {collapse, "//home//u\\\\///a.jpg", "//home/u\\\\/a.jpg"},
              {collapse, "/", "/"},    {strip, "x//", "x/"},
              {strip, "C:\\", "C:\\"}, {strip, "", ""}};
  for (const auto& row : rows) EXPECT_EQ(row.edit(row.in), row.out) << row.in;
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
}

}  // namespace
}  // namespace keelpack
