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
// readable (no SIGBUS), and a file shorter than its size said is an error, not a short file.
TEST(Files, InputBytesSurviveTheFileBeingCutShort) {
  test::TempDir dir;
  const test::Bytes content(100000, 0x5A);
  test::WriteFile(dir.File("photo"), content);
  File file;
  ASSERT_FALSE(file.OpenForReading(dir.File("photo")));
  MappedFile held;
  ASSERT_FALSE(held.Map(file, content.size()));
  ASSERT_EQ(::truncate(dir.File("photo").c_str(), 0), 0);
  EXPECT_EQ(test::Bytes(held.bytes().begin(), held.bytes().end()), content);
  MappedFile again;
  EXPECT_EQ(again.Map(file, content.size()).value(), EIO);
  EXPECT_TRUE(again.bytes().empty());
}

}  // namespace
}  // namespace keelpack::platform
