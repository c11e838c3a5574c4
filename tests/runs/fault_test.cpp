// Faults from outside: a disk that fills up, a folder that turns read-only. (A process killed
// in the middle of a run: the command line's two-runs test.) Afterwards every source file must
// be either untouched or replaced by a complete file that shows the same pixels.
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <unistd.h>

#include <algorithm>
#include <map>

#include "platform/files.h"
#include "platform/listing.h"
#include "runs/runs.h"
#include "runs/session.h"
#include "support/fake_front_end.h"
#include "support/pictures.h"
#include "support/temp_dir.h"

namespace keelpack::test {
namespace {

class FaultTest : public ::testing::Test {
 protected:
  // A small file system of our own, so that it can fill up or turn read-only, with pictures.
  bool MountSmallDisk(const std::string& size, int pictures, int width) {
    mounted = !platform::MakeFolder(disk) &&
              mount("tmpfs", disk.c_str(), "tmpfs", 0, ("size=" + size).c_str()) == 0;
    for (int i = 0; mounted && i < pictures; ++i) {
      const std::string path = disk + "/p" + std::to_string(100 + i) + ".jpg";
      originals[path] = test::ShrinkablePicture(
          {.width = width, .height = 120, .quality = 95, .seed = i + 1u}, 300);
      test::WriteFile(path, originals[path]);
    }
    front.folder = disk;
    // A failing disk must never look like damage.
    front.options.corrupted = CorruptedChoice::kDelete;
    return mounted;
  }
  void TearDown() override {
    if (mounted) umount2(disk.c_str(), MNT_DETACH);
  }

  // Every source (and backup) is its original or a complete rewrite; returns how many were
  // rewritten.
  int ExpectEverySourceWhole() {
    int rewritten = 0;
    for (const auto& [path, original] : originals) {
      EXPECT_TRUE(!platform::Exists(path + ".bak") || test::ReadFile(path + ".bak") == original)
          << path;
      const Bytes now = test::ReadFile(path);
      if (now == original) continue;
      ++rewritten;
      EXPECT_EQ(test::DecodePixels(now), test::DecodePixels(original)) << path;
    }
    return rewritten;
  }

  test::Sandbox dir;
  test::FakeFrontEnd front;
  Session session{front};
  std::string disk = dir.File("disk");
  bool mounted = false;
  std::map<std::string, Bytes> originals;
};

TEST_F(FaultTest, DiskFillingUpMidWriteLeavesTheSourcesWhole) {
  if (!MountSmallDisk("1m", 6, 320)) GTEST_SKIP() << "cannot mount a small file system here";
  // Fill the disk, then free room for about one third of a picture.
  const Bytes third(originals.rbegin()->second.size() / 3, 0);
  int fillers = 0;
  while (!platform::WriteWholeFile(disk + "/filler" + std::to_string(fillers), third)) ++fillers;
  for (int i : {0, fillers}) platform::RemoveFile(disk + "/filler" + std::to_string(i));

  front.options.backups = 1;  // a full disk never leaves a backup cut short
  RunFolderTree(session);
  ExpectEverySourceWhole();
  EXPECT_GT(session.lastRun().outcomes.failed, 0);
  EXPECT_EQ(session.lastRun().outcomes.damaged, 0);
  EXPECT_EQ(platform::ListFiles(disk, "*.tmp")->size(), 0u);
  EXPECT_TRUE(std::ranges::any_of(
      front.box.lines, [](auto& line) { return line.starts_with("Cannot backup image - "); }));
}

TEST_F(FaultTest, FolderTurningReadOnlyDuringARunLeavesTheRestUntouched) {
  if (!MountSmallDisk("8m", 5, 160)) GTEST_SKIP() << "cannot mount a small file system here";
  // After the first file, while the run shows its progress.
  front.onYield = [&] {
    if (front.statuses.back().starts_with("Processed ")) {
      ASSERT_EQ(mount(nullptr, disk.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr), 0);
    }
  };
  RunFolderTree(session);
  // The first new file may still wait for its batch when the disk turns read-only.
  EXPECT_EQ(ExpectEverySourceWhole(), session.lastRun().outcomes.rewritten);
  EXPECT_LE(session.lastRun().outcomes.rewritten, 1);
  EXPECT_EQ(session.lastRun().outcomes.failed, 5 - session.lastRun().outcomes.rewritten);
  EXPECT_TRUE(front.box.Has("Inaccessible for writing - " + disk + "/p104.jpg"));
}

}  // namespace
}  // namespace keelpack::test
