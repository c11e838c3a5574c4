#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>

#include "platform/file.h"
#include "platform/files.h"
#include "platform/folders.h"
#include "platform/mapped_file.h"
#include "platform/mounts.h"
#include "support/temp_dir.h"

namespace keelpack::platform {
namespace {

// (The log's and the settings' tests use the variable, and a folder that cannot be made.)
TEST(Folders, ARelativeXdgVariableIsIgnoredForAPrivateFolderInHome) {
  test::TempDir dir;
  test::ScopedEnv relative("XDG_CONFIG_HOME", "relative/ignored");
  test::ScopedEnv home("HOME", dir.File("home"));
  EXPECT_EQ(AppDataFolder(), dir.File("home/.config"));
  EXPECT_EQ(std::filesystem::status(dir.File("home/.config")).permissions(),
            std::filesystem::perms::owner_all);
}

// Another program may cut a photo short while it is being read: the bytes already read stay
// readable (no SIGBUS), and a file shorter than its size said is an error, not a short file,
// whether it is read into memory or copied from file to file.
TEST(Files, InputBytesSurviveTheFileBeingCutShort) {
  test::TempDir dir;
  test::Bytes content(100000);
  for (size_t i = 0; i < content.size(); ++i) content[i] = static_cast<uint8_t>(i % 251);
  test::WriteFile(dir.File("photo"), content);
  File file, copy;
  ASSERT_TRUE(file.OpenForReading(dir.File("photo")));
  ASSERT_TRUE(copy.Create(dir.File("copy")));
  ASSERT_TRUE(copy.CopyRangeFrom(file, 1000, 90000));
  EXPECT_EQ(test::ReadFile(dir.File("copy")),
            test::Bytes(content.begin() + 1000, content.begin() + 91000));
  MappedFile held, again;
  ASSERT_TRUE(held.Map(file, content.size()));
  ASSERT_EQ(::truncate(dir.File("photo").c_str(), 50000), 0);
  EXPECT_EQ(test::Bytes(held.bytes().begin(), held.bytes().end()), content);
  EXPECT_EQ(SystemErrorOf(again.Map(file, content.size())), EIO);
  EXPECT_TRUE(again.bytes().empty());
  EXPECT_EQ(SystemErrorOf(copy.CopyRangeFrom(file, 1000, 90000)), EIO);
}

TEST(MountPoints, OfferUserFileSystemsAndFindTheLongestHoldingAFolder) {
  test::TempDir dir;
  for (const char* folder : {"photos", "two words"}) ASSERT_TRUE(MakeFolder(dir.File(folder)));
  test::WriteFile(dir.File("hosts"), {});
  std::string table;
  for (const std::string& line : std::vector<std::string>{
           "proc /proc proc", "sysfs /sys sysfs", "/dev/sda1 / ext4", "tmpfs /run/user/1000 tmpfs",
           "tmpfs " + dir.path() + " tmpfs", "cgroup2 /sys/fs/cgroup cgroup2",
           "/dev/sdb1 " + dir.File("photos") + " vfat",
           "/dev/sdc1 " + dir.path() + "/two\\040words ext4",
           "/dev/sda1 " + dir.File("hosts") + " ext4", "/dev/sdd1 " + dir.File("missing") + " ext4",
           "/dev/sde1 " + dir.File("photos") + " exfat"})
    table += line + " rw 0 0\n";
  test::WriteFile(dir.File("mounts"), test::ToBytes(table));
  std::vector<std::string> shown;
  for (const MountPoint& mount : MountPoints(dir.File("mounts")))
    shown.push_back(mount.path + " " + mount.label);
  // A later mount over the same folder is the one seen; files and missing folders are not.
  EXPECT_THAT(shown, testing::ElementsAre("/ sda1", dir.File("photos") + " sde1",
                                          dir.File("two words") + " sdc1"));
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
