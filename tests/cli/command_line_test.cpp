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

TEST(CommandLine, WithoutOptionsEverythingKeepsItsDefault) {
  const ParseResult result = Parse({"a.jpg", "photos"});
  ASSERT_TRUE(result.request) << result.err;
  EXPECT_EQ(result.request->paths, (std::vector<std::string>{"a.jpg", "photos"}));
  EXPECT_EQ(result.request->options, OptionSet{});
  EXPECT_EQ(result.request->logLevel, 0);
  EXPECT_EQ(result.request->verbosity, Verbosity::kNormal);
  EXPECT_TRUE(result.request->durable);
}

TEST(CommandLine, EachOptionSetsItsOneFieldOfTheOptionSet) {
  struct Case {
    std::vector<std::string> args;
    std::function<void(OptionSet&)> expect;
  };
  const std::vector<Case> cases = {
      {{"--exif", "keep"}, [](OptionSet& o) { o.exif = kExifKeepOriginal; }},
      {{"--exif", "delete"}, [](OptionSet& o) { o.exif = kExifDelete; }},
      {{"--icc", "keep"}, [](OptionSet& o) { o.icc = kIccKeepAll; }},
      {{"--icc", "remove"}, [](OptionSet& o) { o.icc = kIccForceRemoval; }},
      {{"--dpi"}, [](OptionSet& o) { o.dpi = 1; }},
      {{"--corrupted", "ignore"}, [](OptionSet& o) { o.corrupted = kCorruptedIgnore; }},
      {{"--corrupted", "delete"}, [](OptionSet& o) { o.corrupted = kCorruptedDelete; }},
      {{"--mask", "bad-*"}, [](OptionSet& o) { o.mask = "bad-*"; }},
      {{"--non-jpegs"}, [](OptionSet& o) { o.nonjpegs = 1; }},
      {{"--output", "/some/out"}, [](OptionSet& o) { o.difdir = 1, o.output = "/some/out"; }},
      {{"--check-readability"}, [](OptionSet& o) { o.readability = 1; }},
      {{"--slow"}, [](OptionSet& o) { o.slow = 1; }},
      {{"--backups"}, [](OptionSet& o) { o.backups = 1; }},
      {{"--log-level", "2"}, [](OptionSet& o) { o.log = 2; }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.args));
    std::vector<std::string> args = c.args;
    args.push_back("photos");
    const ParseResult result = Parse(args);
    ASSERT_TRUE(result.request) << result.err;
    OptionSet expected;
    c.expect(expected);
    EXPECT_EQ(result.request->options, expected);
    EXPECT_EQ(result.request->logLevel, expected.log);
  }
}

TEST(CommandLine, VerbosityAndFsync) {
  EXPECT_EQ(Parse({"-q", "x"}).request->verbosity, Verbosity::kQuiet);
  EXPECT_EQ(Parse({"--verbose", "x"}).request->verbosity, Verbosity::kVerbose);
  EXPECT_FALSE(Parse({"--no-fsync", "x"}).request->durable);
}

TEST(CommandLine, UsageErrorsEndWithStatusTwoAndAMessage) {
  const std::vector<std::vector<std::string>> calls = {
      {},
      {"--exif", "most", "x"},
      {"--icc", "auto-ish", "x"},
      {"--corrupted", "Rename", "x"},
      {"--log-level", "4", "x"},
      {"--log-level", "-1", "x"},
      {"--log-level", "two", "x"},
      {"-q", "-v", "x"},
      {"--backups", "--output", "o", "x"},
      {"--mask"},
      {"--unknown", "x"},
  };
  for (const auto& args : calls) {
    SCOPED_TRACE(::testing::PrintToString(args));
    const ParseResult result = Parse(args);
    EXPECT_FALSE(result.request);
    EXPECT_EQ(result.exitStatus, kExitUsage);
    EXPECT_TRUE(result.err.starts_with("keelpack-cli: ")) << result.err;
    EXPECT_EQ(result.out, "");
  }
}

TEST(CommandLine, SettingsFileComesFirstAndTheCommandLineWins) {
  test::TempDir dir;
  const std::string ini = dir.File("opts.ini");
  test::WriteFile(ini, test::ToBytes("Exif=2\r\nICC=1\r\nCorrupted=0\r\nMask=m*\r\nDifDir=1\r\n"
                                     "Output=/o\r\nSlow=1\r\nBackups=1\r\nLog=2\r\n"));
  OptionSet fromFile;
  fromFile.exif = kExifDelete;
  fromFile.icc = kIccKeepAll;
  fromFile.corrupted = kCorruptedIgnore;
  fromFile.mask = "m*";
  fromFile.difdir = 1;
  fromFile.output = "/o";
  fromFile.slow = 1;
  fromFile.backups = 1;
  fromFile.log = 2;

  ParseResult result = Parse({"--settings", ini, "x"});
  ASSERT_TRUE(result.request) << result.err;
  EXPECT_EQ(result.request->options, fromFile);
  EXPECT_EQ(result.request->logLevel, 2);

  result = Parse({"--settings", ini, "--exif", "keep", "--log-level", "0", "--output", "/p", "x"});
  ASSERT_TRUE(result.request) << result.err;
  OptionSet expected = fromFile;
  expected.exif = kExifKeepOriginal;
  expected.log = 0;
  expected.output = "/p";
  EXPECT_EQ(result.request->options, expected);
  EXPECT_EQ(result.request->logLevel, 0);

  result = Parse({"--settings", dir.File("missing.ini"), "x"});
  EXPECT_EQ(result.exitStatus, kExitUsage);
  EXPECT_TRUE(result.err.find("missing.ini") != std::string::npos) << result.err;
}

}  // namespace
}  // namespace keelpack::cli
