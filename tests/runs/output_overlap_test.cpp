// A folder-tree run in different-folder mode must leave every source file as it was. When
// the output folder holds the tree's top folder, the mirror of one source file can land on
// another source file, which the job then deletes as a stale output.
#include <gtest/gtest.h>

#include <filesystem>

#include "runs/runs.h"
#include "runs/session.h"
#include "support/fake_front_end.h"
#include "support/pictures.h"
#include "support/temp_dir.h"

namespace keelpack {
namespace {

TEST(OutputOverlap, OutputFolderHoldingTheTreeLeavesEverySourceAsItWas) {
  test::Sandbox dir;
  const std::string top = dir.File("photos");
  std::filesystem::create_directories(top + "/photos");
  const test::Bytes outer = test::EncodePicture({.seed = 1});
  const test::Bytes inner = test::EncodePicture({.seed = 2});
  test::WriteFile(top + "/x.jpg", outer);
  test::WriteFile(top + "/photos/x.jpg", inner);

  test::FakeFrontEnd frontEnd;
  frontEnd.folder = top;
  frontEnd.options.difdir = 1;
  frontEnd.options.output = dir.path();  // photos/photos/x.jpg mirrors onto photos/x.jpg
  Session session(frontEnd);
  RunFolderTree(session);

  EXPECT_TRUE(test::ReadFile(top + "/x.jpg") == outer) << "photos/x.jpg was replaced";
  EXPECT_TRUE(test::ReadFile(top + "/photos/x.jpg") == inner) << "photos/photos/x.jpg was replaced";
}

}  // namespace
}  // namespace keelpack
