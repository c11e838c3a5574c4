// keelpack-cli as a user runs it: the built program over real temporary folders.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mount.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <random>
#include <regex>
#include <thread>

#include "cli/cli_runner.h"
#include "support/exif_builder.h"
#include "support/pictures.h"
#include "support/temp_dir.h"
#include "version.h"

namespace keelpack::test {
namespace {

namespace fs = std::filesystem;
using std::chrono::seconds;
using namespace std::string_literals;

constexpr size_t kSoiLength = 2;

// A real picture with `segments` (whole segments) right after its start marker.
Bytes PictureWith(const Bytes& segments, unsigned seed, int side = 48) {
  const Bytes plain = EncodePicture({.width = side, .height = side, .seed = seed});
  return Concat({Bytes(plain.begin(), plain.begin() + kSoiLength), segments,
                 Bytes(plain.begin() + kSoiLength, plain.end())});
}

// With a comment and a Photoshop segment, which the rewrite drops.
Bytes Shrinkable(unsigned seed, int side = 48) {
  return PictureWith(
      Concat({SegmentBytes(0xFE, Bytes(150, 'c')), SegmentBytes(0xED, Bytes(250, 0x22))}), seed,
      side);
}

// Cut in half: no end marker, so the rewrite finds it damaged.
Bytes Truncated(const Bytes& jpeg) { return Bytes(jpeg.begin(), jpeg.begin() + jpeg.size() / 2); }

bool Has(const std::string& text, std::string_view part) {
  return text.find(part) != std::string::npos;
}

size_t CountOf(const std::string& text, std::string_view part) {
  size_t count = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
  return count;
}

class CliProgramTest : public ::testing::Test {
 protected:
  CliProgramTest() : photos_(dir_.File("photos")) { fs::create_directories(photos_); }

  CliCall Call(std::vector<std::string> args) const {
    return {std::move(args), dir_.File("config"), dir_.File("cache")};
  }
  CliResult Run(std::vector<std::string> args) const { return RunCli(Call(std::move(args))); }

  // Writes a file below the photo folder and returns its full path.
  std::string Put(const std::string& relative, const Bytes& bytes) const {
    const std::string path = photos_ + "/" + relative;
    fs::create_directories(fs::path(path).parent_path());
    WriteFile(path, bytes);
    return path;
  }

  // The file shows exactly the picture of `original`, in fewer bytes.
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
  Put("a.jpg", Shrinkable(1));
  Put("sub/b.jpg", Truncated(Shrinkable(2)));
  const std::string notes = Put("notes.txt", ToBytes("not a picture"));
  const std::string out = dir_.File("out");
  const auto before = Snapshot(photos_);

  std::vector<std::vector<std::string>> calls = {
      {},                                   // no path
      {photos_, dir_.File("missing.jpg")},  // a missing path after a good one
      {"--exif", "most", photos_},
      {"--log-level", "4", photos_},
      {"-q", "-v", photos_},
      {"--backups", "--output", out, photos_},
      {"--optimize", "--progressive", photos_},
      {notes},                                             // a file without a JPEG name
      {"--output", out, photos_, photos_ + "/sub/b.jpg"},  // two mirrors into one folder
      {"--output", dir_.path(), photos_},                  // the output folder holds the tree
      {"--settings", dir_.File("none.ini"), photos_},
      {"--files-from", dir_.File("none.list")},
      {"-0", photos_},  // a NUL-separated list, but no list
      {"-j", "0", photos_},
  };
  // A second mount of the tree is the tree itself, whatever its name.
  const std::string bound = dir_.File("bound");
  fs::create_directories(bound);
  const bool mounted = mount(photos_.c_str(), bound.c_str(), nullptr, MS_BIND, nullptr) == 0;
  if (mounted) {
    calls.push_back({"--output", bound, photos_});
  } else {
    std::cout << "[ SKIPPED  ] the output folder as a bind mount of the tree: cannot mount here\n";
  }
  for (const auto& args : calls) {
    SCOPED_TRACE(::testing::PrintToString(args));
    const CliResult result = Run(args);
    EXPECT_EQ(result.exitStatus, 2);
    EXPECT_EQ(result.out, "");
    EXPECT_TRUE(result.err.starts_with("keelpack-cli: ")) << result.err;
    EXPECT_FALSE(Has(result.err, "\x1b")) << "escape codes on a standard error that is no terminal";
  }
  if (mounted) umount2(bound.c_str(), MNT_DETACH);
  EXPECT_EQ(Snapshot(photos_), before);
  EXPECT_FALSE(fs::exists(out));

