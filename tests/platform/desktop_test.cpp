#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <thread>

#include "platform/files.h"
#include "platform/folders.h"
#include "platform/mounts.h"
#include "platform/viewer.h"
#include "support/temp_dir.h"

namespace keelpack::platform {
namespace {

using test::TempDir;
using ::testing::ElementsAre;

void WriteText(const std::string& path, const std::string& text) {
  test::WriteFile(path, test::Bytes(text.begin(), text.end()));
}

std::string ReadText(const std::string& path) {
  const test::Bytes bytes = test::ReadFile(path);
  return std::string(bytes.begin(), bytes.end());
}

TEST(MountPoints, OfferUserFileSystemsAndLeavePseudoOnesOut) {
  TempDir dir;
  ASSERT_FALSE(MakeFolder(dir.File("photos")));
  ASSERT_FALSE(MakeFolder(dir.File("two words")));
  WriteText(dir.File("hosts"), "");
  std::string table;
  for (const std::string& line : std::vector<std::string>{
           "proc /proc proc", "sysfs /sys sysfs", "/dev/sda1 / ext4", "tmpfs /run/user/1000 tmpfs",
           "tmpfs " + dir.path() + " tmpfs", "cgroup2 /sys/fs/cgroup cgroup2",
           "/dev/sdb1 " + dir.File("photos") + " vfat",
           "/dev/sdc1 " + dir.path() + "/two\\040words ext4",
           "/dev/sda1 " + dir.File("hosts") + " ext4", "/dev/sdd1 " + dir.File("missing") + " ext4",
           "/dev/sde1 " + dir.File("photos") + " exfat"}) {
    table += line + " rw 0 0\n";
  }
  WriteText(dir.File("mounts"), table);
  const auto mounts = MountPoints(dir.File("mounts"));
  std::vector<std::string> shown;
  for (const MountPoint& mount : mounts) shown.push_back(mount.path + " " + mount.label);
  // A later mount over the same folder is the one seen; files and missing folders are not.
  EXPECT_THAT(shown,
              ElementsAre("/ sda1", dir.File("photos") + " sde1", dir.File("two words") + " sdc1"));
  EXPECT_EQ(MountPoints(dir.File("no such table")).size(), 1u);
}

TEST(MountPoints, FolderBelongsToTheLongestMountHoldingIt) {
  const std::vector<MountPoint> mounts{{"/", ""}, {"/home", ""}, {"/home/me/usb", ""}, {"/ho", ""}};
  EXPECT_EQ(MountPointOf(mounts, "/etc"), 0);
  EXPECT_EQ(MountPointOf(mounts, "/home"), 1);
  EXPECT_EQ(MountPointOf(mounts, "/home/me/usbstick"), 1);
  EXPECT_EQ(MountPointOf(mounts, "/home/me/usb/dcim"), 2);
  EXPECT_EQ(MountPointOf(mounts, "/hob"), 0);
  EXPECT_EQ(MountPointOf(mounts, "relative/path"), -1);
}

// True when this process has no child left, running or waiting to be reaped.
bool NoChildLeft() { return waitpid(-1, nullptr, WNOHANG) < 0 && errno == ECHILD; }

TEST(OpenInViewer, StartsTheDesktopViewerWithThePathAndDoesNotWaitForIt) {
  TempDir dir;
  // A stand-in for xdg-open on PATH: records its arguments, then stays until released (ten
  // seconds at most) and leaves a mark when it ends.
  WriteText(dir.File("xdg-open"),
            "#!/bin/sh\nprintf '%s|' \"$@\" > args.part\nmv args.part args\n"
            "for i in $(seq 100); do [ -e release ] && break; sleep 0.1; done\ntouch ended\n");
  chmod(dir.File("xdg-open").c_str(), 0755);
  test::ScopedEnv path("PATH", dir.path() + ":" + std::getenv("PATH"));
  const std::string here = CurrentFolder().value();
  ASSERT_EQ(chdir(dir.path().c_str()), 0);
  OpenInViewer("/some folder/keelpack.log");
  for (int i = 0; i < 500 && !Exists(dir.File("args")); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_EQ(ReadText(dir.File("args")), "/some folder/keelpack.log|");
  // Still running: had the call waited for the viewer, the viewer would have ended first.
  EXPECT_FALSE(Exists(dir.File("ended")));
  EXPECT_TRUE(NoChildLeft()) << "the viewer must not stay a child of ours";
  WriteText(dir.File("release"), "");
  ASSERT_EQ(chdir(here.c_str()), 0);
}

TEST(OpenInViewer, IgnoresAMissingViewerAndLeavesNoChild) {
  TempDir dir;
  test::ScopedEnv path("PATH", dir.path());  // no xdg-open anywhere
  OpenInViewer(dir.File("keelpack.log"));
  EXPECT_TRUE(NoChildLeft());
}

}  // namespace
}  // namespace keelpack::platform
