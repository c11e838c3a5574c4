#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/file.h"
#include "platform/file_time.h"
#include "platform/files.h"
#include "platform/folders.h"
#include "platform/mapped_file.h"
#include "support/temp_dir.h"

namespace keelpack::platform {
namespace {

using test::Bytes;
using test::ReadFile;
using test::TempDir;
using test::WriteFile;

TEST(Folders, FollowTheXdgVariablesAndFallBackToHome) {
  TempDir dir;
  {
    test::ScopedEnv config("XDG_CONFIG_HOME", dir.File("conf/deep"));
    EXPECT_EQ(AppDataFolder(), dir.File("conf/deep"));
    EXPECT_TRUE(IsFolder(dir.File("conf/deep")));
  }
  test::ScopedEnv relative("XDG_CONFIG_HOME", "relative/ignored");
  test::ScopedEnv home("HOME", dir.File("home"));
  EXPECT_EQ(AppDataFolder(), dir.File("home/.config"));
  struct stat info {};
  ASSERT_EQ(stat(dir.File("home/.config").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0700u);
}

TEST(Folders, AreEmptyWhenTheyCannotBeMade) {
  TempDir dir;
  WriteFile(dir.File("plainfile"), Bytes{1});
  test::ScopedEnv config("XDG_CONFIG_HOME", dir.File("plainfile/sub"));
  EXPECT_EQ(AppDataFolder(), std::nullopt);
}

TEST(FileTime, CarriesTheLastWriteTimeToTheNanosecond) {
  TempDir dir;
  WriteFile(dir.File("in"), Bytes{1});
  WriteFile(dir.File("out"), Bytes{2});
  const timespec old[2] = {{0, UTIME_OMIT}, {1109671200, 123456789}};  // 1 March 2005, 10:00 UTC
  ASSERT_EQ(utimensat(AT_FDCWD, dir.File("in").c_str(), old, 0), 0);

  const auto saved = SaveFileTime(dir.File("in"));
  EXPECT_EQ(saved, (FileTime{1109671200, 123456789}));
  RestoreFileTime(dir.File("out"), *saved);
  EXPECT_EQ(SaveFileTime(dir.File("out")), saved);
  // The first second of 1970 is a time like any other.
  RestoreFileTime(dir.File("out"), FileTime{});
  EXPECT_EQ(SaveFileTime(dir.File("out")), FileTime{});
  EXPECT_FALSE(SaveFileTime(dir.File("absent")));
}

TEST(Files, RenameNeverReplacesButReplaceFileDoes) {
  TempDir dir;
  WriteFile(dir.File("from"), Bytes{1});
  WriteFile(dir.File("to"), Bytes{2});
  EXPECT_EQ(RenameNoReplace(dir.File("from"), dir.File("to")).value(), EEXIST);
  EXPECT_EQ(ReadFile(dir.File("to")), Bytes{2});
  EXPECT_FALSE(RenameNoReplace(dir.File("from"), dir.File("new")));
  EXPECT_FALSE(Exists(dir.File("from")));

  EXPECT_FALSE(ReplaceFile(dir.File("new"), dir.File("to"), true));
  EXPECT_EQ(ReadFile(dir.File("to")), Bytes{1});
  EXPECT_FALSE(Exists(dir.File("new")));
}

// Another program may cut a photo short while it is being read: the bytes already read stay
// readable (no SIGBUS), and a file shorter than its size said is an error, not a short file.
TEST(Files, InputBytesSurviveTheFileBeingCutShort) {
  TempDir dir;
  const Bytes content(100000, 0x5A);
  WriteFile(dir.File("photo"), content);
  File file;
  ASSERT_FALSE(file.OpenForReading(dir.File("photo")));
  MappedFile held;
  ASSERT_FALSE(held.Map(file, content.size()));
  ASSERT_EQ(::truncate(dir.File("photo").c_str(), 0), 0);
  EXPECT_EQ(Bytes(held.bytes().begin(), held.bytes().end()), content);
  MappedFile again;
  EXPECT_EQ(again.Map(file, content.size()).value(), EIO);
  EXPECT_TRUE(again.bytes().empty());
}

TEST(Files, CopyKeepsContentModeAndTime) {
  TempDir dir;
  Bytes content(300000);
  for (size_t i = 0; i < content.size(); ++i) content[i] = static_cast<uint8_t>(i * 7);
  WriteFile(dir.File("src"), content);
  ASSERT_EQ(chmod(dir.File("src").c_str(), 0640), 0);
  WriteFile(dir.File("dst"), Bytes(10, 9));
  EXPECT_FALSE(CopyFile(dir.File("src"), dir.File("dst")));
  EXPECT_EQ(ReadFile(dir.File("dst")), content);
  EXPECT_EQ(ReadAttributes(dir.File("dst"))->mode, 0640u);
  EXPECT_EQ(SaveFileTime(dir.File("dst")), SaveFileTime(dir.File("src")));
}

}  // namespace
}  // namespace keelpack::platform
