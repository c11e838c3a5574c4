// The options onto the option set; usage errors are tested on the built program.
#include "cli/command_line.h"

#include <gtest/gtest.h>

#include <functional>

#include "support/temp_dir.h"

namespace keelpack::cli {
namespace {

ParseResult Parse(std::vector<std::string> args) {
  args.insert(args.begin(), kCliName);
  std::vector<const char*> argv;
  for (const std::string& arg : args) argv.push_back(arg.c_str());
  return ParseCommandLine(static_cast<int>(argv.size()), argv.data());
}

TEST(CommandLine, EachOptionSetsItsOneFieldAndTheRestKeepTheirDefaults) {
  struct Case {
    std::vector<std::string> args;
    std::function<void(CliRequest&)> expect;
  };
  const std::vector<Case> cases = {
      {{}, [](CliRequest&) {}},
      {{"--exif", "keep"}, [](CliRequest& r) { r.options.exif = ExifOption::kKeepOriginal; }},
      {{"--exif", "delete"}, [](CliRequest& r) { r.options.exif = ExifOption::kDelete; }},
      {{"--icc", "keep"}, [](CliRequest& r) { r.options.icc = IccPolicy::kKeepAll; }},
      {{"--icc", "remove"}, [](CliRequest& r) { r.options.icc = IccPolicy::kForceRemoval; }},
      {{"--dpi"}, [](CliRequest& r) { r.options.dpi = 1; }},
      {{"--corrupted", "ignore"}, [](CliRequest& r) { r.options.corrupted = CorruptedChoice::kIgnore; }},
      {{"--corrupted", "delete"}, [](CliRequest& r) { r.options.corrupted = CorruptedChoice::kDelete; }},
      {{"--mask", "bad-*"}, [](CliRequest& r) { r.options.mask = "bad-*"; }},
      {{"--non-jpegs"}, [](CliRequest& r) { r.options.nonjpegs = 1; }},
      {{"--output", "/o"}, [](CliRequest& r) { r.options.difdir = 1, r.options.output = "/o"; }},
      {{"--check-readability"}, [](CliRequest& r) { r.options.readability = 1; }},
      {{"--slow"}, [](CliRequest& r) { r.options.slow = 1; }},
      {{"--backups"}, [](CliRequest& r) { r.options.backups = 1; }},
      {{"--optimize"}, [](CliRequest& r) { r.options.optimize = OptimizeChoice::kHuffman; }},
      {{"--progressive"}, [](CliRequest& r) { r.options.optimize = OptimizeChoice::kProgressive; }},
      {{"--log-level", "2"}, [](CliRequest& r) { r.logLevel = r.options.log = 2; }},
      {{"-q"}, [](CliRequest& r) { r.verbosity = Verbosity::kQuiet; }},
      {{"--verbose"}, [](CliRequest& r) { r.verbosity = Verbosity::kVerbose; }},
      {{"--no-fsync"}, [](CliRequest& r) { r.durable = false; }},
      {{"-j", "3"}, [](CliRequest& r) { r.jobs = 3; }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.args));
    std::vector<std::string> args = c.args;
    args.insert(args.end(), {"a.jpg", "photos"});
    const ParseResult result = Parse(args);
    ASSERT_TRUE(result.request) << result.err;
    CliRequest expected;
    expected.paths = {"a.jpg", "photos"};
    c.expect(expected);
    EXPECT_EQ(result.request->paths, expected.paths);
    EXPECT_EQ(result.request->options, expected.options);
    EXPECT_EQ(result.request->logLevel, expected.logLevel);
    EXPECT_EQ(result.request->verbosity, expected.verbosity);
    EXPECT_EQ(result.request->durable, expected.durable);
    EXPECT_EQ(result.request->jobs, expected.jobs);
  }
}

TEST(CommandLine, ListsAreSplitAtLineEndsOrAtNuls) {
  using namespace std::string_literals;
  EXPECT_EQ(SplitNames("a b\n\nc\0d\n"s, false), (std::vector<std::string>{"a b", "c\0d"s}));
  EXPECT_EQ(SplitNames("a\nb\0\0c"s, true), (std::vector<std::string>{"a\nb", "c"}));
}

TEST(CommandLine, SettingsFileComesFirstAndTheCommandLineWins) {
  test::TempDir dir;
  const std::string ini = dir.File("opts.ini");
  test::WriteFile(ini, test::ToBytes("Exif=2\r\nICC=1\r\nCorrupted=0\r\nMask=m*\r\nDifDir=1\r\n"
                                     "Output=/o\r\nSlow=1\r\nBackups=1\r\nLog=2\r\n"));
  OptionSet fromFile;
  fromFile.exif = ExifOption::kDelete;
  fromFile.icc = IccPolicy::kKeepAll;
  fromFile.corrupted = CorruptedChoice::kIgnore;
  fromFile.mask = "m*";
  fromFile.difdir = 1;
  fromFile.output = "/o";
  fromFile.slow = fromFile.backups = 1;
  fromFile.log = 2;

  ParseResult result = Parse({"--settings", ini, "x"});
  ASSERT_TRUE(result.request) << result.err;
  EXPECT_EQ(result.request->options, fromFile);
  EXPECT_EQ(result.request->logLevel, 2);

  result = Parse({"--settings", ini, "--exif", "keep", "--log-level", "0", "--output", "/p", "x"});
  ASSERT_TRUE(result.request) << result.err;
  OptionSet expected = fromFile;
  expected.exif = ExifOption::kKeepOriginal;
  expected.log = 0;
  expected.output = "/p";
  EXPECT_EQ(result.request->options, expected);
  EXPECT_EQ(result.request->logLevel, 0);
}

}  // namespace
}  // namespace keelpack::cli
