// Trees that a user, a second program or a second run can shape: links, mounts, swaps during
// a run, odd names. Whatever the tree, every source ends untouched or replaced by a complete
// rewrite with the same pixels, and nothing outside the tree and the output folder changes.
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <sstream>

#include "jpeg/reencode.h"
#include "platform/folder.h"
#include "runs/runs.h"
#include "runs/session.h"
#include "support/fake_front_end.h"
#include "support/jpeg_builder.h"
#include "support/pictures.h"
#include "support/temp_dir.h"

namespace keelpack::test {
namespace {

namespace fs = std::filesystem;

Bytes Photo(unsigned seed) {
  return test::ShrinkablePicture({.width = 32, .height = 24, .seed = seed});
}
// What another program saves over a photo: another picture, of another size.
Bytes Saved() { return test::ShrinkablePicture({.width = 40, .height = 30, .seed = 9}); }

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
  test::WriteFile(folder + "/" + name, bytes), Put(folder, more...);
}

std::string Expand(std::string line, const Paths& p) {
  return line.replace(line.find(" T/") + 1, 1, p.tree);
}

const std::string kLongName = std::string(251, 'n') + ".jpg";  // the longest a name may be

const Case kCases[] = {
    {"link to a tree folder inside the output folder",
     [](auto& p, auto& o) {
       Put(p.tree, "sub/a.jpg", Photo(1));
       fs::create_directories(p.out);
       fs::create_directory_symlink(p.tree + "/sub", p.out + "/sub");
       o.saveInDifferentFolder = 1, o.output = p.out;
     },
     "Cannot create path for T/sub/a.jpg", 1},
    {"output folder inside the tree over a photo, then over earlier outputs",
     [](auto& p, auto& o) {
       // sub/a.jpg is the user's own photo, of its source's very time; sub/b.jpg and sub/c.jpg are
       // earlier outputs of b.jpg and c.jpg (the latter re-encoded), of other times.
       const Bytes reencoded = ReencodeJpeg(Photo(3), OptimizeChoice::kProgressive).bytes;
       Put(p.tree, "a.jpg", Photo(1), "b.jpg", Photo(2), "c.jpg", Photo(3), "sub/a.jpg", Photo(4),
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
       Put(p.tree, "a/1.jpg", Photo(1), "b/2.jpg", Photo(1));
       Put(p.outside, "2.jpg", Photo(9));
     },
     "Cannot open directory T/b", 0, "b|b/2.jpg",
     [](auto& p) {
       fs::remove_all(p.tree + "/b"), fs::create_directory_symlink(p.outside, p.tree + "/b");
     }},
    {"file swapped for a link to a private file during the run",
     [](auto& p, auto&) {
       Put(p.tree, "1.jpg", Photo(1), "2.jpg", Photo(1));
       Put(p.outside, "private.jpg", Photo(9));
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
       Put(p.tree, "a.jpg", Photo(1));
       fs::create_hard_link(p.tree + "/a.jpg", p.tree + "/b.jpg");
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
         char value[8] = {};
         EXPECT_EQ(getxattr((p.tree + name).c_str(), "user.rating", value, sizeof value), 1)
             << name;
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
       Put(p.tree, "bad.jpg", Damaged());
       fs::create_directories(p.out);
       if (geteuid() == 0) mount("tmpfs", p.out.c_str(), "tmpfs", 0, "size=1m");
       o.mask = p.out + "/*-*.*";
     },
     "Renaming corrupted T/bad.jpg", 1, "bad.jpg", nullptr,
     [](auto& p) {
       EXPECT_EQ(ReadFile(p.out + "/bad-jpg._"), Damaged());
       umount2(p.out.c_str(), MNT_DETACH);
     }},
};

TEST(HostileTree, KeepsEverySourceWholeAndTouchesNothingOutside) {
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    test::Sandbox dir;
    const Paths p{dir.File("tree"), dir.File("out"), dir.File("outside")};
    for (const std::string& folder : {p.tree, p.outside}) fs::create_directories(folder);
    test::FakeFrontEnd front;
    front.folder = p.tree;
    c.setup(p, front.options);
    const auto tree = Snapshot(p.tree);
    const auto outside = Snapshot(p.outside);
    bool swapped = false;
    front.onYield = [&] {
      if (c.during && !swapped && front.statuses.back().starts_with("Processed"))
        c.during(p), swapped = true;
    };
    Session session(front);
    session.log().SetScreenDebug(true);  // the run's file-only lines too
    RunFolderTree(session);

    EXPECT_EQ(swapped, c.during != nullptr);
    for (const std::string& line : Split(c.lines))
      EXPECT_TRUE(front.box.Has(Expand(line, p))) << Expand(line, p);
    EXPECT_EQ(session.lastRun().outcomes.total() - session.lastRun().outcomes.rewritten,
              c.notRewritten);
    EXPECT_EQ(Snapshot(p.outside), outside);
    const auto after = Snapshot(p.tree);
    for (const auto& [name, before] : tree) {
      if (std::ranges::count(Split(c.free), name)) continue;
      ASSERT_TRUE(after.contains(name)) << name << " is gone";
      const Bytes& now = after.at(name).bytes;
      const auto pixels = test::DecodePixels(before.bytes);
      EXPECT_TRUE(now == before.bytes || (pixels && test::DecodePixels(now) == pixels))
          << name << " was changed";
    }
    for (const auto& [name, entry] : after)
      EXPECT_FALSE(platform::Folder::IsTemporaryName(fs::path(name).filename().string())) << name;
    if (c.check) c.check(p);
  }
}

}  // namespace
}  // namespace keelpack::test
