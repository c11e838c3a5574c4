// keelpack-cli as a user runs it: the built program over real temporary folders.
#include <gtest/gtest.h>
#include <sys/mount.h>

#include <nlohmann/json.hpp>
#include <random>
#include <regex>
#include <sstream>

#include "cli/cli_runner.h"
#include "support/exif_builder.h"
#include "support/pictures.h"

namespace keelpack::test {
namespace {

namespace fs = std::filesystem;
using std::chrono::seconds;
constexpr size_t npos = std::string::npos;

// A real picture with a comment, which the rewrite drops.
Bytes Shrinkable(unsigned seed, int side = 48, size_t comment = 300) {
  return ShrinkablePicture({.width = side, .height = side, .seed = seed}, comment);
}

// Cut in half: no end marker, so the rewrite finds it damaged.
Bytes Truncated(const Bytes& jpeg) { return Bytes(jpeg.begin(), jpeg.begin() + jpeg.size() / 2); }

size_t CountOf(const std::string& text, const std::string& part) {
  size_t count = 0;
  for (size_t at = text.find(part); at != npos; at = text.find(part, at + 1)) ++count;
  return count;
}

// The file shows exactly the picture of `original`, in fewer bytes.
void ExpectRewritten(const std::string& path, const Bytes& original) {
  const Bytes now = ReadFile(path);
  EXPECT_TRUE(now.size() < original.size() && DecodePixels(now) == DecodePixels(original)) << path;
}

class CliProgramTest : public ::testing::Test {
 protected:
  CliProgramTest() { fs::create_directories(photos_); }

  // Writes a file below the photo folder and returns its full path.
  std::string Put(const std::string& relative, const Bytes& bytes) const {
    WriteFile(photos_ + "/" + relative, bytes);
    return photos_ + "/" + relative;
  }

