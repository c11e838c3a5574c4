#include "runs/runs.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <map>
#include <sstream>

#include "jpeg/reencode.h"
#include "platform/files.h"
#include "platform/folder.h"
#include "platform/listing.h"
#include "runs/session.h"
#include "support/fake_front_end.h"
#include "support/jpeg_builder.h"
#include "support/pictures.h"
#include "support/temp_dir.h"

namespace keelpack::test {
namespace {

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::IsSupersetOf;
namespace fs = std::filesystem;

Bytes Shrinkable() { return ShrinkablePicture({.width = 16, .height = 16}); }
std::string Name(int i) { return "f" + std::to_string(i) + ".jpg"; }

class RunsTest : public ::testing::Test {
 protected:
  void Put(const std::string& name) { WriteFile(dir.File(name), Shrinkable()); }
  void Folder(const std::string& name) { fs::create_directories(dir.File(name)); }
  bool Shrunk(const std::string& name) { return ReadFile(dir.File(name)).size() < fullSize; }
  // Abort is clicked during the first progress update, which comes after the first file.
  void AbortAfterTheFirstFile() {
    front.onYield = [&] {
      if (front.statuses.back().starts_with("Processed ")) session.RequestCancel();
    };
  }

  const size_t fullSize = Shrinkable().size();  // of every file Put writes
  Sandbox dir;
  FakeFrontEnd front;
  Session session{front};
  FileSelection files{dir.path(), {}};
};

TEST_F(RunsTest, SelectedFilesRunProcessesOnlyTheSelectionAndStopsBetweenFilesWhenAsked) {
  for (int i = 0; i < 10; ++i) {
    Put(Name(i));
    if (i != 1) files.names.push_back(Name(i));
  }
  session.log().SetLogLevel(kBrief);
  AbortAfterTheFirstFile();
  RunSelectedFiles(session, files);
  EXPECT_TRUE(Shrunk("f0.jpg") && !Shrunk("f2.jpg") && front.box.Has("Operation cancelled!"));
  EXPECT_EQ(front.statuses.front(), "Starting...");
  EXPECT_THAT(front.statuses, Contains("Processed 1 of 9 files..."));
  EXPECT_THAT(front.progress, Contains(testing::FloatEq(100.0f / 9)));
  EXPECT_EQ(front.statuses.back().find("Finished. Out of 9 files, 1 were reduced"), 0u);

  // The next run starts with the request cleared.
  front.onYield = [] {}, front.box.lines.clear();
  files.names.erase(files.names.begin());
  RunSelectedFiles(session, files);
  for (int i = 1; i < 10; ++i) EXPECT_EQ(Shrunk(Name(i)), i != 1) << i;
  EXPECT_FALSE(front.box.Has("Operation cancelled!"));
  EXPECT_EQ(session.lastRun().baseFolder, dir.path());
  const std::string summary =
      "Finished. Out of 8 files, 8 were reduced saving " +
      std::to_string(static_cast<long>(session.lastRun().totals.bytesSaved)) + " bytes.";
  EXPECT_GT(session.lastRun().totals.bytesSaved, 8 * 16);
  EXPECT_EQ(std::tuple(front.statuses.back(), front.progress.back(), front.filesChanged),
            std::tuple(summary, 100.0f, 2));
  const std::pair on{RunKind::kSelectedFiles, true}, off{RunKind::kSelectedFiles, false};
  EXPECT_THAT(front.runningChanges, ElementsAre(on, off, on, off));
  // The log file starts afresh with the run and ends with the summary.
  const auto lines = ReadLines(LogSink::LogFilePath().value());
  EXPECT_EQ(lines.front(), "Starting to process selected files in " + dir.path());
  EXPECT_EQ(lines.back(), summary);

  files.names.clear();
  RunSelectedFiles(session, files);
  EXPECT_TRUE(front.box.Has("Please select a file."));
  EXPECT_EQ(front.statuses.back(), "Finished. Out of 0 files, 0 were reduced saving 0 bytes.");
  EXPECT_EQ(front.progress.back(), 100);

  // An output folder inside the folder: a photo there with a selected file's name that is no
  // earlier output of it stays as it is.
  const Bytes theirs = ShrinkablePicture({.width = 24, .height = 16});
  WriteFile(dir.File("out/f2.jpg"), theirs);
  front.options.saveInDifferentFolder = 1, front.options.output = dir.File("out");
  files.names = {"f2.jpg"};
  RunSelectedFiles(session, files);
  EXPECT_TRUE(front.box.Has("Output exists - " + dir.File("out/f2.jpg")));
  EXPECT_EQ(ReadFile(dir.File("out/f2.jpg")), theirs);
}

TEST_F(RunsTest, TreeScanIsDepthFirstAndLeavesOutWhatItMust) {
  for (auto name :
       {"A/1.jpg", "A/B/2.JPG", "A/B/D/3.jpe", "A/C/4.jfif", "A/C/5.jif", "A/.hidden/6.jpg",
        "A/out/7.jpg", "A/out/deep/8.jpg", "A/wh?t/9.jpg", "A/C/notes.txt", "A/C/.x.jpeg"})
    Put(name);
  ASSERT_EQ(symlink(dir.File("A").c_str(), dir.File("A/B/loop").c_str()), 0);
  ASSERT_EQ(symlink(dir.File("A/1.jpg").c_str(), dir.File("A/C/link.jpg").c_str()), 0);
  ASSERT_EQ(mkfifo(dir.File("A/C/pipe.jpg").c_str(), 0644), 0);
  // Another spelling of the output folder.
  front.options.saveInDifferentFolder = 1, front.options.output = dir.File("A/B/../out/");
  session.log().SetScreenDebug(true);

  BuildFolderList(session, dir.File("A"));
  EXPECT_THAT(session.lastRun().dirList,
              ElementsAre(dir.File("A"), dir.File("A/B"), dir.File("A/B/D"), dir.File("A/C")));
  // Files: 1, 2, 3, 5 and the hidden .x.jpeg; not "4.jfif".
  EXPECT_EQ(std::pair(session.lastRun().folderTotal, session.lastRun().fileTotal), std::pair(4, 5));
  EXPECT_TRUE(front.box.Has("Invalid characters in the name - " + dir.File("A/wh?t")));

  // Past 2001 subfolders a folder is scanned in part.
  for (int i = 0; i < 2001; ++i) Folder("many/" + std::to_string(100000 + i));
  BuildFolderList(session, dir.File("many"));
  EXPECT_EQ(session.lastRun().folderTotal, 1 + 2001);
  EXPECT_FALSE(front.box.Has("Too many directories in " + dir.File("many")));
  Folder("many/102001");
  BuildFolderList(session, dir.File("many"));
  EXPECT_TRUE(front.box.Has("Too many directories in " + dir.File("many")));
  EXPECT_EQ(std::pair(session.lastRun().folderTotal, session.lastRun().dirList.back()),
            std::pair(1 + 2001, dir.File("many/102000")));
}

TEST_F(RunsTest, TreeRunCountsFiveFoldersPerStatusAndStopsBetweenFoldersWhenAsked) {
  for (int i = 0; i < 11; ++i) Put("t" + std::to_string(i) + "/x.jpg");
  AbortAfterTheFirstFile();
  RunFolderTree(session, dir.path());
  int shrunk = 0;
  for (int i = 0; i < 11; ++i) shrunk += Shrunk("t" + std::to_string(i) + "/x.jpg");
  EXPECT_EQ(std::tuple(shrunk, std::ranges::count(front.box.lines, "Operation cancelled!"),
                       session.lastRun().folderTotal),
            std::tuple(1, 1, 12));
  EXPECT_THAT(front.statuses,
              IsSupersetOf({"Found 5 directories, 4 files...", "Found 10 directories, 9 files...",
                            "Processed 1 of 11 files in 2 of 12 directories."}));
  EXPECT_THAT(front.runningChanges, ElementsAre(std::pair(RunKind::kFolderTree, true),
                                                std::pair(RunKind::kFolderTree, false)));

  // Nothing to do; and with the output folder as the tree's top, nothing is even scanned.
  Folder("empty");
  RunFolderTree(session, dir.File("empty"));
  EXPECT_TRUE(front.box.Has("No compatible file found."));
  Put("empty/a.jpg");
  front.options.saveInDifferentFolder = 1, front.options.output = dir.File("empty");
  RunFolderTree(session, dir.File("empty"));
  EXPECT_TRUE(session.lastRun().folderTotal == 0 && !Shrunk("empty/a.jpg"));
}

// Faults from outside: a disk that fills up, a folder that turns read-only. (A process killed
// in the middle of a run: the command line's two-runs test.) Afterwards every source file must
// be either untouched or replaced by a complete file that shows the same pixels.
class FaultTest : public RunsTest {
 protected:
  // A small file system of our own, so that it can fill up or turn read-only, with pictures.
  bool MountSmallDisk(const std::string& size, int pictures, int width) {
    mounted = platform::MakeFolder(disk) &&
              mount("tmpfs", disk.c_str(), "tmpfs", 0, ("size=" + size).c_str()) == 0;
    for (int i = 0; mounted && i < pictures; ++i) {
      const std::string path = disk + "/p" + std::to_string(100 + i) + ".jpg";
      originals[path] =
          ShrinkablePicture({.width = width, .height = 120, .quality = 95, .seed = i + 1u}, 300);
      WriteFile(path, originals[path]);
    }
    // A failing disk must never look like damage.
    front.options.corrupted = CorruptedChoice::kDelete;
    return mounted;
  }
  void TearDown() override {
    if (mounted) umount2(disk.c_str(), MNT_DETACH);
  }

