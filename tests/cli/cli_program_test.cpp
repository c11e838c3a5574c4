// keelpack-cli as a user runs it: the built program over real temporary folders.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mount.h>

#include <filesystem>
#include <random>
#include <regex>
#include <thread>

#include "cli/cli_runner.h"
#include "support/pictures.h"
#include "support/temp_dir.h"
#include "version.h"

namespace keelpack::test {
namespace {

namespace fs = std::filesystem;
using std::chrono::seconds;

// A real picture with a comment and a Photoshop segment, which the rewrite drops.
Bytes Shrinkable(unsigned seed, int side = 48, size_t extra = 150) {
  const Bytes plain = EncodePicture({.width = side, .height = side, .seed = seed});
  return Concat({Bytes(plain.begin(), plain.begin() + 2), SegmentBytes(0xFE, Bytes(extra, 'c')),
                 SegmentBytes(0xED, Bytes(extra, 0x22)), Bytes(plain.begin() + 2, plain.end())});
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
    EXPECT_EQ(DecodePixels(now), DecodePixels(original)) << path;  // the original decodes
  }

  // Every .tmp work file left below the photo folder.
  std::vector<std::string> WorkFilesLeft() const {
    std::vector<std::string> found;
    for (const auto& entry : fs::recursive_directory_iterator(photos_)) {
      if (entry.path().extension() == ".tmp") found.push_back(entry.path());
    }
    return found;
  }

