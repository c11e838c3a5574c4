// keelpack-cli as a user runs it: the built program over real temporary folders.
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <filesystem>
#include <regex>

#include "cli/cli_runner.h"
#include "support/exif_builder.h"
#include "support/pictures.h"
#include "support/temp_dir.h"
#include "version.h"

namespace keelpack::test {
namespace {

namespace fs = std::filesystem;
using std::chrono::seconds;

constexpr uint8_t kCom = 0xFE;
constexpr uint8_t kApp13 = 0xED;
constexpr uint8_t kApp1 = 0xE1;
constexpr size_t kSoiLength = 2;

// A real picture carrying a comment and a Photoshop segment, which the rewrite drops.
Bytes ShrinkablePicture(unsigned seed, int side = 48) {
  const Bytes plain = EncodePicture({.width = side, .height = side, .seed = seed});
  const Bytes soi(plain.begin(), plain.begin() + kSoiLength);
  const Bytes rest(plain.begin() + kSoiLength, plain.end());
  return Concat(
      {soi, SegmentBytes(kCom, Bytes(150, 'c')), SegmentBytes(kApp13, Bytes(250, 0x22)), rest});
}

// A picture cut in half: no end marker, so the rewrite finds it damaged.
Bytes Truncated(const Bytes& jpeg) { return Bytes(jpeg.begin(), jpeg.begin() + jpeg.size() / 2); }

bool Contains(const Bytes& haystack, const Bytes& needle) {
  return std::search(haystack.begin(), haystack.end(), needle.begin(), needle.end()) !=
         haystack.end();
}

bool Has(const std::string& text, std::string_view part) {
  return text.find(part) != std::string::npos;
}

size_t CountOf(const std::string& text, std::string_view part) {
  size_t count = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size()))
    ++count;
  return count;
}

std::vector<std::string> FilesEndingWith(const std::string& folder, std::string_view suffix) {
  std::vector<std::string> found;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    if (entry.path().string().ends_with(suffix)) found.push_back(entry.path().string());
  }
  return found;
}

class CliProgramTest : public ::testing::Test {
 protected:
  CliProgramTest() : photos_(dir_.File("photos")) { fs::create_directories(photos_); }

  CliResult Run(std::vector<std::string> args) { return RunCli(Call(std::move(args))); }
  CliCall Call(std::vector<std::string> args) const {
    return {std::move(args), dir_.File("config"), dir_.File("cache")};
  }

  // Writes a file below the photo folder and returns its full path.
  std::string Put(const std::string& relative, const Bytes& bytes) {
    const std::string path = photos_ + "/" + relative;
    fs::create_directories(fs::path(path).parent_path());
    WriteFile(path, bytes);
    return path;
  }

  // The file at `path` now shows exactly the picture of `original`, in fewer bytes.
  static void ExpectRewritten(const std::string& path, const Bytes& original) {
    const Bytes now = ReadFile(path);
    EXPECT_LT(now.size(), original.size()) << path;
    const auto pixels = DecodePixels(now);
    ASSERT_TRUE(pixels) << path << " does not decode";
    EXPECT_EQ(*pixels, *DecodePixels(original)) << path;
  }

  TempDir dir_;
  std::string photos_;
};

