// The options onto the option set; usage errors are tested on the built program.
#include "cli/command_line.h"

#include <gtest/gtest.h>

#include <functional>

#include "support/temp_dir.h"

namespace keelpack::cli {
namespace {

TEST(CommandLine, EachOptionSetsItsOneFieldAndASettingsFileComesFirst) {
  test::TempDir dir;
  const std::string ini = dir.File("opts.ini");
  test::WriteFile(ini, test::ToBytes("Exif=2\r\nICC=1\r\nCorrupted=0\r\nMask=m*\r\nDifDir=1\r\n"
                                     "Output=/o\r\nSlow=1\r\nBackups=1\r\nLog=2\r\n"));
  const auto fromFile = [](CliRequest& r) {
    r.options.exif = ExifOption::kDelete, r.options.icc = IccPolicy::kKeepAll;
    r.options.corrupted = CorruptedChoice::kIgnore, r.options.mask = "m*";
    r.options.difdir = 1, r.options.output = "/o";
    r.options.slow = r.options.backups = 1, r.logLevel = r.options.log = 2;
  };
  const std::vector<std::pair<std::vector<std::string>, std::function<void(CliRequest&)>>> cases = {
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
      {{"--settings", ini}, fromFile},
      {{"--settings", ini, "--exif", "keep", "--log-level", "0", "--output", "/p"},
       [&](CliRequest& r) {
         fromFile(r);
         r.options.exif = ExifOption::kKeepOriginal, r.logLevel = r.options.log = 0;
         r.options.output = "/p";
       }},
  };
  for (const auto& [options, expect] : cases) {
    SCOPED_TRACE(::testing::PrintToString(options));
    std::vector<const char*> argv{kCliName};
    for (const std::string& arg : options) argv.push_back(arg.c_str());
    argv.insert(argv.end(), {"a.jpg", "photos"});
    const ParseResult result = ParseCommandLine(static_cast<int>(argv.size()), argv.data());
    ASSERT_TRUE(result.request) << result.err;
    CliRequest expected;
    expected.paths = {"a.jpg", "photos"};
    expect(expected);
    const CliRequest& got = *result.request;
    EXPECT_TRUE(got.paths == expected.paths && got.logLevel == expected.logLevel &&
                got.verbosity == expected.verbosity && got.durable == expected.durable &&
                got.jobs == expected.jobs);
    EXPECT_EQ(got.options, expected.options);
  }
  using namespace std::string_literals;
  EXPECT_EQ(SplitNames("a b\n\nc\0d\n"s, false), (std::vector<std::string>{"a b", "c\0d"s}));
  EXPECT_EQ(SplitNames("a\nb\0\0c"s, true), (std::vector<std::string>{"a\nb", "c"}));
}

}  // namespace
}  // namespace keelpack::cli