  Sandbox dir_;
  const std::string photos_ = dir_.File("photos");
};

TEST_F(CliProgramTest, UsageErrorsExitTwoAndTouchNothing) {
  Put("a.jpg", Shrinkable(1)), Put("sub/b.jpg", Truncated(Shrinkable(2)));
  Put("notes.txt", ToBytes("not a picture"));
  fs::create_symlink(photos_ + "/gone.jpg", photos_ + "/dangling.jpg");
  const std::string out = dir_.File("out"), bound = dir_.File("bound");
  const auto before = Snapshot(photos_);
  // The calls, split at "|", each call's words at spaces; P stands for the photo folder, D for the
  // sandbox. Among them: two mirrors into one folder; an output folder that holds the tree, or is
  // the files' folder, or lies below a file, or holds a named file; a NUL-separated list, but no
  // list.
  std::string calls =
      "|P/dangling.jpg|P/notes.txt|P D/missing.jpg|--exif most P|--log-level 4 P|-q -v P"
      "|--backups --output D/out P|--optimize --progressive P|--output D/out P P/sub/b.jpg"
      "|--output D P|--output P P/a.jpg|--output P/a.jpg/out P|--output P/sub P/a.jpg P/sub/b.jpg"
      "|--settings D/none.ini P|--files-from D/none.list|-0 P|-j 0 P|--json -v P|- P"
      "|--output D/out -|--json -|-n -";
  // A second mount of the tree is the tree itself, whatever its name.
  fs::create_directories(bound);
  const bool mounted = mount(photos_.c_str(), bound.c_str(), nullptr, MS_BIND, nullptr) == 0;
  if (mounted) calls += "|--output D/bound P";
  std::istringstream list(calls);
  const std::map<char, std::string> stands = {{'P', photos_}, {'D', dir_.path()}};
  for (std::string call; std::getline(list, call, '|');) {
    SCOPED_TRACE(call);
    std::istringstream words(call);
    std::vector<std::string> args;
    for (std::string w; words >> w;)
      args.push_back(stands.contains(w[0]) ? stands.at(w[0]) + w.substr(1) : w);
    const CliResult result = RunCli(args);
    // No escape codes on a standard error that is no terminal.
    EXPECT_TRUE(result.exitStatus == 2 && result.out.empty() &&
                result.err.starts_with("keelpack-cli: ") && result.err.find('\x1b') == npos)
        << result.exitStatus << result.out << result.err;
  }
  if (mounted) umount2(bound.c_str(), MNT_DETACH);
  EXPECT_TRUE(Snapshot(photos_) == before && !fs::exists(out));
}

// One tree of good, damaged and non-JPEG files in several folders, a large file first so that
// later ones finish before it: one job and many give the same exit code, output, log and files.
TEST_F(CliProgramTest, TreeRunWithOneOrManyJobs) {
  std::map<std::string, Bytes> good;
  auto run = [&](const std::string& jobs) {
    fs::remove_all(photos_);
    Put("a/000-big.jpg", good["a/000-big.jpg"] = Shrinkable(1, 1200));
    for (unsigned i = 0; i < 24; ++i) {
      const std::string name = std::string(1, "abc"[i % 3]) + "/p" + std::to_string(i) + ".jpg";
      Put(name, i % 5 == 2 ? Truncated(Shrinkable(i + 2)) : (good[name] = Shrinkable(i + 2)));
    }
    Put("b/text.jpg", ToBytes("not a picture")), Put(".hidden/d.jpg", Shrinkable(9));
    Put("notes.txt", ToBytes("left alone"));
    const auto before = Snapshot(photos_);
    const CliResult result = RunCli({"-v", "--log-level", "3", "-j", jobs, photos_});
    const Bytes log = ReadFile(dir_.File("config/keelpack.log"));
    return std::tuple{result, std::string(log.begin(), log.end()), before, Snapshot(photos_)};
  };
  const auto [one, oneLog, before, after] = run("1");
  EXPECT_TRUE(one.exitStatus == 1 && one.err.empty()) << one.exitStatus << one.err;
  long long saved = 0;
  for (const auto& [name, bytes] : good) {
    ExpectRewritten(photos_ + "/" + name, bytes);
    saved += static_cast<long long>(bytes.size() - after.at(name).bytes.size());
  }
  for (const char* same : {".hidden/d.jpg", "notes.txt", "b/text.jpg"})
    EXPECT_EQ(after.at(same), before.at(same)) << same;
  EXPECT_EQ(after.at("a/_corrupted_p12.jpg").bytes, before.at("a/p12.jpg").bytes);
  EXPECT_EQ(after.size(), before.size()) << "a work file was left behind";
  EXPECT_EQ(Summaries(one.out), std::vector{Summary(26, good.size(), saved)});
  for (const std::string& line :
       {"Starting to recurse " + photos_, "Reading " + photos_ + "/a/000-big.jpg",
        "Renaming corrupted " + photos_ + "/a/p12.jpg",
        "Incompatible file ignored - " + photos_ + "/b/text.jpg"})
    EXPECT_NE(one.out.find(line + "\n"), npos) << line;
  EXPECT_EQ(CountOf(one.out, "Return code was "), 26u);
  EXPECT_EQ(CountOf(oneLog, "Return code was 0\r\n"), good.size());
  for (const char* jobs : {"2", "5"}) {
    SCOPED_TRACE(jobs);
    const auto [many, manyLog, manyBefore, manyAfter] = run(jobs);
    EXPECT_TRUE(many.exitStatus == one.exitStatus && manyLog == oneLog) << "the log files differ";
    EXPECT_EQ(many.out, one.out);
    ASSERT_EQ(manyAfter.size(), after.size());
    for (const auto& [name, state] : after) EXPECT_EQ(manyAfter.at(name).bytes, state.bytes);
  }
}

// Named files from several folders make one run below their common folder, mirrored there
// into an output folder; names can come NUL-separated on standard input.
TEST_F(CliProgramTest, NamedFilesAndFilesFromStandardInput) {
  const Bytes x = Shrinkable(1), y = Shrinkable(2), z = Shrinkable(3);
  // A newline in a name: only NUL separation can carry it.
  const std::string xPath = Put("a/two\nlines.jpg", x), yPath = Put("b/y.jpg", y);
  const std::string zPath = Put("a/z.jpg", z), out = dir_.File("out");
  CliResult run = RunCli({"--output", out, zPath, yPath, photos_ + "/b/../a/z.jpg"});
  EXPECT_TRUE(run.exitStatus == 0 && std::get<0>(Summaries(run.out).at(0)) == 2) << run.out;
  ExpectRewritten(out + "/a/z.jpg", z), ExpectRewritten(out + "/b/y.jpg", y);
  EXPECT_EQ(Snapshot(out).size(), 2u) << "a file named twice was written twice";

  run = RunCli({"-v", "--files-from", "-", "-0", "-j", "2"}, xPath + '\0' + photos_ + "/b" + '\0');
  EXPECT_EQ(run.exitStatus, 0) << run.out << run.err;
  // A control byte in a name never reaches the terminal as it is.
  EXPECT_TRUE(run.out.find("two\\x0Alines.jpg") != npos && run.out.find("two\nlines") == npos);
  ExpectRewritten(xPath, x), ExpectRewritten(yPath, y);
  EXPECT_EQ(ReadFile(zPath), z) << "a file that was not listed was processed";
  EXPECT_EQ(Summaries(run.out).size(), 2u) << "one run for the folder, one for the file";
}

// Two runs over one tree, one of them killed at random moments: no file is ever lost or
// emptied, and a later run clears what the killed runs left.
TEST_F(CliProgramTest, TwoRunsAtOnceOneKilledLoseNothing) {
  // In memory where we may mount, so that many rounds fit in a few seconds.
  const bool inMemory = mount("tmpfs", photos_.c_str(), "tmpfs", 0, "size=64m") == 0;
  std::map<std::string, Bytes> originals;
  for (unsigned i = 0; i < 300; ++i) {
    const Bytes jpeg = Shrinkable(i, 16, 64);
    originals[Put("d" + std::to_string(i % 4) + "/" + std::to_string(i) + ".jpg", jpeg)] = jpeg;
  }
  std::mt19937 random(20261206);
  for (int round = 0; round < (inMemory ? 12 : 4); ++round) {
    CliProcess killed({"-q", photos_}), other({"-q", photos_});
    std::this_thread::sleep_for(std::chrono::milliseconds(random() % 150));
    killed.Signal(SIGKILL), killed.Finish(), other.Finish();
    for (const auto& [path, original] : originals) {
      const Bytes now = ReadFile(path);
      ASSERT_FALSE(now.empty()) << path << " lost in round " << round;
      ASSERT_TRUE(now == original || DecodePixels(now) == DecodePixels(original)) << path;
    }
  }
  EXPECT_EQ(RunCli({"-q", photos_}).exitStatus, 0);
  EXPECT_EQ(Snapshot(photos_).size(), originals.size()) << "work files left";
  if (inMemory) umount2(photos_.c_str(), MNT_DETACH);
}

// A process limit that refuses threads, as a container's may: the run does without them and
// still rewrites every file. Run as a user of its own, who owns the photos.
TEST_F(CliProgramTest, ThreadsRefusedByAProcessLimit) {
  if (geteuid() != 0) GTEST_SKIP() << "needs to start the program as another user";
  std::map<std::string, Bytes> photos;
  for (unsigned i = 0; i < 6; ++i) {
    const std::string name = "d" + std::to_string(i % 2) + "/" + std::to_string(i) + ".jpg";
    chown(Put(name, photos[name] = Shrinkable(i)).c_str(), 65534, 0);
  }
  for (const auto& entry : fs::recursive_directory_iterator(dir_.path()))
    chmod(entry.path().c_str(), 0777);
  chmod(dir_.path().c_str(), 0777);
  // The leak check needs a thread of its own.
  const ScopedEnv noLeakCheck("ASAN_OPTIONS", "detect_leaks=0");
  const CliResult result = CliProcess({"-j", "4", photos_}, "",
                                      {"/usr/bin/setpriv", "--reuid=65534", "prlimit", "--nproc=1"})
                               .Finish();
  EXPECT_EQ(result.exitStatus, 0) << result.out << result.err;
  EXPECT_NE(result.out.find("Threads refused, jobs at a time: 1\n"), npos) << result.out;
  for (const auto& [name, bytes] : photos) ExpectRewritten(photos_ + "/" + name, bytes);
}

// Ctrl+C: a large first file keeps the job busy long enough for the signal to land inside it;
// many small files follow. Once: the files under way are finished and the summary printed.
// Twice: stop at once, leaving only work files, complete ones with their source's mode.
TEST_F(CliProgramTest, CtrlCOnceAndTwice) {
  constexpr int kSmallFiles = 150, kJobs = 2;
  // A work file's name holds its source's.
  const std::regex kWorkFileName(R"(\.keelpack-[0-9a-f]+-[0-9a-f]+-(.*)\.tmp)");
  for (bool twice : {false, true}) {
    SCOPED_TRACE(twice ? "twice" : "once");
    fs::remove_all(photos_);
    Put("000-big.jpg", Shrinkable(7, 2500));
    for (unsigned i = 0; i < kSmallFiles; ++i)
      Put("s" + std::to_string(i % 3) + "/p" + std::to_string(i) + ".jpg", Shrinkable(i + 10, 32));
    const auto before = Snapshot(photos_);
    CliProcess cli({"-v", "--check-readability", "-j", std::to_string(kJobs), photos_});
    ASSERT_TRUE(cli.WaitFor("Reading " + photos_ + "/000-big.jpg", seconds(60)));
    cli.Signal(SIGINT);
    // Two signals sent before the first is handled would count as one.
    ASSERT_TRUE(!twice || cli.WaitFor("stopping after the current file", seconds(30), true));
    if (twice) cli.Signal(SIGINT);
    const CliResult result = cli.Finish();
    EXPECT_EQ(result.exitStatus, 130);
    int replaced = 0;
    for (const auto& [name, state] : before) {
      const Bytes now = ReadFile(photos_ + "/" + name);
      replaced += now != state.bytes;
      EXPECT_TRUE(now == state.bytes || DecodePixels(now) == DecodePixels(state.bytes)) << name;
    }
    if (!twice) {
      EXPECT_NE(result.out.find("Operation cancelled!\n"), npos) << result.out;
      ASSERT_EQ(Summaries(result.out).size(), 1u);
      EXPECT_EQ(std::get<0>(Summaries(result.out)[0]), kSmallFiles + 1);  // found, not done
      // The other job went on while the big file was read, but only a window's length ahead.
      const size_t finished = CountOf(result.out, "Return code was ");
      EXPECT_EQ(CountOf(result.out, "Reading " + photos_), finished);
      EXPECT_EQ(replaced, static_cast<int>(finished));
      EXPECT_LT(finished, static_cast<size_t>(kSmallFiles));
      ExpectRewritten(photos_ + "/000-big.jpg", before.at("000-big.jpg").bytes);
      EXPECT_EQ(Snapshot(photos_).size(), before.size()) << "work files left";
      continue;
    }
    EXPECT_EQ(CountOf(result.err, "keelpack-cli: stopped\n"), 1u) << result.err;
    EXPECT_EQ(CountOf(result.out, "Finished."), 0u) << "the run went on to its end";
    // Left: the unfinished new file of a job under way, which no one else may read (at most one
    // per job), or that of a finished job that waited to be put in place.
    int unfinished = 0;
    for (const auto& [left, leftState] : Snapshot(photos_)) {
      if (!left.ends_with(".tmp") || (leftState.mode == 0600 && ++unfinished)) continue;
      const std::string source = std::regex_replace(left, kWorkFileName, "$1");
      ASSERT_TRUE(before.contains(source)) << left;
      ExpectRewritten(photos_ + "/" + left, before.at(source).bytes);
    }
    EXPECT_LE(unfinished, kJobs);
  }
}

// A tree with a file that re-encoding makes smaller, one large enough to be read only at its
// ends, a damaged one, one that is not JPEG data, a folder left out and one without photos: a
// dry run changes no byte, time or name, and tells line for line and record for record what
// the real run then does.
TEST_F(CliProgramTest, DryRunAndJsonRecordsTellWhatTheRunDoes) {
  const Bytes good = Shrinkable(1, 64), bad = Truncated(Shrinkable(2)), other = Shrinkable(3, 400);
  ASSERT_GT(other.size(), 96u << 10);  // picture data beyond what is read to find it
  auto make = [&] {
    fs::remove_all(photos_), Put("a.jpg", good), Put("sub/b.jpg", bad), Put("sub/d.jpg", other);
    Put("sub/c.jpg", ToBytes("not a picture")), Put("left?out/e.jpg", good);
    Put("no photos/notes.txt", ToBytes("none"));
  };
  auto folderTimes = [&] {
    return std::pair(fs::last_write_time(photos_), fs::last_write_time(photos_ + "/sub"));
  };
  make();
  const auto before = Snapshot(photos_);
  const auto times = folderTimes();
  const CliResult dryLines =
      RunCli({"-n", "-v", "--corrupted", "delete", "--output", dir_.File("out"), photos_});
  const CliResult dry = RunCli({"--dry-run", "--json", "--optimize", "--backups", photos_});
  EXPECT_TRUE(Snapshot(photos_) == before && folderTimes() == times &&
              !fs::exists(dir_.File("out")) && !fs::exists(dir_.File("config/keelpack.log")));
  const CliResult lines =
      RunCli({"-v", "--corrupted", "delete", "--output", dir_.File("out"), photos_});
  EXPECT_EQ(std::pair(dryLines.out, dryLines.err), std::pair(lines.out, lines.err));
  EXPECT_FALSE(fs::exists(dir_.File("out/no photos"))) << "a mirror folder made for no file";
  make();
  const CliResult real = RunCli({"--json", "--optimize", "--backups", photos_});
  EXPECT_EQ(real.exitStatus, 1);
  EXPECT_EQ(real.err, "Invalid characters in the name - " + photos_ + "/left?out\n");

  auto parse = [](const std::string& out) {
    std::map<std::string, nlohmann::json> records;  // by path, the run's under ""
    std::istringstream in(out);
    for (std::string line; std::getline(in, line);) {
      const auto record = nlohmann::json::parse(line);  // throws on a line that is not JSON
      EXPECT_TRUE(records.emplace(record.value("path", ""), record).second) << line;
    }
    return records;
  };
  auto records = parse(real.out), dryRecords = parse(dry.out);
  ASSERT_EQ(records.size(), 5u) << real.out;
  const Bytes a = ReadFile(photos_ + "/a.jpg"), d = ReadFile(photos_ + "/sub/d.jpg");
  EXPECT_EQ(DecodePixels(a), DecodePixels(good));
  EXPECT_EQ(records[photos_ + "/a.jpg"],
            nlohmann::json::parse(R"({"record":"file","path":")" + photos_ +
                                  R"(/a.jpg","verdict":"rewritten",)" +
                                  "\"bytes_before\":" + std::to_string(good.size()) +
                                  ",\"bytes_after\":" + std::to_string(a.size()) +
                                  R"(,"reencoding":"used","turned":false,"action":"replaced"})"));
  const nlohmann::json& b = records[photos_ + "/sub/b.jpg"];
  EXPECT_TRUE(b["verdict"] == "damaged" && b["reason"] == "No ending marker! File is truncated." &&
              b["action"] == "renamed" && b["target"] == photos_ + "/sub/_corrupted_b.jpg")
      << b;
  const nlohmann::json& c = records[photos_ + "/sub/c.jpg"];
  EXPECT_TRUE(c["verdict"] == "not_jpeg" && c["action"] == "left" && c["bytes_before"] == 13) << c;
  const long long saved = static_cast<long long>(good.size() + other.size() - a.size() - d.size());
  EXPECT_EQ(
      records[""],
      nlohmann::json::parse(
          R"({"record":"run","kind":"folder_tree","folder":")" + photos_ +
          R"(","files":4,"reduced":2,"saved":)" + std::to_string(saved) +
          R"(,"rewritten":2,"damaged":1,"not_jpeg":1,"skipped":0,"failed":0,"skipped_folders":1,"cancelled":false,"dry_run":false})"));
  // The dry run's records are the real run's, and say so.
  EXPECT_EQ(std::exchange(dryRecords[""]["dry_run"], false), true);
  EXPECT_EQ(dryRecords, records);

  // What a killed run left beside the selected files goes with the next run, not a dry one.
  const std::string stale = Put("sub/.keelpack-1f-2e-d.jpg.tmp", good);
  RunCli({"-n", photos_ + "/sub/d.jpg"});
  EXPECT_TRUE(fs::exists(stale));
  RunCli({photos_ + "/sub/d.jpg"});
  EXPECT_FALSE(fs::exists(stale));
}