TEST_F(CliProgramTest, UsageErrorsExitTwoAndTouchNothing) {
  Put("a.jpg", ShrinkablePicture(1));
  Put("sub/b.jpg", Truncated(ShrinkablePicture(2)));
  const std::string notes = Put("notes.txt", ToBytes("not a picture"));
  const std::string other = dir_.File("other");
  fs::create_directories(other);
  const std::string out = dir_.File("out");
  const auto before = Snapshot(photos_);

  const std::vector<std::vector<std::string>> calls = {
      {},                                   // no path
      {photos_, dir_.File("missing.jpg")},  // a missing path after a good one
      {"--exif", "most", photos_},          // a value outside the choices
      {"--corrupted", "shred", photos_},
      {"--icc", "maybe", photos_},
      {"--log-level", "4", photos_},
      {"--no-such-option", photos_},
      {"-q", "-v", photos_},  // options that exclude each other
      {"--backups", "--output", out, photos_},
      {notes},                             // a file without a JPEG name
      {"--output", out, photos_, other},   // two mirrors into one folder
      {"--output", dir_.path(), photos_},  // the output folder holds the tree
      {"--output", photos_, photos_},
      {"--output", notes + "/x", photos_},                     // an output below a file
      {"--output", photos_ + "/sub", photos_ + "/sub/b.jpg"},  // a file inside the output
      {"--settings", dir_.File("none.ini"), photos_},
  };
  for (const auto& args : calls) {
    SCOPED_TRACE(::testing::PrintToString(args));
    const CliResult result = Run(args);
    EXPECT_EQ(result.exitStatus, 2);
    EXPECT_EQ(result.out, "");
    EXPECT_TRUE(result.err.starts_with("keelpack-cli: ")) << result.err;
    EXPECT_FALSE(Has(result.err, "\x1b")) << "escape codes on a standard error that is no terminal";
  }
  EXPECT_EQ(Snapshot(photos_), before);
  EXPECT_FALSE(fs::exists(out));
  EXPECT_FALSE(fs::exists(dir_.File("config/keelpack.log")));
}

TEST_F(CliProgramTest, HelpAndVersion) {
  const CliResult version = Run({"--version"});
  EXPECT_EQ(version.exitStatus, 0);
  EXPECT_EQ(version.out, "keelpack-cli " + std::string(kVersion) + "\n");

  const CliResult help = Run({"--help"});
  EXPECT_EQ(help.exitStatus, 0);
  for (const char* part : {"Usage: keelpack-cli [OPTIONS] PATH...", "--exif", "--no-fsync",
                           "EXIT STATUS", "keelpack.ini"}) {
    EXPECT_TRUE(Has(help.out, part)) << part;
  }
}

TEST_F(CliProgramTest, TreeOfGoodFilesIsRewrittenInPlaceAndExitsZero) {
  const std::vector<std::string> names = {"a.jpg", "sub/b.jpeg", "sub/deeper/c.JPG"};
  std::vector<Bytes> originals;
  int64_t time = 1'000'000'000LL * 86'400 * 365 * 20 + 123'456'789;  // in 1990, odd nanoseconds
  const unsigned modes[] = {0640, 0444, 0600};
  for (size_t i = 0; i < names.size(); ++i) {
    originals.push_back(ShrinkablePicture(static_cast<unsigned>(i + 1)));
    SetModeAndTime(Put(names[i], originals[i]), modes[i], time + static_cast<int64_t>(i) * 7);
  }
  Put(".hidden/d.jpg", ShrinkablePicture(9));
  Put("notes.txt", ToBytes("left alone"));
  const auto before = Snapshot(photos_);

  const CliResult result = Run({photos_});
  EXPECT_EQ(result.exitStatus, 0) << result.out << result.err;
  EXPECT_EQ(result.err, "");

  long long saved = 0;
  const auto after = Snapshot(photos_);
  for (size_t i = 0; i < names.size(); ++i) {
    ExpectRewritten(photos_ + "/" + names[i], originals[i]);
    EXPECT_EQ(after.at(names[i]).mtimeNs, before.at(names[i]).mtimeNs) << names[i];
    EXPECT_EQ(after.at(names[i]).mode, modes[i]) << names[i];
    saved += static_cast<long long>(originals[i].size() - after.at(names[i]).bytes.size());
  }
  EXPECT_EQ(after.at(".hidden/d.jpg"), before.at(".hidden/d.jpg"));
  EXPECT_EQ(after.at("notes.txt"), before.at("notes.txt"));
  EXPECT_EQ(after.size(), before.size()) << "a work file was left behind";

  // Nothing went wrong, so the summary is all there is to say.
  ASSERT_EQ(Lines(result.out).size(), 1u) << result.out;
  const auto summaries = Summaries(result.out);
  ASSERT_EQ(summaries.size(), 1u);
  EXPECT_EQ(summaries[0].files, 3);
  EXPECT_EQ(summaries[0].reduced, 3);
  EXPECT_EQ(summaries[0].bytesSaved, saved);
}

