// The options onto the option set; usage errors are tested on the built program.
#include "cli/command_line.h"

#include <gtest/gtest.h>

#include "support/temp_dir.h"

namespace keelpack::cli {
namespace {

// Each option sets what its settings line sets; options given win over a settings file.
TEST(CommandLine, OptionsSetWhatTheirSettingsLinesSet) {
  test::TempDir dir;
  const auto parse = [&](std::vector<std::string> args, const std::string& settings = "") {
    test::WriteFile(dir.File("s.ini"), test::ToBytes(settings));
    args.insert(args.begin(), {kCliName, "--settings", dir.File("s.ini")});
    args.push_back("photos");
    std::vector<const char*> argv;
    for (const std::string& arg : args) argv.push_back(arg.c_str());
    const ParseResult result = ParseCommandLine(static_cast<int>(argv.size()), argv.data());
    EXPECT_TRUE(result.request) << result.err;
    return result.request.value_or(CliRequest{});
  };
  const std::vector<std::pair<std::vector<std::string>, std::string>> rows = {
      {{"--exif", "keep"}, "Exif=0"},
      {{"--exif", "delete"}, "Exif=2"},
      {{"--icc", "keep"}, "ICC=1"},
      {{"--icc", "remove"}, "ICC=2"},
      {{"--dpi"}, "DPI=1"},
      {{"--corrupted", "ignore"}, "Corrupted=0"},
      {{"--corrupted", "delete"}, "Corrupted=1"},
      {{"--mask", "bad-*"}, "Mask=bad-*"},
      {{"--non-jpegs"}, "NonJPEGs=1"},
      {{"--output", "/o"}, "DifDir=1\r\nOutput=/o"},
      {{"--check-readability"}, "Readability=1"},
      {{"--slow"}, "Slow=1"},
      {{"--backups"}, "Backups=1"},
      {{"--optimize"}, "Optimize=1"},
      {{"--progressive"}, "Optimize=2"},
      {{"--log-level", "2"}, "Log=2"},
      {{"--upright"}, "Upright=1"},
  };
  for (const auto& [args, line] : rows) {
    SCOPED_TRACE(line);
    const CliRequest given = parse(args), file = parse({}, line);
    EXPECT_TRUE(given.options == file.options && given.logLevel == file.logLevel);
  }
  EXPECT_EQ(parse({}).options, OptionSet{});
  const CliRequest both = parse({"--exif=keep", "--log-level=0"}, "Exif=2\r\nLog=2\r\nSlow=1");
  EXPECT_TRUE(both.options == parse({"--slow"}, "Exif=0").options && both.logLevel == 0);
  const CliRequest quiet = parse({"-q", "--no-fsync", "-j", "3"}), loud = parse({"--verbose"});
  EXPECT_TRUE(quiet.verbosity == Verbosity::kQuiet && !quiet.durable && quiet.jobs == 3 &&
              quiet.paths.size() == 1 && loud.verbosity == Verbosity::kVerbose);
}

}  // namespace
}  // namespace keelpack::cli