  EXPECT_EQ(Run({"--version"}).out, "keelpack-cli " + std::string(kVersion) + "\n");
  const CliResult help = Run({"--help"});
  EXPECT_EQ(help.exitStatus, 0);
  EXPECT_TRUE(Has(help.out, "Usage: keelpack-cli [OPTIONS] [PATH...]") &&
              Has(help.out, "EXIT STATUS"));
}

TEST_F(CliProgramTest, TreeOfGoodFilesIsRewrittenInPlaceKeepingTimesAndModesAndExitsZero) {
  const std::vector<std::string> names = {"a.jpg", "sub/b.jpeg", "sub/deeper/c.JPG"};
  const unsigned modes[] = {0640, 0444, 0600};
  std::vector<Bytes> originals;
  for (size_t i = 0; i < names.size(); ++i) {
    originals.push_back(Shrinkable(static_cast<unsigned>(i + 1)));
    SetModeAndTime(Put(names[i], originals[i]), modes[i],
                   631'152'000'123'456'789LL + static_cast<int64_t>(i));
  }
  Put(".hidden/d.jpg", Shrinkable(9));
  Put("notes.txt", ToBytes("left alone"));
  const auto before = Snapshot(photos_);

  const CliResult result = Run({photos_});
  EXPECT_EQ(result.exitStatus, 0) << result.out << result.err;
  EXPECT_EQ(result.err, "");
  const auto after = Snapshot(photos_);
  long long saved = 0;
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
  const Bytes good = Shrinkable(1), broken = Truncated(Shrinkable(2));
  const Bytes text = ToBytes("a JPEG name on a text file");
  auto run = [&](std::vector<std::string> options) {
    fs::remove_all(photos_);
    Put("good.jpg", good);
    Put("broken.jpg", broken);
    Put("text.jpg", text);
    options.push_back(photos_);
    return Run(options);
  };

  CliResult result = run({});
  EXPECT_EQ(result.exitStatus, 1);
  EXPECT_EQ(ReadFile(photos_ + "/_corrupted_broken.jpg"), broken);
  EXPECT_EQ(ReadFile(photos_ + "/text.jpg"), text);
  ExpectRewritten(photos_ + "/good.jpg", good);
  EXPECT_EQ(Lines(result.out).at(0), "Renaming corrupted " + photos_ + "/broken.jpg");
  EXPECT_EQ(Lines(result.out).at(1), "Incompatible file ignored - " + photos_ + "/text.jpg");

  EXPECT_EQ(run({"--corrupted", "delete", "--non-jpegs"}).exitStatus, 1);
  EXPECT_EQ(Snapshot(photos_).size(), 1u) << "the damaged and the non-JPEG file were not deleted";

  EXPECT_EQ(run({"--mask", "bad-*.*", "--non-jpegs"}).exitStatus, 1);
  EXPECT_EQ(ReadFile(photos_ + "/bad-broken.jpg"), broken);
  EXPECT_EQ(ReadFile(photos_ + "/bad-text.jpg"), text);

  // Only good files: 0 again.
  fs::remove_all(photos_);
  EXPECT_EQ(Run({Put("good.jpg", good)}).exitStatus, 0);
}

TEST_F(CliProgramTest, FilesFromTwoFoldersMakeOneRunBelowTheirCommonFolder) {
  const Bytes x = Shrinkable(1), y = Shrinkable(2), z = Shrinkable(3);
  const std::string xPath = Put("a/x.jpg", x), yPath = Put("b/y.jpg", y), zPath = Put("a/z.jpg", z);

  CliResult result = Run({xPath, yPath});
  EXPECT_EQ(result.exitStatus, 0) << result.out << result.err;
  ExpectRewritten(xPath, x);
  ExpectRewritten(yPath, y);
  EXPECT_EQ(ReadFile(zPath), z) << "a file that was not named was processed";
  ASSERT_EQ(Summaries(result.out).size(), 1u) << result.out;
  EXPECT_EQ(Summaries(result.out)[0].files, 2);

  // Into an output folder the paths below the common folder are mirrored; a file named twice
  // is processed once.
  const auto before = Snapshot(photos_);
  const std::string out = dir_.File("out");
  result = Run({"--output", out, zPath, yPath, photos_ + "/b/../a/z.jpg"});
  EXPECT_EQ(result.exitStatus, 0) << result.out << result.err;
  EXPECT_EQ(Snapshot(photos_), before);
  ExpectRewritten(out + "/a/z.jpg", z);
  EXPECT_EQ(DecodePixels(ReadFile(out + "/b/y.jpg")), DecodePixels(y));
  EXPECT_EQ(Snapshot(out).size(), 2u);
  EXPECT_EQ(Summaries(result.out).at(0).files, 2);
}

TEST_F(CliProgramTest, QuietNormalAndVerboseOutput) {
  auto run = [&](std::string option) {
    fs::remove_all(photos_);
    Put("good.jpg", Shrinkable(1));
    Put("broken.jpg", Truncated(Shrinkable(2)));
    return option.empty() ? Run({photos_}) : Run({option, photos_});
  };
  const std::string renaming = "Renaming corrupted " + photos_ + "/broken.jpg";

  CliResult result = run("-q");
  ASSERT_EQ(Lines(result.out).size(), 1u) << result.out;
  EXPECT_EQ(Summaries(result.out).size(), 1u);

  result = run("");
  ASSERT_EQ(Lines(result.out).size(), 2u) << result.out;
  EXPECT_EQ(Lines(result.out)[0], renaming);
  EXPECT_EQ(Summaries(result.out).size(), 1u);

  result = run("-v");
  EXPECT_TRUE(Has(result.out, "Starting to recurse " + photos_ + "\n")) << result.out;
  EXPECT_TRUE(Has(result.out, "Reading " + photos_ + "/good.jpg\n"));
  EXPECT_EQ(CountOf(result.out, "Return code was "), 2u);
  EXPECT_TRUE(Has(result.out, renaming + "\n"));
  EXPECT_EQ(Summaries(result.out).size(), 1u) << "the summary is printed once";
}

TEST_F(CliProgramTest, ParallelJobsPrintLogAndLeaveExactlyWhatOneJobDoes) {
  // A large file first, so that later ones finish before it; damaged and non-JPEG files
  // between good ones, in three folders.
  auto fill = [&] {
    fs::remove_all(photos_);
    Put("a/000-big.jpg", Shrinkable(1, 1200));
    for (unsigned i = 0; i < 24; ++i) {
      const std::string name = "abc"s.substr(i % 3, 1) + "/p" + std::to_string(i) + ".jpg";
      Put(name, i % 5 == 2 ? Truncated(Shrinkable(i + 2)) : Shrinkable(i + 2));
    }
    Put("b/text.jpg", ToBytes("not a picture"));
  };
  auto contents = [&] {
    std::map<std::string, Bytes> files;
    for (auto& [name, state] : Snapshot(photos_)) files[name] = state.bytes;
    return files;
  };
  const std::string log = dir_.File("config/keelpack.log");
  auto run = [&](const char* jobs) {
    fill();
    CliResult result = Run({"-v", "--log-level", "3", "-j", jobs, photos_});
    return std::tuple{result.exitStatus, result.out, ReadFile(log), contents()};
  };
  const auto one = run("1");
  EXPECT_EQ(std::get<0>(one), 1);
  EXPECT_EQ(Summaries(std::get<1>(one)).at(0).files, 26);
  EXPECT_EQ(std::get<3>(one).count("a/_corrupted_p12.jpg"), 1u);
  for (const char* jobs : {"2", "5"}) {
    SCOPED_TRACE(jobs);
    const auto many = run(jobs);
    EXPECT_EQ(std::get<0>(many), std::get<0>(one));
    EXPECT_EQ(std::get<1>(many), std::get<1>(one));
    EXPECT_TRUE(std::get<2>(many) == std::get<2>(one)) << "the log files differ";
    EXPECT_TRUE(std::get<3>(many) == std::get<3>(one)) << "the files differ";
  }
}

TEST_F(CliProgramTest, FilesFromStandardInputTakeNulSeparatedNames) {
  const Bytes x = Shrinkable(1), y = Shrinkable(2), z = Shrinkable(3);
  // A newline in a name: only NUL separation can carry it.
  const std::string xPath = Put("a/two\nlines.jpg", x), yPath = Put("b/y.jpg", y);
  const std::string zPath = Put("c/z.jpg", z);
  CliCall call = Call({"--files-from", "-", "-0", "-j", "2"});
  call.input = xPath + '\0' + photos_ + "/b" + '\0';
  const CliResult result = RunCli(call);
  EXPECT_EQ(result.exitStatus, 0) << result.out << result.err;
  ExpectRewritten(xPath, x);
  ExpectRewritten(yPath, y);
  EXPECT_EQ(ReadFile(zPath), z) << "a file that was not listed was processed";
  EXPECT_EQ(Summaries(result.out).size(), 2u) << "one run for the folder, one for the file";
}

TEST_F(CliProgramTest, SkippedFoldersAndOddNamesAreReportedPlainly) {
  Put("wh?t/a.jpg", Shrinkable(1));
  const std::string odd = "e\x1b]2;x\x07\xff.jpg";  // would set the terminal's title
  Put(odd, Truncated(Shrinkable(2)));
  const std::string e1 = dir_.File("e1"), e2 = dir_.File("e2");
  fs::create_directories(e1);
  fs::create_directories(e2);
  const CliResult result = Run({photos_, e1, e2});
  EXPECT_EQ(result.exitStatus, 1);
  EXPECT_EQ(result.err, "Invalid characters in the name - " + photos_ + "/wh?t\n");
  EXPECT_TRUE(Has(result.out, "Renaming corrupted " + photos_ + "/e\\x1B]2;x\\x07\\xFF.jpg\n")) << result.out;
  EXPECT_FALSE(Has(result.out, "\x1b"));
  // One summary per run, the two equal ones too; the first counts the folder left out.
  EXPECT_EQ(Summaries(result.out).size(), 3u) << result.out;
  EXPECT_TRUE(Has(result.out, " bytes. 1 folders skipped.\n"));
}

// Two runs over one tree, one of them killed at random moments: no file is ever lost or
// emptied, and a later run clears what the killed runs left.
TEST_F(CliProgramTest, TwoRunsAtOnceOneKilledLoseNothing) {
  constexpr int kFiles = 300;
  // In memory where we may mount, so that many rounds fit in a few seconds.
  const bool inMemory = mount("tmpfs", photos_.c_str(), "tmpfs", 0, "size=64m") == 0;
  const int rounds = inMemory ? 12 : 4;
  std::map<std::string, Bytes> originals;
  for (int i = 0; i < kFiles; ++i) {
    const Bytes picture = PictureWith(SegmentBytes(0xFE, Bytes(64, 'c')), static_cast<unsigned>(i), 16);
    originals[Put("d" + std::to_string(i % 4) + "/p" + std::to_string(i) + ".jpg", picture)] = picture;
  }
  std::mt19937 random(20261206);
  for (int round = 0; round < rounds; ++round) {
    CliProcess killed(Call({"-q", photos_}));
    CliProcess other(Call({"-q", photos_}));
    std::this_thread::sleep_for(std::chrono::milliseconds(random() % 150));
    killed.Signal(SIGKILL);
    killed.Finish();
    other.Finish();
    for (const auto& [path, original] : originals) {
      const Bytes now = ReadFile(path);
      ASSERT_FALSE(now.empty()) << path << " lost in round " << round;
      if (now != original) {
        ASSERT_EQ(DecodePixels(now), DecodePixels(original)) << path;
      }
    }
  }
  EXPECT_EQ(Run({"-q", photos_}).exitStatus, 0);
  for (const auto& entry : fs::recursive_directory_iterator(photos_)) {
    EXPECT_NE(entry.path().extension(), ".tmp") << entry.path();
  }
  if (inMemory) umount2(photos_.c_str(), MNT_DETACH);
}

TEST_F(CliProgramTest, AReaderThatGoesAwayDoesNotStopTheRun) {
  std::vector<Bytes> originals;
  for (unsigned i = 0; i < 20; ++i) originals.push_back(Shrinkable(i + 1));
  for (size_t i = 0; i < originals.size(); ++i) Put("p" + std::to_string(i) + ".jpg", originals[i]);
  CliProcess cli(Call({"-v", photos_}));
  cli.CloseOutput();  // as `keelpack-cli -v photos | head -1`
  EXPECT_EQ(cli.Finish().exitStatus, 0);
  for (size_t i = 0; i < originals.size(); ++i) {
    ExpectRewritten(photos_ + "/p" + std::to_string(i) + ".jpg", originals[i]);
  }
}

TEST_F(CliProgramTest, LogLevelAndSettingsFileReachTheFileJobs) {
  const Bytes picture = Shrinkable(5);
  const std::string path = photos_ + "/e.jpg";
  auto run = [&](std::vector<std::string> args) {
    Put("e.jpg", picture);
    args.push_back(path);
    EXPECT_EQ(Run(args).exitStatus, 0);
  };

  // No log file unless asked for.
  const std::string log = dir_.File("config/keelpack.log");
  EXPECT_FALSE(fs::exists(log));
  run({"--log-level", "3"});
  const Bytes logged = ReadFile(log);
  EXPECT_TRUE(Has(std::string(logged.begin(), logged.end()), "Return code was 0\r\n"));

  const std::string settings = dir_.File("my.ini");
  WriteFile(settings, ToBytes("Corrupted=1\r\n"));
  const std::string broken = Put("broken.jpg", Truncated(Shrinkable(3)));
  EXPECT_EQ(Run({"--settings", settings, broken}).exitStatus, 1);
  EXPECT_FALSE(fs::exists(broken)) << "Corrupted=1 did not delete the damaged file";
}

TEST_F(CliProgramTest, StatusLineAndBarAreDrawnInPlaceOnATerminal) {
  for (unsigned i = 0; i < 3; ++i) Put("p" + std::to_string(i) + ".jpg", Shrinkable(i + 1));
  CliCall call = Call({photos_});
  call.stderrOnTerminal = true;
  const CliResult result = RunCli(call);
  EXPECT_EQ(result.exitStatus, 0);
  EXPECT_TRUE(Has(result.err, "] 100% Finished. Out of 3 files")) << result.err;
  EXPECT_TRUE(Has(result.err, "Starting..."));
  EXPECT_TRUE(result.err.ends_with("\r\x1b[K")) << "the status line is not cleared at the end";
  // Every drawing fits the terminal's 100 columns less one, so that nothing wraps.
  const std::string drawings = std::regex_replace(result.err, std::regex("\x1b\\[K"), "");
  for (const std::string& drawn : Lines(std::regex_replace(drawings, std::regex("\r"), "\n"))) {
    EXPECT_LE(drawn.size(), 99u) << drawn;
  }
  EXPECT_EQ(Summaries(result.out).size(), 1u);
}

// Ctrl+C: a large first file keeps the job busy long enough for the signal to land inside it;
// many small files follow.
class CliInterruptTest : public CliProgramTest {
 protected:
  static constexpr int kSmallFiles = 150;
  static constexpr int kJobs = 2;

  void SetUp() override {
    big_ = Shrinkable(7, 2500);
    Put("000-big.jpg", big_);
    for (int i = 0; i < kSmallFiles; ++i) {
      Put("s" + std::to_string(i % 3) + "/p" + std::to_string(i) + ".jpg", Shrinkable(i + 10, 32));
    }
    before_ = Snapshot(photos_);
    cli_.emplace(Call({"-v", "--check-readability", "-j", std::to_string(kJobs), photos_}));
    ASSERT_TRUE(cli_->WaitForOutput("Reading " + photos_ + "/000-big.jpg", seconds(60)));
    cli_->Signal(SIGINT);
  }

  // Every source is either untouched or replaced by a complete file with the same picture.
  int ReplacedSources() {
    int replaced = 0;
    for (const auto& [name, state] : before_) {
      const Bytes now = ReadFile(photos_ + "/" + name);
      if (now == state.bytes) continue;
      ++replaced;
      EXPECT_EQ(DecodePixels(now), DecodePixels(state.bytes)) << name;
    }
    return replaced;
  }

  std::vector<std::string> WorkFilesLeft() const {
    std::vector<std::string> found;
    for (const auto& entry : fs::recursive_directory_iterator(photos_)) {
      if (entry.path().extension() == ".tmp") found.push_back(entry.path());
    }
    return found;
  }

  Bytes big_;
  std::map<std::string, FileState> before_;
  std::optional<CliProcess> cli_;
};

TEST_F(CliInterruptTest, CtrlCStopsAfterTheCurrentFileWithTheSummary) {
  const CliResult result = cli_->Finish();
  EXPECT_EQ(result.exitStatus, 130);
  EXPECT_TRUE(Has(result.out, "Operation cancelled!\n")) << result.out;
  ASSERT_EQ(Summaries(result.out).size(), 1u);
  EXPECT_EQ(Summaries(result.out)[0].files, kSmallFiles + 1);  // found, not done
  EXPECT_TRUE(Has(result.err, "stopping after the current file"));
  // The files under way were finished, and printed; no other was started. The other job
  // went on while the big file was read, but only a window's length ahead.
  const size_t finished = CountOf(result.out, "Return code was ");
  EXPECT_EQ(CountOf(result.out, "Reading " + photos_), finished);
  EXPECT_EQ(ReplacedSources(), static_cast<int>(finished));
  EXPECT_LT(finished, static_cast<size_t>(kSmallFiles));
  ExpectRewritten(photos_ + "/000-big.jpg", big_);
  EXPECT_TRUE(WorkFilesLeft().empty());
}

TEST_F(CliInterruptTest, SecondCtrlCStopsAtOnceAndLeavesNoHalfWrittenFileInPlace) {
  // Two signals sent before the first is handled would count as one.
  ASSERT_TRUE(cli_->WaitForError("stopping after the current file", seconds(30)));
  cli_->Signal(SIGINT);
  const CliResult result = cli_->Finish();
  EXPECT_EQ(result.exitStatus, 130);
  EXPECT_TRUE(Has(result.err, "keelpack-cli: stopped\n")) << result.err;
  EXPECT_FALSE(Has(result.out, "Finished.")) << "the run went on to its end";
  ReplacedSources();
  // What is left is the new file of a job under way, unfinished, which no one else may read
  // (at most one per job); or that of a finished job that waited to be put in place, complete
  // with its source's permissions.
  int unfinished = 0;
  for (const std::string& left : WorkFilesLeft()) {
    if (fs::status(left).permissions() == (fs::perms::owner_read | fs::perms::owner_write)) {
      ++unfinished;
      continue;
    }
    const std::string folder = fs::path(left).parent_path();
    int sources = 0;
    for (const auto& [name, state] : before_) {
      const fs::path source = photos_ + "/" + name;
      if (source.parent_path() == folder && left.ends_with("-" + source.filename().string() + ".tmp")) {
        ++sources;
        ExpectRewritten(left, state.bytes);
      }
    }
    EXPECT_EQ(sources, 1) << left;
  }
  EXPECT_LE(unfinished, kJobs);
}

}  // namespace
}  // namespace keelpack::test