TEST_F(CliProgramTest, DamagedAndNonJpegFilesExitOneAndFollowTheOptions) {
  const Bytes good = ShrinkablePicture(1);
  const Bytes broken = Truncated(ShrinkablePicture(2));
  const Bytes text = ToBytes("a JPEG name on a text file");
  auto setUp = [&] {
    fs::remove_all(photos_);
    Put("good.jpg", good);
    Put("broken.jpg", broken);
    Put("text.jpg", text);
  };

  setUp();
  CliResult result = Run({photos_});
  EXPECT_EQ(result.exitStatus, 1);
  EXPECT_EQ(ReadFile(photos_ + "/_corrupted_broken.jpg"), broken);
  EXPECT_FALSE(fs::exists(photos_ + "/broken.jpg"));
  EXPECT_EQ(ReadFile(photos_ + "/text.jpg"), text);
  ExpectRewritten(photos_ + "/good.jpg", good);
  EXPECT_TRUE(Has(result.out, "Renaming corrupted " + photos_ + "/broken.jpg\n")) << result.out;
  EXPECT_TRUE(Has(result.out, "Incompatible file ignored - " + photos_ + "/text.jpg\n"))
      << result.out;

  setUp();
  result = Run({"--corrupted", "delete", "--non-jpegs", photos_});
  EXPECT_EQ(result.exitStatus, 1);
  EXPECT_FALSE(fs::exists(photos_ + "/broken.jpg"));
  EXPECT_FALSE(fs::exists(photos_ + "/text.jpg"));
  EXPECT_EQ(Snapshot(photos_).size(), 1u);

  setUp();
  result = Run({"--corrupted", "ignore", photos_});
  EXPECT_EQ(result.exitStatus, 1);
  EXPECT_EQ(ReadFile(photos_ + "/broken.jpg"), broken);

  setUp();
  result = Run({"--mask", "bad-*.*", "--non-jpegs", photos_});
  EXPECT_EQ(result.exitStatus, 1);
  EXPECT_EQ(ReadFile(photos_ + "/bad-broken.jpg"), broken);
  EXPECT_EQ(ReadFile(photos_ + "/bad-text.jpg"), text);
}

TEST_F(CliProgramTest, FilesFromTwoFoldersMakeOneRunBelowTheirCommonFolder) {
  const Bytes x = ShrinkablePicture(1), y = ShrinkablePicture(2), z = ShrinkablePicture(3);
  const std::string xPath = Put("a/x.jpg", x), yPath = Put("b/y.jpg", y), zPath = Put("a/z.jpg", z);

  CliResult result = Run({xPath, yPath});
  EXPECT_EQ(result.exitStatus, 0) << result.out << result.err;
  ExpectRewritten(xPath, x);
  ExpectRewritten(yPath, y);
  EXPECT_EQ(ReadFile(zPath), z) << "a file that was not named was processed";
  const auto summaries = Summaries(result.out);
  ASSERT_EQ(summaries.size(), 1u) << result.out;
  EXPECT_EQ(summaries[0].files, 2);

  // Into an output folder, the paths below the common folder are mirrored; a file named twice
  // is processed once.
  const auto before = Snapshot(photos_);
  const std::string out = dir_.File("out");
  result = Run({"--output", out, zPath, yPath, photos_ + "/a/../a/z.jpg"});
  EXPECT_EQ(result.exitStatus, 0) << result.out << result.err;
  EXPECT_EQ(Snapshot(photos_), before);
  ExpectRewritten(out + "/a/z.jpg", z);
  EXPECT_EQ(DecodePixels(ReadFile(out + "/b/y.jpg")), DecodePixels(y));
  EXPECT_EQ(Snapshot(out).size(), 2u);
  EXPECT_EQ(Summaries(result.out).at(0).files, 2);
}