  // Every source (and backup) is its original or a complete rewrite; returns how many were
  // rewritten.
  int ExpectEverySourceWhole() {
    int rewritten = 0;
    for (const auto& [path, original] : originals) {
      EXPECT_TRUE(!platform::Exists(path + ".bak") || ReadFile(path + ".bak") == original) << path;
      const Bytes now = ReadFile(path);
      if (now == original) continue;
      ++rewritten;
      EXPECT_EQ(DecodePixels(now), DecodePixels(original)) << path;
    }
    return rewritten;
  }

  std::string disk = dir.File("disk");
  bool mounted = false;
  std::map<std::string, Bytes> originals;
};

TEST_F(FaultTest, DiskFillingUpMidWriteLeavesTheSourcesWhole) {
  if (!MountSmallDisk("1m", 6, 320)) GTEST_SKIP() << "cannot mount a small file system here";
  // Fill the disk, then free room for about one third of a picture.
  const Bytes third(originals.rbegin()->second.size() / 3, 0);
  int fillers = 0;
  while (platform::WriteWholeFile(disk + "/filler" + std::to_string(fillers), third)) ++fillers;
  for (int i : {0, fillers}) (void)platform::RemoveFile(disk + "/filler" + std::to_string(i));

  front.options.backups = 1;  // a full disk never leaves a backup cut short
  RunFolderTree(session, disk);
  ExpectEverySourceWhole();
  EXPECT_TRUE(session.lastRun().outcomes.failed > 0 && session.lastRun().outcomes.damaged == 0);
  EXPECT_EQ(platform::ListFiles(disk, "*.tmp")->size(), 0u);
  EXPECT_TRUE(std::ranges::any_of(
      front.box.lines, [](auto& line) { return line.starts_with("Cannot backup image - "); }));
}

TEST_F(FaultTest, FolderTurningReadOnlyDuringARunLeavesTheRestUntouched) {
  if (!MountSmallDisk("8m", 5, 160)) GTEST_SKIP() << "cannot mount a small file system here";
  // After the first file, while the run shows its progress.
  front.onYield = [&] {
    if (front.statuses.back().starts_with("Processed ")) {
      ASSERT_EQ(mount(nullptr, disk.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr), 0);
    }
  };
  RunFolderTree(session, disk);
  // The first new file may still wait for its batch when the disk turns read-only.
  EXPECT_EQ(ExpectEverySourceWhole(), session.lastRun().outcomes.rewritten);
  const JobCounts& outcomes = session.lastRun().outcomes;
  EXPECT_TRUE(outcomes.rewritten <= 1 && outcomes.failed == 5 - outcomes.rewritten);
  EXPECT_TRUE(front.box.Has("Inaccessible for writing - " + disk + "/p104.jpg"));
}

// Trees that a user, a second program or a second run can shape: links, mounts, swaps during
// a run, odd names. Whatever the tree, every source ends untouched or replaced by a complete
// rewrite with the same pixels, and nothing outside the tree and the output folder changes.

Bytes Photo(unsigned seed) { return ShrinkablePicture({.width = 32, .height = 24, .seed = seed}); }
// What another program saves over a photo: another picture, of another size.
Bytes Saved() { return ShrinkablePicture({.width = 40, .height = 30, .seed = 9}); }

// The folders of one case: the tree, the output folder and a folder outside both.
struct Paths {
  std::string tree, out, outside;
};

struct Case {
  const char* name;
  std::function<void(const Paths&, OptionSet&)> setup;
  std::string lines;      // screen lines, split at "|"; "T" in a line stands for the tree
  int notRewritten;       // files skipped, damaged or failed
  std::string free = "";  // tree entries that may change or leave, split at "|"
  std::function<void(const Paths&)> during = nullptr;  // at the first progress update
  std::function<void(const Paths&)> check = nullptr;
};

std::vector<std::string> Split(const std::string& text) {
  std::vector<std::string> parts;
  std::istringstream in(text);
  for (std::string part; std::getline(in, part, '|');) parts.push_back(part);
  return parts;
}

// Writes each file, given as a name and its bytes, below `folder`.
void Put(const std::string&) {}
template <typename... More>
void Put(const std::string& folder, const std::string& name, const Bytes& bytes, More... more) {
  WriteFile(folder + "/" + name, bytes), Put(folder, more...);
}

const std::string kLongName = std::string(251, 'n') + ".jpg";  // the longest a name may be

const Case kCases[] = {
    {"link to a tree folder inside the output folder",
     [](auto& p, auto& o) {
       Put(p.tree, "sub/a.jpg", Photo(1));
       fs::create_directories(p.out), fs::create_directory_symlink(p.tree + "/sub", p.out + "/sub");
       o.saveInDifferentFolder = 1, o.output = p.out;
     },
     "Cannot create path for T/sub/a.jpg", 1},
    {"output folder inside the tree over a photo, then over earlier outputs",
     [](auto& p, auto& o) {
       // sub/a.jpg is the user's own photo, of its source's very time and coefficients but another
       // table; sub/b.jpg and sub/c.jpg are earlier outputs of b.jpg and c.jpg (the latter
       // re-encoded), of other times.
       const Bytes reencoded = ReencodeJpeg(Photo(3), OptimizeChoice::kProgressive).bytes;
       Bytes theirs = Photo(1);
       ++theirs[SegmentAt(theirs, kDqt) + 5];
       Put(p.tree, "a.jpg", Photo(1), "b.jpg", Photo(2), "c.jpg", Photo(3), "sub/a.jpg", theirs,
           "sub/b.jpg", Photo(2), "sub/c.jpg", reencoded);
       fs::last_write_time(p.tree + "/sub/a.jpg", fs::last_write_time(p.tree + "/a.jpg"));
       fs::last_write_time(p.tree + "/sub/c.jpg",
                           fs::last_write_time(p.tree + "/c.jpg") - std::chrono::hours(1));
       o.saveInDifferentFolder = 1, o.output = p.tree + "/sub";
     },
     "Output exists - T/sub/a.jpg", 1, "sub/b.jpg|sub/c.jpg", nullptr,
     [](auto& p) {
       for (std::string name : {"/b.jpg", "/c.jpg"}) {
         const std::string source = p.tree + name, output = p.tree + "/sub" + name;
         EXPECT_EQ(DecodePixels(ReadFile(output)), DecodePixels(ReadFile(source)));
         EXPECT_EQ(fs::last_write_time(output), fs::last_write_time(source)) << name;
       }
     }},
    {"output folder holding the tree",
     [](auto& p, auto& o) {
       Put(p.tree, "x.jpg", Photo(1), fs::path(p.tree).filename().string() + "/x.jpg", Photo(2));
       o.saveInDifferentFolder = 1, o.output = fs::path(p.tree).parent_path();
     },
     "", 2},
    {"folder swapped for a link to outside after the scan",
     [](auto& p, auto&) {
       Put(p.tree, "a/1.jpg", Photo(1), "b/2.jpg", Photo(1)), Put(p.outside, "2.jpg", Photo(9));
     },
     "Cannot open directory T/b", 0, "b|b/2.jpg",
     [](auto& p) {
       fs::remove_all(p.tree + "/b"), fs::create_directory_symlink(p.outside, p.tree + "/b");
     }},
    {"file swapped for a link to a private file during the run",
     [](auto& p, auto&) {
       Put(p.tree, "1.jpg", Photo(1), "2.jpg", Photo(1)), Put(p.outside, "private.jpg", Photo(9));
       chmod((p.outside + "/private.jpg").c_str(), 0600);
     },
     "Incompatible file ignored - T/2.jpg", 1, "2.jpg",
     [](auto& p) {
       fs::remove(p.tree + "/2.jpg"),
           fs::create_symlink(p.outside + "/private.jpg", p.tree + "/2.jpg");
     }},
    // Another program saves a photo while its new file waits to be put in place: what it saved
    // stays, whether it came under the name or into the file.
    {"photo replaced by another program", [](auto& p, auto&) { Put(p.tree, "1.jpg", Photo(1)); },
     "File changed during processing - T/1.jpg", 1, "1.jpg",
     [](auto& p) { Put(p.tree, "new", Saved()), fs::rename(p.tree + "/new", p.tree + "/1.jpg"); },
     [](auto& p) { EXPECT_EQ(ReadFile(p.tree + "/1.jpg"), Saved()); }},
    {"photo saved in place", [](auto& p, auto&) { Put(p.tree, "1.jpg", Photo(1)); },
     "File changed during processing - T/1.jpg", 1, "1.jpg",
     [](auto& p) { Put(p.tree, "1.jpg", Saved()); },
     [](auto& p) { EXPECT_EQ(ReadFile(p.tree + "/1.jpg"), Saved()); }},
    {"hard links, the second met while the first waits",
     [](auto& p, auto&) {
       Put(p.tree, "a.jpg", Photo(1)), fs::create_hard_link(p.tree + "/a.jpg", p.tree + "/b.jpg");
     },
     "Hard link to a file under way - T/b.jpg", 1, "", nullptr,
     [](auto& p) { EXPECT_EQ(ReadFile(p.tree + "/b.jpg"), Photo(1)); }},
    {"backups: an earlier one (a link to a read-only document) stays, a new one carries the "
     "attributes",
     [](auto& p, auto& o) {
       Put(p.tree, "a.jpg", Photo(1), "b.jpg", Photo(2));
       Put(p.outside, "doc", {1, 2, 3});
       chmod((p.outside + "/doc").c_str(), 0444);
       fs::create_symlink(p.outside + "/doc", p.tree + "/a.jpg.bak");
       setxattr((p.tree + "/b.jpg").c_str(), "user.rating", "5", 1, 0);
       o.backups = 1;
     },
     "Earlier backup kept - T/a.jpg", 0, "", nullptr,
     [](auto& p) {
       EXPECT_EQ(ReadFile(p.tree + "/b.jpg.bak"), Photo(2));
       // Where the file system keeps user attributes, the rewrite and the backup carry them.
       if (setxattr(p.tree.c_str(), "user.probe", "1", 1, 0) != 0) return;
       for (std::string name : {"/b.jpg", "/b.jpg.bak"}) {
         char v[8] = {};
         EXPECT_EQ(getxattr((p.tree + name).c_str(), "user.rating", v, sizeof v), 1) << name;
       }
     }},
    {"long names and backslashes are ordinary, and a masked name stays",
     [](auto& p, auto& o) {
       // "\\_old.jpg" is a name this mask gave on an earlier run.
       Put(p.tree, kLongName, Photo(1), "my\\dir/we\\ird.jpg", Damaged(), "\\_old.jpg", Damaged());
       o.mask = "\\_*.*";
     },
     "Renaming corrupted T/my\\dir/we\\ird.jpg|Incompatible file ignored - T/\\_old.jpg", 2,
     "my\\dir/we\\ird.jpg", nullptr,
     [](auto& p) {
       EXPECT_EQ(ReadFile(p.tree + "/my\\dir/\\_we\\ird.jpg"), Damaged());
       EXPECT_LT(ReadFile(p.tree + "/" + kLongName).size(), Photo(1).size());
     }},
    {"mask on another file system",
     [](auto& p, auto& o) {
       Put(p.tree, "bad.jpg", Damaged()), fs::create_directories(p.out);
       if (geteuid() == 0) mount("tmpfs", p.out.c_str(), "tmpfs", 0, "size=1m");
       o.mask = p.out + "/*-*.*";
     },
     "Renaming corrupted T/bad.jpg", 1, "bad.jpg", nullptr,
     [](auto& p) {
       EXPECT_EQ(ReadFile(p.out + "/bad-jpg._"), Damaged());
       umount2(p.out.c_str(), MNT_DETACH);
     }}};

TEST(HostileTree, KeepsEverySourceWholeAndTouchesNothingOutside) {
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    Sandbox dir;
    const Paths p{dir.File("tree"), dir.File("out"), dir.File("outside")};
    for (const std::string& folder : {p.tree, p.outside}) fs::create_directories(folder);
    FakeFrontEnd front;
    c.setup(p, front.options);
    const auto tree = Snapshot(p.tree), outside = Snapshot(p.outside);
    bool swapped = false;
    front.onYield = [&] {
      if (c.during && !swapped && front.statuses.back().starts_with("Processed"))
        c.during(p), swapped = true;
    };
    Session session(front);
    session.log().SetScreenDebug(true);  // the run's file-only lines too
    RunFolderTree(session, p.tree);

    EXPECT_EQ(swapped, c.during != nullptr);
    auto expand = [&](std::string line) { return line.replace(line.find(" T/") + 1, 1, p.tree); };
    for (const std::string& line : Split(c.lines))
      EXPECT_TRUE(front.box.Has(expand(line))) << expand(line);
    EXPECT_EQ(session.lastRun().outcomes.total() - session.lastRun().outcomes.rewritten,
              c.notRewritten);
    EXPECT_EQ(Snapshot(p.outside), outside);
    const auto after = Snapshot(p.tree);
    for (const auto& [name, before] : tree) {
      if (std::ranges::count(Split(c.free), name)) continue;
      ASSERT_TRUE(after.contains(name)) << name << " is gone";
      const Bytes& now = after.at(name).bytes;
      const auto pixels = DecodePixels(before.bytes);
      EXPECT_TRUE(now == before.bytes || (pixels && DecodePixels(now) == pixels))
          << name << " was changed";
    }
    for (const auto& [name, entry] : after)
      EXPECT_FALSE(platform::Folder::IsTemporaryName(fs::path(name).filename().string())) << name;
    if (c.check) c.check(p);
  }
}

}  // namespace
}  // namespace keelpack::test
