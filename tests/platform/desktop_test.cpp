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
  test::WriteFile(path, test::ToBytes(text));
}

TEST(MountPoints, OfferUserFileSystemsAndFindTheLongestHoldingAFolder) {
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
  std::vector<std::string> shown;
  for (const MountPoint& mount : MountPoints(dir.File("mounts")))
    shown.push_back(mount.path + " " + mount.label);
  // A later mount over the same folder is the one seen; files and missing folders are not.
  EXPECT_THAT(shown,
              ElementsAre("/ sda1", dir.File("photos") + " sde1", dir.File("two words") + " sdc1"));
  EXPECT_EQ(MountPoints(dir.File("no such table")).size(), 1u);

  const std::vector<MountPoint> mounts{{"/", ""}, {"/home", ""}, {"/home/me/usb", ""}, {"/ho", ""}};
  const std::pair<const char*, int> folders[] = {
      {"/etc", 0}, {"/home", 1},         {"/home/me/usbstick", 1}, {"/home/me/usb/dcim", 2},
      {"/hob", 0}, {"relative/path", -1}};
  for (const auto& [folder, index] : folders)
    EXPECT_EQ(MountPointOf(mounts, folder), index) << folder;
}

// True when this process has no child left, running or waiting to be reaped.
bool NoChildLeft() { return waitpid(-1, nullptr, WNOHANG) < 0 && errno == ECHILD; }

TEST(OpenInViewer, StartsTheDesktopViewerWithThePathAndDoesNotWaitForIt) {
  TempDir dir;
  {
    const TempDir empty;
    test::ScopedEnv path("PATH", empty.path());  // no viewer anywhere: nothing happens
    OpenInViewer(dir.File("keelpack.log"));
    EXPECT_TRUE(NoChildLeft());
  }
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
  for (int i = 0; i < 500 && !Exists(dir.File("args")); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  const test::Bytes args = test::ReadFile(dir.File("args"));
  EXPECT_EQ(std::string(args.begin(), args.end()), "/some folder/keelpack.log|");
  // Still running: had the call waited for the viewer, the viewer would have ended first.
  EXPECT_FALSE(Exists(dir.File("ended")));
  EXPECT_TRUE(NoChildLeft()) << "the viewer must not stay a child of ours";
  WriteText(dir.File("release"), "");
  ASSERT_EQ(chdir(here.c_str()), 0);
}

}  // namespace
}  // namespace keelpack::platform