// One picture from standard input to standard output: the bytes an in-place run with the same
// options gives the file (in every mode, the corpus tests compare them), and log lines on
// standard error, with -v only (a refusal below shows none); a damaged stream writes nothing.
TEST_F(CliProgramTest, StandardInputGivesTheBytesOfAnInPlaceRun) {
  const Bytes jpeg = WithExifFirst(Shrinkable(5), CameraExifBlock(false));
  const CliResult filtered =
      RunCli({"--exif", "keep", "-v", "-"}, std::string(jpeg.begin(), jpeg.end()));
  ASSERT_EQ(RunCli({"--exif", "keep", "-v", Put("f.jpg", jpeg)}).exitStatus, 0);
  const Bytes inPlace = ReadFile(photos_ + "/f.jpg");
  EXPECT_TRUE(filtered.exitStatus == 0 && ToBytes(filtered.out) == inPlace);
  EXPECT_NE(filtered.err.find("Reading (standard input)\n"), npos) << filtered.err;
  Bytes strayEnd = jpeg;
  strayEnd.insert(strayEnd.begin() + 2, {0xFF, 0xD9});
  for (const auto& [input, reason] :
       {std::pair{Truncated(jpeg), "damaged: No ending marker! File is truncated."},
        {strayEnd, "damaged: Possible corruption at 4"},
        {ToBytes("GIF89a"), "not JPEG data"}}) {
    const CliResult refused = RunCli({"-"}, std::string(input.begin(), input.end()));
    EXPECT_TRUE(refused.exitStatus == 1 && refused.out.empty()) << refused.exitStatus;
    EXPECT_EQ(refused.err, std::string("keelpack-cli: (standard input): ") + reason + "\n");
  }
}

}  // namespace
}  // namespace keelpack::test
