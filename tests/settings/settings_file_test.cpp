#include "settings/settings_file.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/files.h"
#include "support/temp_dir.h"

namespace keelpack {
namespace {

using ::testing::ElementsAre;

class SettingsFileTest : public ::testing::Test {
 protected:
  LoadedSettings Load(const std::string& text) {
    test::WriteFile(path, test::ToBytes(text));
    return LoadSettings(path, OptionSet{});
  }
  test::TempDir dir;
  std::string path = dir.File("keelpack.ini");
};

TEST_F(SettingsFileTest, DefaultsAreWrittenAsFifteenLines) {
  ASSERT_TRUE(SaveSettings(path, OptionSet{}, 0));
  auto bytes = test::ReadFile(path);
  EXPECT_EQ(std::string(bytes.begin(), bytes.end()),
            "Exif=1\r\nICC=0\r\nDPI=0\r\nCorrupted=2\r\nNonJPEGs=0\r\nMask=_corrupted_*.*\r\n"
            "DifDir=0\r\nOutput=\r\nReadability=0\r\nSlow=0\r\nBackups=0\r\nFont=\r\nCharSet=\r\nLog=0\r\n"
            "Optimize=0\r\n");
}

TEST_F(SettingsFileTest, EveryValueSurvivesARoundTrip) {
  OptionSet options;
  options.exif = ExifOption::kDelete;
  options.icc = IccPolicy::kForceRemoval;
  options.dpi = 1;
  options.corrupted = CorruptedChoice::kIgnore;
  options.nonjpegs = 1;
  options.mask = "/bad/*-*.*";
  options.difdir = 1;
  options.output = "/home/me/out dir";
  options.readability = 1;
  options.slow = 1;
  options.backups = 1;
  options.font = "DejaVu Sans";
  options.charset = "0";
  options.optimize = OptimizeChoice::kProgressive;
  ASSERT_TRUE(SaveSettings(path, options, 3));
  LoadedSettings loaded = LoadSettings(path, OptionSet{});
  options.log = 3;
  EXPECT_EQ(loaded.options, options);
  EXPECT_TRUE(loaded.logTicked);
  EXPECT_EQ(loaded.logLevel, 3);
}

TEST_F(SettingsFileTest, ParseForgivesAndSkipsWhatItCannotUse) {
  LoadedSettings loaded = Load(
      "  CORRUPTED = 1 \r\n"   // upper-case key, blanks around: Delete
      "exif=7\r\n"            // out of range: ignored
      "no equals sign here\r\n"
      "colour=3\r\n"          // unknown key
      "mask = a=b \r\n"       // the first "=" splits
      "slow=0.6\n"            // rounded, and a bare LF line end
      "dpi=yes\r\n"           // no number: 0
      "NonJPEGs=2\r"          // a check box's third value, and a lone CR line end
      "Backups=\t1\r"         // a tab before the number
      "icc=2\r\nicc=1\r\n"    // the later line wins
      "Optimize = 1\r\noptimize=3\r\n");
  EXPECT_EQ(loaded.options.corrupted, CorruptedChoice::kDelete);
  EXPECT_EQ(loaded.options.nonjpegs, 2);
  EXPECT_EQ(loaded.options.backups, 1);
  EXPECT_EQ(loaded.options.exif, ExifOption::kReduceSize);
  EXPECT_EQ(loaded.options.mask, "a=b");
  EXPECT_EQ(loaded.options.slow, 1);
  EXPECT_EQ(loaded.options.dpi, 0);
  EXPECT_EQ(loaded.options.icc, IccPolicy::kKeepAll);
  EXPECT_EQ(loaded.options.optimize, OptimizeChoice::kHuffman);
}

TEST_F(SettingsFileTest, LogTicksOnAnyPositiveValueButChoosesOnlyExactLevels) {
  LoadedSettings twoPointZero = Load("Log=2.0\r\n");
  EXPECT_TRUE(twoPointZero.logTicked);
  EXPECT_FALSE(twoPointZero.logLevel);
  LoadedSettings two = Load("Log=2\r\n");
  EXPECT_TRUE(two.logTicked);
  EXPECT_EQ(two.logLevel, 2);
  LoadedSettings zero = Load("Log=0\r\n");
  EXPECT_FALSE(zero.logTicked);
  EXPECT_FALSE(zero.logLevel);
}

TEST_F(SettingsFileTest, MissingFileKeepsTheStartingValuesAndUnwritableSaveFails) {
  OptionSet start;
  start.exif = ExifOption::kKeepOriginal;
  EXPECT_EQ(LoadSettings(dir.File("absent.ini"), start).options, start);
  EXPECT_FALSE(SaveSettings(dir.File("no/such/folder/keelpack.ini"), start, 0));
  // A device without end is read no further than any settings file could reach.
  EXPECT_EQ(LoadSettings("/dev/zero", start).options, start);
  // Without a per-user folder there is no settings file, and nothing goes to the root folder.
  test::WriteFile(dir.File("plain"), {});
  test::ScopedEnv config("XDG_CONFIG_HOME", dir.File("plain/config"));  // cannot be made
  const bool rootHadOne = platform::Exists("/keelpack.ini");
  EXPECT_EQ(SettingsFilePath(), "");
  EXPECT_FALSE(SaveSettings(SettingsFilePath(), start, 0));
  EXPECT_EQ(platform::Exists("/keelpack.ini"), rootHadOne);
}

}  // namespace
}  // namespace keelpack
