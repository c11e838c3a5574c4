// The options onto the option set; usage errors are tested on the built program.
#include "cli/command_line.h"

#include <gtest/gtest.h>

#include <iterator>
#include <sstream>

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
  // Each row: the settings text, then the options that set the same.
  for (const std::string row :
       {"Exif=0 --exif keep", "Exif=2 --exif delete", "ICC=1 --icc keep", "ICC=2 --icc remove",
        "DPI=1 --dpi", "Corrupted=0 --corrupted ignore", "Corrupted=1 --corrupted delete",
        "Mask=bad-* --mask bad-*", "NonJPEGs=1 --non-jpegs", "DifDir=1\r\nOutput=/o --output /o",
        "Readability=1 --check-readability", "Slow=1 --slow", "Backups=1 --backups",
        "Optimize=1 --optimize", "Optimize=2 --progressive", "Log=2 --log-level 2",
        "Upright=1 --upright"}) {
    SCOPED_TRACE(row);
    std::istringstream words(row.substr(row.find(' ') + 1));
    const std::vector<std::string> args(std::istream_iterator<std::string>(words), {});
    const CliRequest given = parse(args), file = parse({}, row.substr(0, row.find(' ')));
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
