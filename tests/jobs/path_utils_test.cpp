#include "jobs/path_utils.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace keelpack
