#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/file.h"
#include "platform/files.h"
#include "platform/folders.h"
#include "platform/mapped_file.h"
#include "support/temp_dir.h"

namespace keelpack::platform {
namespace {

// (The log's and the settings' tests use the variable, and a folder that cannot be made.)
TEST(Folders, ARelativeXdgVariableIsIgnoredForAPrivateFolderInHome) {
  test::TempDir dir;
  test::ScopedEnv relative("XDG_CONFIG_HOME", "relative/ignored");
  test::ScopedEnv home("HOME", dir.File("home"));
  EXPECT_EQ(AppDataFolder(), dir.File("home/.config"));
  struct stat info {};
  ASSERT_EQ(stat(dir.File("home/.config").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0700u);
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
  ASSERT_FALSE(file.OpenForReading(dir.File("photo")));
  ASSERT_FALSE(copy.Create(dir.File("copy")));
  ASSERT_FALSE(copy.CopyRangeFrom(file, 1000, 90000));
  EXPECT_EQ(test::ReadFile(dir.File("copy")),
            test::Bytes(content.begin() + 1000, content.begin() + 91000));
  MappedFile held;
  ASSERT_FALSE(held.Map(file, content.size()));
  ASSERT_EQ(::truncate(dir.File("photo").c_str(), 50000), 0);
  EXPECT_EQ(test::Bytes(held.bytes().begin(), held.bytes().end()), content);
  MappedFile again;
  EXPECT_EQ(again.Map(file, content.size()).value(), EIO);
  EXPECT_TRUE(again.bytes().empty());
  EXPECT_EQ(copy.CopyRangeFrom(file, 1000, 90000).value(), EIO);
}

}  // namespace
}  // namespace keelpack::platform
