#include "settings/settings_file.h"

#include <gtest/gtest.h>

#include <functional>

#include "platform/files.h"
#include "support/temp_dir.h"

namespace keelpack {
namespace {

// Eighteen lines written and read back; the values kept without a file; what a file says
// forgiven where it can be read, skipped where it cannot.
TEST(SettingsFile, WritesEighteenLinesReadsThemBackAndForgivesWhatItCan) {
  test::Sandbox dir;
  const std::string path = dir.File("keelpack.ini");
  ASSERT_TRUE(SaveSettings(path, OptionSet{}, 0));
  const char* defaults =
      "Exif=1\r\nICC=0\r\nDPI=0\r\nCorrupted=2\r\nNonJPEGs=0\r\nMask=_corrupted_*.*\r\nDifDir=0\r\n"
      "Output=\r\nReadability=0\r\nSlow=0\r\nBackups=0\r\nFont=\r\nCharSet=\r\nLog=0\r\n"
      "Optimize=0\r\nConfirmTree=1\r\nLastFolder=\r\nUpright=0\r\n";
  EXPECT_EQ(test::ReadFile(path), test::ToBytes(defaults));
  OptionSet all;  // every value other than its default
  all.optimize = OptimizeChoice::kProgressive, all.icc = IccPolicy::kForceRemoval, all.slow = 1,
  all.corrupted = CorruptedChoice::kIgnore, all.lastFolder = "/home/me/album 2", all.dpi = 1,
  all.output = "/home/me/out dir", all.exif = ExifChoice::kDelete, all.saveInDifferentFolder = 1,
  all.font = "DejaVu Sans", all.mask = "/bad/*-*.*", all.includeNonJpegs = 1, all.readability = 1,
  all.confirmTree = 0, all.charset = "0", all.backups = 1, all.upright = 1;
  ASSERT_TRUE(SaveSettings(path, all, 3));
  const LoadedSettings back = LoadSettings(path, OptionSet{});
  EXPECT_EQ(std::tuple(back.options, back.logTicked, back.logLevel), std::tuple(all, true, 3));

  // A missing file, or a device without end, leaves the starting values; a save needs a folder.
  EXPECT_EQ(LoadSettings(dir.File("absent.ini"), all).options, all);
  EXPECT_EQ(LoadSettings("/dev/zero", all).options, all);
  EXPECT_FALSE(SaveSettings(dir.File("no/such/folder/keelpack.ini"), all, 0));
  // Nor through a link where its fresh copy goes: what the link points at is never made.
  ASSERT_EQ(::symlink(dir.File("elsewhere").c_str(), (path + ".new").c_str()), 0);
  EXPECT_FALSE(SaveSettings(path, all, 0) || platform::Exists(dir.File("elsewhere")));
  // Without a per-user folder there is no settings file, and nothing goes to the root folder.
  test::WriteFile(dir.File("plain"), {});
  test::ScopedEnv config("XDG_CONFIG_HOME", dir.File("plain/config"));
  const bool rootHadOne = platform::Exists("/keelpack.ini");
  EXPECT_FALSE(SaveSettings(SettingsFilePath(), all, 0));
  EXPECT_EQ(platform::Exists("/keelpack.ini"), rootHadOne);

  // Each text is loaded over the defaults; `change` says how the options differ from them.
  const struct {
    const char* text;
    std::function<void(OptionSet&)> change;
    bool logTicked = false;
    std::optional<int> logLevel = {};
  } rows[] = {
      {"  CORRUPTED = 1 \r\nexif=7\r\nslow=1\r\nLog=0",
       [](OptionSet& o) { o.corrupted = CorruptedChoice::kDelete, o.slow = 1; }},
      {"no equals sign here\r\ncolour=3\r\nmask = a=b \r\n", [](OptionSet& o) { o.mask = "a=b"; }},
      {"slow=0.6\nreadability=+1\rdifdir=2.0\nLog=2.0",
       [](OptionSet& o) { o.slow = 1, o.readability = 1, o.saveInDifferentFolder = 2; }, true},
      // A number ends at its last decimal digit: hexadecimal "0x2" is 0.
      {"dpi=1\r\ndpi=yes\r\nNonJPEGs=2\rBackups=\t1\ricc=0x2\r",
       [](OptionSet& o) { o.includeNonJpegs = 2, o.backups = 1; }},
      {"icc=2\r\nicc=1\r\nOptimize = 1\r\noptimize=3\r\nbackups=-1\r\nslow=1e1",
       [](OptionSet& o) { o.icc = IccPolicy::kKeepAll, o.optimize = OptimizeChoice::kHuffman; }},
      {"dpi=2\r\nFont=Sans\r\nCharSet=5\r\nOutput= /o ",
       [](OptionSet& o) { o.dpi = 2, o.font = "Sans", o.charset = "5", o.output = "/o"; }},
      {"Log=2", [](OptionSet&) {}, true, 2},
      {"ConfirmTree=0\r\nconfirmtree=2\r\nLASTFOLDER = /p/a b \r\n",
       [](OptionSet& o) { o.confirmTree = 0, o.lastFolder = "/p/a b"; }},
      {"UPRIGHT = 1.2\r\nupright=3", [](OptionSet& o) { o.upright = 1; }}};
  for (const auto& row : rows) {
    test::WriteFile(dir.File("s.ini"), test::ToBytes(row.text));
    const LoadedSettings parsed = LoadSettings(dir.File("s.ini"), OptionSet{});
    OptionSet expected;
    row.change(expected);
    EXPECT_EQ(parsed.options, expected) << row.text;
    EXPECT_EQ(parsed.logTicked, row.logTicked) << row.text;
    EXPECT_EQ(parsed.logLevel, row.logLevel) << row.text;
  }
}

}  // namespace
}  // namespace keelpack