  TempDir dir_;
  std::string photos_;
};

TEST_F(CliProgramTest, UsageErrorsExitTwoAndTouchNothing) {
  Put("a.jpg", Shrinkable(1));
  Put("sub/b.jpg", Truncated(Shrinkable(2)));
  const std::string notes = Put("notes.txt", ToBytes("not a picture"));
  fs::create_symlink(photos_ + "/gone.jpg", photos_ + "/dangling.jpg");
  const std::string out = dir_.File("out");
  const auto before = Snapshot(photos_);
  std::vector<std::vector<std::string>> calls = {
      {},                                   // no path
      {photos_, dir_.File("missing.jpg")},  // a missing path after a good one
      {photos_ + "/dangling.jpg"},
      {"--exif", "most", photos_},
      {"--log-level", "4", photos_},
      {"-q", "-v", photos_},
      {"--backups", "--output", out, photos_},
      {"--optimize", "--progressive", photos_},
      {notes},                                             // a file without a JPEG name
      {"--output", out, photos_, photos_ + "/sub/b.jpg"},  // two mirrors into one folder
      {"--output", dir_.path(), photos_},                  // the output folder holds the tree
      {"--output", photos_, photos_ + "/a.jpg"},           // ... or is the files' folder
      {"--output", photos_ + "/a.jpg/out", photos_},       // no folder below a file
      {"--settings", dir_.File("none.ini"), photos_},
      {"--files-from", dir_.File("none.list")},
      {"-0", photos_},  // a NUL-separated list, but no list
      {"-j", "0", photos_},
  };
  // A second mount of the tree is the tree itself, whatever its name.
  const std::string bound = dir_.File("bound");
  fs::create_directories(bound);
  const bool mounted = mount(photos_.c_str(), bound.c_str(), nullptr, MS_BIND, nullptr) == 0;
  if (mounted) calls.push_back({"--output", bound, photos_});
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

// One tree of good, damaged and non-JPEG files in several folders, a large file first so that
// later ones finish before it: one job and many give the same exit code, output, log and files.
TEST_F(CliProgramTest, TreeRunWithOneOrManyJobs) {
  std::map<std::string, Bytes> good;
  auto fill = [&] {
    fs::remove_all(photos_);
    good = {{"a/000-big.jpg", Shrinkable(1, 1200)}};
    for (unsigned i = 0; i < 24; ++i) {
      const std::string name = std::string(1, "abc"[i % 3]) + "/p" + std::to_string(i) + ".jpg";
      if (i % 5 == 2) Put(name, Truncated(Shrinkable(i + 2)));
      else good[name] = Shrinkable(i + 2);
    }
    unsigned i = 0;
    for (const auto& [name, bytes] : good) {
      SetModeAndTime(Put(name, bytes), i % 2 ? 0444 : 0640, 631'152'000'123'456'789LL + i);
      ++i;
    }
    Put("b/text.jpg", ToBytes("not a picture"));
    Put(".hidden/d.jpg", Shrinkable(9));
    Put("notes.txt", ToBytes("left alone"));
  };
  const std::string log = dir_.File("config/keelpack.log");
  auto run = [&](const char* jobs) {
    fill();
    const auto before = Snapshot(photos_);
    CliResult result = Run({"-v", "--log-level", "3", "-j", jobs, photos_});
    return std::tuple{result, ReadFile(log), before, Snapshot(photos_)};
  };
  const auto [one, oneLog, before, after] = run("1");
  EXPECT_EQ(one.exitStatus, 1);
  EXPECT_EQ(one.err, "");
  long long saved = 0;
  for (const auto& [name, bytes] : good) {
    ExpectRewritten(photos_ + "/" + name, bytes);
    EXPECT_EQ(after.at(name).mtimeNs, before.at(name).mtimeNs) << name;
    EXPECT_EQ(after.at(name).mode, before.at(name).mode) << name;
    saved += static_cast<long long>(bytes.size() - after.at(name).bytes.size());
  }
  for (const char* same : {".hidden/d.jpg", "notes.txt", "b/text.jpg"}) {
    EXPECT_EQ(after.at(same), before.at(same)) << same;
  }
  EXPECT_EQ(after.at("a/_corrupted_p12.jpg").bytes, before.at("a/p12.jpg").bytes);
  EXPECT_EQ(after.size(), before.size()) << "a work file was left behind";
  const auto summaries = Summaries(one.out);
  ASSERT_EQ(summaries.size(), 1u) << "the summary is printed once";
  EXPECT_EQ(summaries[0].files, 26);
  EXPECT_EQ(summaries[0].reduced, static_cast<long>(good.size()));
  EXPECT_EQ(summaries[0].bytesSaved, saved);
  EXPECT_TRUE(Has(one.out, "Starting to recurse " + photos_ + "\n")) << one.out;
  EXPECT_TRUE(Has(one.out, "Reading " + photos_ + "/a/000-big.jpg\n"));
  EXPECT_TRUE(Has(one.out, "Renaming corrupted " + photos_ + "/a/p12.jpg\n"));
  EXPECT_TRUE(Has(one.out, "Incompatible file ignored - " + photos_ + "/b/text.jpg\n"));
  EXPECT_EQ(CountOf(one.out, "Return code was "), 26u);
  EXPECT_TRUE(Has(std::string(oneLog.begin(), oneLog.end()), "Return code was 0\r\n"));
  for (const char* jobs : {"2", "5"}) {
    SCOPED_TRACE(jobs);
    const auto [many, manyLog, manyBefore, manyAfter] = run(jobs);
    EXPECT_EQ(many.exitStatus, one.exitStatus);
    EXPECT_EQ(many.out, one.out);
    EXPECT_TRUE(manyLog == oneLog) << "the log files differ";
    for (const auto& [name, state] : after) {
      EXPECT_TRUE(manyAfter.contains(name) && manyAfter.at(name).bytes == state.bytes) << name;
    }
    EXPECT_EQ(manyAfter.size(), after.size());
  }
}

// Without -v only what went wrong is listed before the summary; with -q only the summary.
TEST_F(CliProgramTest, OptionsForDamagedAndNonJpegFilesAndOutputLevels) {
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
  EXPECT_EQ(Lines(result.out),
            (std::vector<std::string>{"Renaming corrupted " + photos_ + "/broken.jpg",
                                      "Incompatible file ignored - " + photos_ + "/text.jpg",
                                      Lines(result.out).back()}));
  EXPECT_EQ(Summaries(result.out).size(), 1u);
  result = run({"-q"});
  EXPECT_EQ(Lines(result.out).size(), 1u);
  EXPECT_EQ(Summaries(result.out).size(), 1u);

  EXPECT_EQ(run({"--corrupted", "delete", "--non-jpegs"}).exitStatus, 1);
  EXPECT_EQ(Snapshot(photos_).size(), 1u) << "the damaged and the non-JPEG file were not deleted";
  EXPECT_EQ(run({"--mask", "bad-*.*", "--non-jpegs"}).exitStatus, 1);
  EXPECT_EQ(ReadFile(photos_ + "/bad-broken.jpg"), broken);
  EXPECT_EQ(ReadFile(photos_ + "/bad-text.jpg"), text);
  const std::string settings = dir_.File("my.ini");
  WriteFile(settings, ToBytes("Corrupted=1\r\n"));
  EXPECT_EQ(run({"--settings", settings}).exitStatus, 1);
  EXPECT_FALSE(fs::exists(photos_ + "/broken.jpg")) << "Corrupted=1 did not delete it";

  fs::remove_all(photos_);
  EXPECT_EQ(Run({Put("good.jpg", good)}).exitStatus, 0) << "only good files: 0 again";
  EXPECT_FALSE(fs::exists(dir_.File("config/keelpack.log"))) << "a log file nobody asked for";
}

// Named files from several folders make one run below their common folder, mirrored there
// into an output folder; names can come NUL-separated on standard input.
TEST_F(CliProgramTest, NamedFilesAndFilesFromStandardInput) {
  const Bytes x = Shrinkable(1), y = Shrinkable(2), z = Shrinkable(3);
  // A newline in a name: only NUL separation can carry it.
  const std::string xPath = Put("a/two\nlines.jpg", x), yPath = Put("b/y.jpg", y);
  const std::string zPath = Put("a/z.jpg", z), out = dir_.File("out");
  const auto before = Snapshot(photos_);
  CliResult result = Run({"--output", out, zPath, yPath, photos_ + "/b/../a/z.jpg"});
  EXPECT_EQ(result.exitStatus, 0) << result.out << result.err;
  EXPECT_EQ(Snapshot(photos_), before);
  ExpectRewritten(out + "/a/z.jpg", z);
  ExpectRewritten(out + "/b/y.jpg", y);
  EXPECT_EQ(Snapshot(out).size(), 2u) << "a file named twice was written twice";
  EXPECT_EQ(Summaries(result.out).at(0).files, 2);

  CliCall call = Call({"--files-from", "-", "-0", "-j", "2"});
  call.input = xPath + '\0' + photos_ + "/b" + '\0';
  result = RunCli(call);
  EXPECT_EQ(result.exitStatus, 0) << result.out << result.err;
  ExpectRewritten(xPath, x);
  ExpectRewritten(yPath, y);
  EXPECT_EQ(ReadFile(zPath), z) << "a file that was not listed was processed";
  EXPECT_EQ(Summaries(result.out).size(), 2u) << "one run for the folder, one for the file";
}

// Odd names are shown escaped; a folder left out is counted; a reader that goes away early
// (as `keelpack-cli -v photos | head -1`) does not stop the run; on a terminal the status
// line is drawn in place within its width.
TEST_F(CliProgramTest, NamesSkippedFoldersClosedOutputAndTheStatusLine) {
  const Bytes a = Shrinkable(1);
  Put("wh?t/a.jpg", a);
  Put("e\x1b]2;x\x07\xff.jpg", Truncated(Shrinkable(2)));  // would set the terminal's title
  const std::string e1 = dir_.File("e1"), e2 = dir_.File("e2");
  fs::create_directories(e1);
  fs::create_directories(e2);
  CliResult result = Run({photos_, e1, e2});
  EXPECT_EQ(result.exitStatus, 1);
  EXPECT_EQ(result.err, "Invalid characters in the name - " + photos_ + "/wh?t\n");
  EXPECT_TRUE(Has(result.out, "Renaming corrupted " + photos_ + "/e\\x1B]2;x\\x07\\xFF.jpg\n"));
  EXPECT_FALSE(Has(result.out, "\x1b"));
  EXPECT_EQ(Summaries(result.out).size(), 3u) << "one summary per run, the equal ones too";
  EXPECT_TRUE(Has(result.out, " bytes. 1 folders skipped.\n"));

  fs::remove_all(photos_);
  std::vector<Bytes> originals;
  for (unsigned i = 0; i < 20; ++i) originals.push_back(Shrinkable(i + 1));
  for (size_t i = 0; i < originals.size(); ++i) Put("p" + std::to_string(i) + ".jpg", originals[i]);
  CliProcess closed(Call({"-v", photos_}));
  closed.CloseOutput();
  EXPECT_EQ(closed.Finish().exitStatus, 0);
  for (size_t i = 0; i < originals.size(); ++i) {
    ExpectRewritten(photos_ + "/p" + std::to_string(i) + ".jpg", originals[i]);
  }

  for (unsigned i = 0; i < 3; ++i) Put("p" + std::to_string(i) + ".jpg", Shrinkable(i + 1));
  CliCall call = Call({photos_});
  call.stderrOnTerminal = true;
  result = RunCli(call);
  EXPECT_TRUE(Has(result.err, "Starting...") && Has(result.err, "] 100% Finished. Out of 20 files"))
      << result.err;
  EXPECT_TRUE(result.err.ends_with("\r\x1b[K")) << "the status line is not cleared at the end";
  // Every drawing fits the terminal's 100 columns less one, so that nothing wraps.
  const std::string drawn = std::regex_replace(result.err, std::regex("\x1b\\[K"), "");
  for (const std::string& line : Lines(std::regex_replace(drawn, std::regex("\r"), "\n"))) {
    EXPECT_LE(line.size(), 99u) << line;
  }
}

// Two runs over one tree, one of them killed at random moments: no file is ever lost or
// emptied, and a later run clears what the killed runs left.
TEST_F(CliProgramTest, TwoRunsAtOnceOneKilledLoseNothing) {
  // In memory where we may mount, so that many rounds fit in a few seconds.
  const bool inMemory = mount("tmpfs", photos_.c_str(), "tmpfs", 0, "size=64m") == 0;
  std::map<std::string, Bytes> originals;
  for (unsigned i = 0; i < 300; ++i) {
    const Bytes picture = Shrinkable(i, 16, 32);
    originals[Put("d" + std::to_string(i % 4) + "/p" + std::to_string(i) + ".jpg", picture)] = picture;
  }
  std::mt19937 random(20261206);
  for (int round = 0; round < (inMemory ? 12 : 4); ++round) {
    CliProcess killed(Call({"-q", photos_}));
    CliProcess other(Call({"-q", photos_}));
    std::this_thread::sleep_for(std::chrono::milliseconds(random() % 150));
    killed.Signal(SIGKILL);
    killed.Finish();
    other.Finish();
    for (const auto& [path, original] : originals) {
      const Bytes now = ReadFile(path);
      ASSERT_FALSE(now.empty()) << path << " lost in round " << round;
      ASSERT_TRUE(now == original || DecodePixels(now) == DecodePixels(original)) << path;
    }
  }
  EXPECT_EQ(Run({"-q", photos_}).exitStatus, 0);
  EXPECT_EQ(WorkFilesLeft(), std::vector<std::string>{});
  if (inMemory) umount2(photos_.c_str(), MNT_DETACH);
}

// Ctrl+C: a large first file keeps the job busy long enough for the signal to land inside it;
// many small files follow. Once: the files under way are finished and the summary printed.
// Twice: stop at once, leaving only work files, complete ones with their source's mode.
TEST_F(CliProgramTest, CtrlCOnceAndTwice) {
  constexpr int kSmallFiles = 150, kJobs = 2;
  for (bool twice : {false, true}) {
    SCOPED_TRACE(twice ? "twice" : "once");
    fs::remove_all(photos_);
    const Bytes big = Shrinkable(7, 2500);
    Put("000-big.jpg", big);
    for (unsigned i = 0; i < kSmallFiles; ++i) {
      Put("s" + std::to_string(i % 3) + "/p" + std::to_string(i) + ".jpg", Shrinkable(i + 10, 32));
    }
    const auto before = Snapshot(photos_);
    CliProcess cli(Call({"-v", "--check-readability", "-j", std::to_string(kJobs), photos_}));
    ASSERT_TRUE(cli.WaitFor("Reading " + photos_ + "/000-big.jpg", seconds(60)));
    cli.Signal(SIGINT);
    // Two signals sent before the first is handled would count as one.
    if (twice) {
      ASSERT_TRUE(cli.WaitFor("stopping after the current file", seconds(30), true));
      cli.Signal(SIGINT);
    }
    const CliResult result = cli.Finish();
    EXPECT_EQ(result.exitStatus, 130);
    int replaced = 0;
    for (const auto& [name, state] : before) {
      const Bytes now = ReadFile(photos_ + "/" + name);
      if (now == state.bytes) continue;
      ++replaced;
      EXPECT_EQ(DecodePixels(now), DecodePixels(state.bytes)) << name;
    }
    if (!twice) {
      EXPECT_TRUE(Has(result.out, "Operation cancelled!\n")) << result.out;
      ASSERT_EQ(Summaries(result.out).size(), 1u);
      EXPECT_EQ(Summaries(result.out)[0].files, kSmallFiles + 1);  // found, not done
      EXPECT_TRUE(Has(result.err, "stopping after the current file"));
      // The other job went on while the big file was read, but only a window's length ahead.
      const size_t finished = CountOf(result.out, "Return code was ");
      EXPECT_EQ(CountOf(result.out, "Reading " + photos_), finished);
      EXPECT_EQ(replaced, static_cast<int>(finished));
      EXPECT_LT(finished, static_cast<size_t>(kSmallFiles));
      ExpectRewritten(photos_ + "/000-big.jpg", big);
      EXPECT_EQ(WorkFilesLeft(), std::vector<std::string>{});
      continue;
    }
    EXPECT_TRUE(Has(result.err, "keelpack-cli: stopped\n")) << result.err;
    EXPECT_FALSE(Has(result.out, "Finished.")) << "the run went on to its end";
    // Left: the unfinished new file of a job under way, which no one else may read (at most one
    // per job), or that of a finished job that waited to be put in place.
    int unfinished = 0;
    for (const std::string& left : WorkFilesLeft()) {
      if (fs::status(left).permissions() == (fs::perms::owner_read | fs::perms::owner_write)) {
        ++unfinished;
        continue;
      }
      int sources = 0;
      for (const auto& [name, state] : before) {
        const fs::path source = photos_ + "/" + name;
        if (source.parent_path() == fs::path(left).parent_path() &&
            left.ends_with("-" + source.filename().string() + ".tmp")) {
          ++sources;
          ExpectRewritten(left, state.bytes);
        }
      }
      EXPECT_EQ(sources, 1) << left;
    }
    EXPECT_LE(unfinished, kJobs);
  }
}

}  // namespace
}  // namespace keelpack::test
