#include "platform/mounts.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/files.h"
#include "support/temp_dir.h"

namespace keelpack::platform {
namespace {

using ::testing::ElementsAre;

TEST(MountPoints, OfferUserFileSystemsAndFindTheLongestHoldingAFolder) {
  test::TempDir dir;
  ASSERT_FALSE(MakeFolder(dir.File("photos")));
  ASSERT_FALSE(MakeFolder(dir.File("two words")));
  test::WriteFile(dir.File("hosts"), {});
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
  test::WriteFile(dir.File("mounts"), test::ToBytes(table));
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

}  // namespace
}  // namespace keelpack::platform