TEST_F(CliProgramTest, FoldersAndFilesMakeOneRunEachInOrder) {
  const std::string first = Put("one/a.jpg", ShrinkablePicture(1));
  Put("two/b.jpg", ShrinkablePicture(2));
  Put("two/c.jpg", ShrinkablePicture(3));
  const std::string loose = Put("three/d.jpg", ShrinkablePicture(4));

  const CliResult result = Run({"-v", photos_ + "/two", loose, photos_ + "/one"});
  EXPECT_EQ(result.exitStatus, 0);
  const auto summaries = Summaries(result.out);
  ASSERT_EQ(summaries.size(), 3u) << result.out;
  EXPECT_EQ(summaries[0].files, 2);  // two/
  EXPECT_EQ(summaries[1].files, 1);  // one/
  EXPECT_EQ(summaries[2].files, 1);  // the loose file
  EXPECT_LT(result.out.find("Starting to recurse " + photos_ + "/two"),
            result.out.find("Starting to recurse " + photos_ + "/one"));
  EXPECT_LT(result.out.find("Starting to recurse " + photos_ + "/one"),
            result.out.find("Starting to process selected files in " + photos_ + "/three"));
  EXPECT_TRUE(Has(result.out, "Reading " + first + "\n"));
}

TEST_F(CliProgramTest, TreeMirrorsIntoAnOutputFolderInsideItAndLeavesThatFolderOut) {
  const Bytes a = ShrinkablePicture(1), b = ShrinkablePicture(2);
  Put("a.jpg", a);
  Put("s/b.jpg", b);
  const auto before = Snapshot(photos_);

  // The output folder written differently from the tree, with a trailing separator.
  const std::vector<std::string> args = {"--output", photos_ + "/./s/../out/", photos_};
  CliResult result = Run(args);
  EXPECT_EQ(result.exitStatus, 0) << result.out << result.err;
  ExpectRewritten(photos_ + "/out/a.jpg", a);
  ExpectRewritten(photos_ + "/out/s/b.jpg", b);
  EXPECT_EQ(Summaries(result.out).at(0).files, 2);
  auto after = Snapshot(photos_);
  for (const auto& [name, state] : before) EXPECT_EQ(after.at(name), state) << name;

  // Again: the output folder now holds pictures, and still is not taken for a part of the tree.
  result = Run(args);
  EXPECT_EQ(result.exitStatus, 0);
  EXPECT_EQ(Summaries(result.out).at(0).files, 2);
  EXPECT_FALSE(fs::exists(photos_ + "/out/out"));
}

TEST_F(CliProgramTest, QuietNormalAndVerboseOutput) {
  auto setUp = [&] {
    fs::remove_all(photos_);
    Put("good.jpg", ShrinkablePicture(1));
    Put("broken.jpg", Truncated(ShrinkablePicture(2)));
  };
  const std::string renaming = "Renaming corrupted " + photos_ + "/broken.jpg";

  setUp();
  CliResult result = Run({"-q", photos_});
  EXPECT_EQ(result.exitStatus, 1);
  ASSERT_EQ(Lines(result.out).size(), 1u) << result.out;
  EXPECT_EQ(Summaries(result.out).size(), 1u);

  setUp();
  result = Run({photos_});
  const auto normal = Lines(result.out);
  ASSERT_EQ(normal.size(), 2u) << result.out;
  EXPECT_EQ(normal[0], renaming);
  EXPECT_EQ(Summaries(normal[1]).size(), 1u);

  setUp();
  result = Run({"-v", photos_});
  EXPECT_TRUE(Has(result.out, "Starting to recurse " + photos_ + "\n")) << result.out;
  EXPECT_TRUE(Has(result.out, "Reading " + photos_ + "/good.jpg\n"));
  EXPECT_EQ(CountOf(result.out, "Return code was "), 2u);
  EXPECT_TRUE(Has(result.out, renaming + "\n"));
  EXPECT_EQ(Summaries(result.out).size(), 1u) << "the summary is printed once";
  EXPECT_EQ(result.err, "");
}

