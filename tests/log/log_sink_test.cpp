#include "log/log_sink.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/files.h"
#include "support/temp_dir.h"

namespace keelpack {
namespace {

using ::testing::ElementsAre;

TEST(LogSink, TheLevelDecidesWhatReachesTheFileAndAFailureIsReportedOnce) {
  test::Sandbox dir;
  test::CapturingLogBox box;
  LogSink log{box};
  const std::string logFile = dir.File("config/keelpack.log");
  log.SetLogLevel(kBrief);
  log.WriteLog("Starting", kBrief, true);
  log.AppendScreenLog("verbose line", kVerbose);      // shown, not written
  log.WriteLog("explicit restart", kExplicit, true);  // above the level: no truncation
  log.AppendScreenLog("brief line", kBrief), log.AppendScreenLog("screen only", kScreenOnly);
  EXPECT_EQ(test::ReadFile(logFile), test::ToBytes("Starting\r\nbrief line\r\n"));
  EXPECT_THAT(box.lines, ElementsAre("verbose line", "brief line", "screen only"));

  // Level 0 leaves an old file alone; the screen echo shows every WriteLog message.
  box.lines.clear();
  log.SetLogLevel(0), log.SetScreenDebug(true);
  log.WriteLog("restart", kBrief, true);
  log.AppendScreenLog("twice", kVerbose);
  EXPECT_THAT(test::ReadLines(logFile), ElementsAre("Starting", "brief line"));
  log.SetEchoOnce(true);  // the command line's choice
  log.AppendScreenLog("once", kVerbose);
  log.WriteLog("echoed", kVerbose);
  EXPECT_THAT(box.lines, ElementsAre("restart", "twice", "twice", "once", "echoed"));
  log.SetLogLevel(kExplicit);
  log.WriteLog("fresh", kBrief, true);
  EXPECT_THAT(test::ReadLines(logFile), ElementsAre("fresh"));

  // Without a per-user folder there is no log file, and nothing goes to the root folder; the
  // failure is shown once, without moving the view.
  log.SetScreenDebug(false), box.lines.clear();
  test::WriteFile(dir.File("plain"), {});
  test::ScopedEnv config("XDG_CONFIG_HOME", dir.File("plain/config"));
  const bool rootHadOne = platform::Exists("/keelpack.log");
  log.AppendScreenLog("first failure", kBrief), log.AppendScreenLog("second failure", kBrief);
  EXPECT_THAT(box.lines,
              ElementsAre("first failure", "Failed to write to the logfile!", "second failure"));
  EXPECT_THAT(box.quietLines, ElementsAre("Failed to write to the logfile!"));
  EXPECT_EQ(platform::Exists("/keelpack.log"), rootHadOne);
}

}  // namespace
}  // namespace keelpack
