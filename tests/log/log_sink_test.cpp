#include "log/log_sink.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "platform/files.h"
#include "support/temp_dir.h"

namespace keelpack {
namespace {

using test::ReadLines;
using ::testing::ElementsAre;

class LogSinkTest : public ::testing::Test {
 protected:
  test::Sandbox dir;
  test::CapturingLogBox box;
  LogSink log{box};
  std::string logFile = dir.File("config/keelpack.log");
};

TEST_F(LogSinkTest, LevelZeroWritesNoFileAndLeavesAnOldOneAlone) {
  log.WriteLog("first", kBrief, true);
  EXPECT_FALSE(platform::Exists(logFile));

  log.SetLogLevel(kBrief);
  log.WriteLog("kept", kBrief, true);
  log.SetLogLevel(0);
  log.WriteLog("restart", kBrief, true);
  log.AppendScreenLog("shown", kBrief);
  EXPECT_THAT(ReadLines(logFile), ElementsAre("kept"));
  EXPECT_THAT(box.lines, ElementsAre("shown"));
}

TEST_F(LogSinkTest, FileTakesMessagesUpToTheLevelAndRestartsOnlyWhenAllowed) {
  log.SetLogLevel(kBrief);
  log.WriteLog("Starting", kBrief, true);
  log.AppendScreenLog("verbose line", kVerbose);  // shown, not written
  log.WriteLog("explicit restart", kExplicit, true);  // above the level: no truncation
  log.AppendScreenLog("brief line", kBrief);
  log.AppendScreenLog("screen only", kScreenOnly);
  EXPECT_THAT(ReadLines(logFile), ElementsAre("Starting", "brief line"));
  EXPECT_THAT(box.lines, ElementsAre("verbose line", "brief line", "screen only"));

  auto raw = test::ReadFile(logFile);
  EXPECT_EQ(std::string(raw.begin(), raw.end()), "Starting\r\nbrief line\r\n");

  log.SetLogLevel(kExplicit);
  log.WriteLog("fresh", kBrief, true);
  EXPECT_THAT(ReadLines(logFile), ElementsAre("fresh"));
}

TEST_F(LogSinkTest, ScreenDebugEchoesEveryWriteLogMessage) {
  log.SetScreenDebug(true);
  log.AppendScreenLog("twice", kVerbose);
  log.WriteLog("once", kExplicit);
  log.AppendScreenLog("screen", kScreenOnly);
  EXPECT_THAT(box.lines, ElementsAre("twice", "twice", "once", "screen"));
  EXPECT_FALSE(platform::Exists(logFile));
}

TEST_F(LogSinkTest, CreatesTheMissingApplicationDataFolder) {
  log.SetLogLevel(kBrief);
  log.WriteLog("hello", kBrief, true);
  struct stat info {};
  ASSERT_EQ(stat(dir.File("config").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0700u);
  EXPECT_THAT(ReadLines(logFile), ElementsAre("hello"));
}

TEST_F(LogSinkTest, AnUnwritableFileIsReportedOnceWithoutMovingTheView) {
  log.SetLogLevel(kBrief);
  log.WriteLog("a", kBrief, true);
  // A folder in the file's place fails for every user, the superuser included.
  ASSERT_FALSE(platform::RemoveFile(logFile));
  ASSERT_FALSE(platform::MakeFolder(logFile));

  log.AppendScreenLog("first failure", kBrief);
  log.AppendScreenLog("second failure", kBrief);
  log.SetLogLevel(kExplicit);
  log.WriteLog("third failure", kBrief);
  EXPECT_THAT(box.lines, ElementsAre("first failure", "Failed to write to the logfile!", "second failure"));
  EXPECT_THAT(box.quietLines, ElementsAre("Failed to write to the logfile!"));
}

TEST_F(LogSinkTest, WithoutAPerUserFolderThereIsNoLogFile) {
  test::WriteFile(dir.File("plain"), {});
  test::ScopedEnv config("XDG_CONFIG_HOME", dir.File("plain/config"));  // cannot be made
  const bool rootHadOne = platform::Exists("/keelpack.log");
  log.SetLogLevel(kBrief);
  log.WriteLog("first", kBrief, true);
  log.WriteLog("second", kBrief);
  EXPECT_THAT(box.lines, ElementsAre("Failed to write to the logfile!"));
  EXPECT_EQ(platform::Exists("/keelpack.log"), rootHadOne);
}

}  // namespace
}  // namespace keelpack