TEST_F(CliProgramTest, AReaderThatGoesAwayDoesNotStopTheRun) {
  std::vector<Bytes> originals;
  for (int i = 0; i < 20; ++i) {
    originals.push_back(ShrinkablePicture(static_cast<unsigned>(i + 1)));
    Put("p" + std::to_string(i) + ".jpg", originals.back());
  }
  CliProcess cli(Call({"-v", photos_}));
  cli.CloseOutput();
  EXPECT_EQ(cli.Finish().exitStatus, 0);
  for (int i = 0; i < 20; ++i)
    ExpectRewritten(photos_ + "/p" + std::to_string(i) + ".jpg", originals[i]);
}

TEST_F(CliProgramTest, OptionsAndSettingsFileReachTheFileJobs) {
  const Bytes exif = CameraExifBlock(false);
  const Bytes plain = EncodePicture({.seed = 5});
  const Bytes withExif =
      Concat({Bytes(plain.begin(), plain.begin() + kSoiLength), SegmentBytes(kApp1, exif),
              Bytes(plain.begin() + kSoiLength, plain.end())});
  const Bytes exifTag = ToBytes(std::string_view("Exif\0\0", 6));
  const std::string path = photos_ + "/e.jpg";

  Put("e.jpg", withExif);
  EXPECT_EQ(Run({"--exif", "keep", path}).exitStatus, 0);
  EXPECT_TRUE(Contains(ReadFile(path), exif));
  Put("e.jpg", withExif);
  EXPECT_EQ(Run({"--exif", "delete", path}).exitStatus, 0);
  EXPECT_FALSE(Contains(ReadFile(path), exifTag));
  Put("e.jpg", withExif);
  EXPECT_EQ(Run({path}).exitStatus, 0);  // reduced by default
  EXPECT_TRUE(Contains(ReadFile(path), exifTag));
  EXPECT_FALSE(Contains(ReadFile(path), exif));

  Put("e.jpg", withExif);
  EXPECT_EQ(Run({"--backups", path}).exitStatus, 0);
  EXPECT_EQ(ReadFile(path + ".bak"), withExif);

  // No log file unless asked for; --log-level 3 has the return codes in it.
  const std::string log = dir_.File("config/keelpack.log");
  EXPECT_FALSE(fs::exists(log));
  EXPECT_EQ(Run({"--log-level", "3", path}).exitStatus, 0);
  const Bytes logBytes = ReadFile(log);
  EXPECT_TRUE(Has(std::string(logBytes.begin(), logBytes.end()), "Return code was 0\r\n"));

  // A settings file: Corrupted=1 deletes, Log=1 starts the log; the command line wins.
  const std::string settings = dir_.File("my.ini");
  WriteFile(settings, ToBytes("Corrupted=1\r\nLog=1\r\nMask=x\r\n"));
  fs::remove(log);
  const Bytes broken = Truncated(ShrinkablePicture(3));
  const std::string brokenPath = Put("broken.jpg", broken);
  EXPECT_EQ(Run({"--settings", settings, "--corrupted", "ignore", brokenPath}).exitStatus, 1);
  EXPECT_EQ(ReadFile(brokenPath), broken);
  EXPECT_TRUE(fs::exists(log));
  EXPECT_EQ(Run({"--settings", settings, brokenPath}).exitStatus, 1);
  EXPECT_FALSE(fs::exists(brokenPath));
}

TEST_F(CliProgramTest, StatusLineAndBarAreDrawnInPlaceOnATerminalOnly) {
  for (int i = 0; i < 3; ++i) Put("p" + std::to_string(i) + ".jpg", ShrinkablePicture(i + 1));
  CliCall call = Call({photos_});
  call.stderrOnTerminal = true;
  const CliResult result = RunCli(call);
  EXPECT_EQ(result.exitStatus, 0);
  EXPECT_TRUE(Has(result.err, "Starting...")) << result.err;
  EXPECT_TRUE(Has(result.err, "\r[")) << "no bar";
  EXPECT_TRUE(Has(result.err, "] 100% Finished. Out of 3 files"));
  EXPECT_TRUE(result.err.ends_with("\r\x1b[K")) << "the status line is not cleared at the end";
  // Every drawing fits the terminal's 100 columns less one, so that nothing wraps.
  std::string drawings = result.err;
  for (size_t at; (at = drawings.find("\x1b[K")) != std::string::npos;) drawings.erase(at, 3);
  for (const std::string& drawn : Lines(std::regex_replace(drawings, std::regex("\r"), "\n"))) {
    EXPECT_LE(drawn.size(), 99u) << drawn;
  }
  EXPECT_EQ(Summaries(result.out).size(), 1u);
}

