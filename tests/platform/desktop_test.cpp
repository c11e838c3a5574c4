#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <thread>

#include "platform/files.h"
#include "platform/mounts.h"
#include "platform/viewer.h"
#include "support/temp_dir.h"

namespace keelpack::platform {
namespace {

using test::TempDir;
using ::testing::ElementsAre;

std::vector<std::string> Paths(const std::vector<MountPoint>& mounts) {
  std::vector<std::string> paths;
  for (const MountPoint& mount : mounts) paths.push_back(mount.path);
  return paths;
}

void WriteText(const std::string& path, const std::string& text) {
  test::WriteFile(path, test::Bytes(text.begin(), text.end()));
}

TEST(MountPoints, OfferUserFileSystemsAndLeavePseudoOnesOut) {
  TempDir dir;
  ASSERT_EQ(MakeFolder(dir.File("photos")), 0);
  ASSERT_EQ(MakeFolder(dir.File("two words")), 0);
  WriteText(dir.File("hosts"), "");
  const std::string photos = dir.File("photos");
  WriteText(dir.File("mounts"),
            "proc /proc proc rw 0 0\n"
            "sysfs /sys sysfs rw 0 0\n"
            "/dev/sda1 / ext4 rw 0 0\n"
            "tmpfs /run/user/1000 tmpfs rw 0 0\n"
            "tmpfs " +
                dir.path() +
                " tmpfs rw 0 0\n"
                "cgroup2 /sys/fs/cgroup cgroup2 rw 0 0\n"
                "/dev/sdb1 " +
                photos +
                " vfat rw 0 0\n"
                "/dev/sdc1 " +
                dir.path() +
                "/two\\040words ext4 rw 0 0\n"
                "/dev/sda1 " +
                dir.File("hosts") +
                " ext4 rw 0 0\n"
                "/dev/sdd1 " +
                dir.File("missing") +
                " ext4 rw 0 0\n"
                "/dev/sde1 " +
                photos + " exfat rw 0 0\n");
  const auto mounts = MountPoints(dir.File("mounts"));
  EXPECT_THAT(Paths(mounts), ElementsAre("/", photos, dir.File("two words")));
  EXPECT_EQ(mounts[0].label, "sda1");
  EXPECT_EQ(mounts[1].label, "sde1") << "the later mount over the same folder is the one seen";
}

TEST(MountPoints, RemovableMediaUnderRunAreOffered) {
  TempDir dir;
  WriteText(dir.File("mounts"),
            "/dev/sdb1 /run/media ext4 rw 0 0\n"
            "/dev/sdb2 /run/mount ext4 rw 0 0\n"
            "/dev/sdb3 /dev/shm ext4 rw 0 0\n");
  // Only folders that exist are listed, so this needs /run/media; without it only "/" stays.
  const auto mounts = MountPoints(dir.File("mounts"));
  EXPECT_EQ(mounts.front().path, "/");
  for (const MountPoint& mount : mounts) {
    EXPECT_NE(mount.path, "/run/mount");
    EXPECT_NE(mount.path, "/dev/shm");
  }
  EXPECT_EQ(mounts.size(), IsFolder("/run/media") ? 2u : 1u);
}

TEST(MountPoints, UnreadableTableGivesTheRootAlone) {
  EXPECT_THAT(Paths(MountPoints("/nonexistent/mounts")), ElementsAre("/"));
}

TEST(MountPoints, FolderBelongsToTheLongestMountHoldingIt) {
  const std::vector<MountPoint> mounts{{"/", ""}, {"/home", ""}, {"/home/me/usb", ""}, {"/ho", ""}};
  EXPECT_EQ(MountPointOf(mounts, "/"), 0);
  EXPECT_EQ(MountPointOf(mounts, "/etc"), 0);
  EXPECT_EQ(MountPointOf(mounts, "/home"), 1);
  EXPECT_EQ(MountPointOf(mounts, "/home/me/usbstick"), 1);
  EXPECT_EQ(MountPointOf(mounts, "/home/me/usb/dcim"), 2);
  EXPECT_EQ(MountPointOf(mounts, "/hob"), 0);
  EXPECT_EQ(MountPointOf(mounts, "relative/path"), -1);
}

// A stand-in for xdg-open, found first on PATH: it records its arguments, then stays until
// the test releases it (ten seconds at most) and leaves a mark when it ends.
class FakeViewer {
 public:
  explicit FakeViewer(const TempDir& dir)
      : dir_(dir), path_("PATH", dir.path() + ":" + std::getenv("PATH")) {
    const std::string script = dir.File("xdg-open");
    WriteText(script,
              "#!/bin/sh\n"
              "printf '%s|' \"$@\" > '" +
                  dir.File("args.part") +
                  "'\n"
                  "mv '" +
                  dir.File("args.part") + "' '" + dir.File("args") +
                  "'\n"
                  "for i in $(seq 100); do [ -e '" +
                  dir.File("release") +
                  "' ] && break; sleep 0.1; done\n"
                  "touch '" +
                  dir.File("ended") + "'\n");
    chmod(script.c_str(), 0755);
  }

  // The arguments the viewer was started with, waiting up to five seconds for it to start.
  std::string Arguments() const {
    const std::string record = dir_.File("args");
    for (int i = 0; i < 500 && !Exists(record); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (!Exists(record)) return "(not started)";
    const test::Bytes bytes = test::ReadFile(record);
    return std::string(bytes.begin(), bytes.end());
  }
  bool Ended() const { return Exists(dir_.File("ended")); }
  void Release() const { WriteText(dir_.File("release"), ""); }

 private:
  const TempDir& dir_;
  test::ScopedEnv path_;
};

// True when this process has no child left, running or waiting to be reaped.
bool NoChildLeft() { return waitpid(-1, nullptr, WNOHANG) < 0 && errno == ECHILD; }

TEST(OpenInViewer, StartsTheDesktopViewerWithThePathAndDoesNotWaitForIt) {
  TempDir dir;
  FakeViewer viewer(dir);
  OpenInViewer("/some folder/keelpack.log");
  EXPECT_EQ(viewer.Arguments(), "/some folder/keelpack.log|");
  // Still running: had the call waited for the viewer, the viewer would have timed out first.
  EXPECT_FALSE(viewer.Ended());
  EXPECT_TRUE(NoChildLeft()) << "the viewer must not stay a child of ours";
  viewer.Release();
}

TEST(OpenInViewer, IgnoresAMissingViewerAndLeavesNoChild) {
  TempDir dir;
  test::ScopedEnv path("PATH", dir.path());  // no xdg-open anywhere
  OpenInViewer(dir.File("keelpack.log"));
  EXPECT_TRUE(NoChildLeft());
}

}  // namespace
}  // namespace keelpack::platform