// Ctrl+C tests: a large first file keeps the job busy long enough for the signal to land
// inside it; many small files follow.
class CliInterruptTest : public CliProgramTest {
 protected:
  static constexpr int kSmallFiles = 150;
  static constexpr int kBigSide = 2500;

  void SetUp() override {
    big_ = ShrinkablePicture(7, kBigSide);
    Put("000-big.jpg", big_);
    for (int i = 0; i < kSmallFiles; ++i) {
      Put("s" + std::to_string(i % 3) + "/p" + std::to_string(i) + ".jpg",
          ShrinkablePicture(i + 10, 32));
    }
    before_ = Snapshot(photos_);
  }

  // Every source is either untouched or replaced by a complete file with the same picture.
  int CheckSources() {
    int replaced = 0;
    for (const auto& [name, state] : before_) {
      const std::string path = photos_ + "/" + name;
      const Bytes now = ReadFile(path);
      if (now == state.bytes) continue;
      ++replaced;
      EXPECT_EQ(DecodePixels(now), DecodePixels(state.bytes)) << name;
    }
    return replaced;
  }

  Bytes big_;
  std::map<std::string, FileState> before_;
};

TEST_F(CliInterruptTest, CtrlCStopsAfterTheCurrentFileWithTheSummary) {
  CliProcess cli(Call({"-v", "--check-readability", photos_}));
  ASSERT_TRUE(cli.WaitForOutput("Reading " + photos_ + "/000-big.jpg", seconds(60)));
  cli.Signal(SIGINT);
  const CliResult result = cli.Finish();

  EXPECT_EQ(result.exitStatus, 130);
  EXPECT_TRUE(Has(result.out, "Operation cancelled!\n")) << result.out;
  const auto summaries = Summaries(result.out);
  ASSERT_EQ(summaries.size(), 1u);
  EXPECT_EQ(summaries[0].files, kSmallFiles + 1);  // the files found, not the files done
  EXPECT_TRUE(Has(result.err, "stopping after the current file"));
  // The file under way was finished and nothing after it was started.
  EXPECT_EQ(CountOf(result.out, "Return code was "), 1u);
  EXPECT_EQ(CheckSources(), 1);
  ExpectRewritten(photos_ + "/000-big.jpg", big_);
  EXPECT_TRUE(FilesEndingWith(photos_, ".tmp").empty());
}

TEST_F(CliInterruptTest, SecondCtrlCStopsAtOnceAndLeavesNoHalfWrittenFileInPlace) {
  CliProcess cli(Call({"-v", "--check-readability", photos_}));
  ASSERT_TRUE(cli.WaitForOutput("Reading " + photos_ + "/000-big.jpg", seconds(60)));
  cli.Signal(SIGINT);
  // The second press must come after the first was handled: two pending signals are one.
  ASSERT_TRUE(cli.WaitForError("stopping after the current file", seconds(30)));
  cli.Signal(SIGINT);
  const CliResult result = cli.Finish();

  EXPECT_EQ(result.exitStatus, 130);
  EXPECT_TRUE(Has(result.err, "keelpack-cli: stopped\n")) << result.err;
  EXPECT_FALSE(Has(result.out, "Finished.")) << "the run went on to its end";
  EXPECT_LE(CheckSources(), 1);
  const auto leftovers = FilesEndingWith(photos_, ".tmp");
  EXPECT_LE(leftovers.size(), 1u);
  for (const std::string& leftover : leftovers) EXPECT_EQ(leftover, photos_ + "/000-big.jpg.tmp");
}

}  // namespace
}  // namespace keelpack::test
