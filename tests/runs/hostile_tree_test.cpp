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
  std::vector<std::string> lines;
  int notRewritten = 0;  // files skipped, damaged or failed
  std::vector<std::string> free =
      {};  // tree entries that may change or leave (checked on their own)
  std::function<void(const Paths&)> during =
      nullptr;  // at the first progress update, after one file
  std::function<void(const Paths&)> check = nullptr;
  // Between a file's reading and its replacement, another program at work on it.
  std::function<void(const std::string& path)> race = nullptr;
};

// Writes each file below `folder`.
void Put(const std::string& folder, std::initializer_list<std::pair<std::string, Bytes>> files) {
  for (const auto& [name, bytes] : files) test::WriteFile(folder + "/" + name, bytes);
}

// "T" in a line stands for the tree.
std::string Expand(std::string line, const Paths& p) {
  return line.replace(line.find(" T/") + 1, 1, p.tree);
}

const std::string kLongName = std::string(251, 'n') + ".jpg";  // the longest a name may be

const Case kCases[] = {
    {"link to a tree folder inside the output folder",
     [](const Paths& p, OptionSet& o) {
       Put(p.tree, {{"sub/a.jpg", Photo(1)}});
       fs::create_directories(p.out);
       fs::create_directory_symlink(p.tree + "/sub", p.out + "/sub");
       o.saveInDifferentFolder = 1, o.output = p.out;
     },
     {"Cannot create path for T/sub/a.jpg"},
     1},
    {"output folder inside the tree over a photo, then over earlier outputs",
     [](const Paths& p, OptionSet& o) {
       // sub/a.jpg is the user's own photo, of its source's very time; sub/b.jpg and sub/c.jpg are
       // earlier outputs of b.jpg and c.jpg (the latter re-encoded), of other times.
       const Bytes reencoded = ReencodeJpeg(Photo(3), OptimizeChoice::kProgressive).bytes;
       Put(p.tree, {{"a.jpg", Photo(1)},
                    {"b.jpg", Photo(2)},
                    {"c.jpg", Photo(3)},
                    {"sub/a.jpg", Photo(4)},
                    {"sub/b.jpg", Photo(2)},
                    {"sub/c.jpg", reencoded}});
       fs::last_write_time(p.tree + "/sub/a.jpg", fs::last_write_time(p.tree + "/a.jpg"));
       fs::last_write_time(p.tree + "/sub/c.jpg",
                           fs::last_write_time(p.tree + "/c.jpg") - std::chrono::hours(1));
       o.saveInDifferentFolder = 1, o.output = p.tree + "/sub";
     },
     {"Output exists - T/sub/a.jpg"},
     1,
     {"sub/b.jpg", "sub/c.jpg"},
     nullptr,
     [](const Paths& p) {
       for (const char* name : {"b.jpg", "c.jpg"}) {
         EXPECT_EQ(test::DecodePixels(test::ReadFile(p.tree + "/sub/" + name)),
                   test::DecodePixels(test::ReadFile(p.tree + "/" + name)));
         EXPECT_EQ(fs::last_write_time(p.tree + "/sub/" + name),
                   fs::last_write_time(p.tree + "/" + name))
             << name << " not replaced";
       }
     }},
    {"output folder holding the tree",
     [](const Paths& p, OptionSet& o) {
       Put(p.tree,
           {{"x.jpg", Photo(1)}, {fs::path(p.tree).filename().string() + "/x.jpg", Photo(2)}});
       o.saveInDifferentFolder = 1, o.output = fs::path(p.tree).parent_path();
     },
     {},
     2},
    {"folder swapped for a link to outside after the scan",
     [](const Paths& p, OptionSet&) {
       Put(p.tree, {{"a/1.jpg", Photo(1)}, {"b/2.jpg", Photo(1)}});
       Put(p.outside, {{"2.jpg", Photo(9)}});
     },
     {"Cannot open directory T/b"},
     0,
     {"b", "b/2.jpg"},
     [](const Paths& p) {
       fs::remove_all(p.tree + "/b"), fs::create_directory_symlink(p.outside, p.tree + "/b");
     }},
    {"file swapped for a link to a private file during the run",
     [](const Paths& p, OptionSet&) {
       Put(p.tree, {{"1.jpg", Photo(1)}, {"2.jpg", Photo(1)}});
       Put(p.outside, {{"private.jpg", Photo(9)}});
       chmod((p.outside + "/private.jpg").c_str(), 0600);
     },
     {"Incompatible file ignored - T/2.jpg"},
     1,
     {"2.jpg"},
     [](const Paths& p) {
       fs::remove(p.tree + "/2.jpg"),
           fs::create_symlink(p.outside + "/private.jpg", p.tree + "/2.jpg");
     }},
    // Another program saves a photo after it was read: what it saved stays.
    {"photo replaced by another program while its new file waits to be put in place",
     [](const Paths& p, OptionSet&) {
       Put(p.tree, {{"1.jpg", Photo(1)}});
     },
     {"File changed during processing - T/1.jpg"},
     1,
     {"1.jpg"},
     [](const Paths& p) {
       Put(p.tree, {{"new", Saved()}}), fs::rename(p.tree + "/new", p.tree + "/1.jpg");
     },
     [](const Paths& p) { EXPECT_EQ(test::ReadFile(p.tree + "/1.jpg"), Saved()); }},
    {"photo saved in place while its new file waits to be put in place",
     [](const Paths& p, OptionSet&) {
       Put(p.tree, {{"1.jpg", Photo(1)}});
     },
     {"File changed during processing - T/1.jpg"},
     1,
     {"1.jpg"},
     [](const Paths& p) {
       Put(p.tree, {{"1.jpg", Saved()}});
     },
     [](const Paths& p) { EXPECT_EQ(test::ReadFile(p.tree + "/1.jpg"), Saved()); }},
    {"damaged photo still being copied in, to be deleted",
     [](const Paths& p, OptionSet& o) {
       Put(p.tree, {{"1.jpg", Damaged()}});
       o.corrupted = CorruptedChoice::kDelete;
     },
     {"File changed during processing - T/1.jpg"},
     1,
     {"1.jpg"},
     nullptr,
     [](const Paths& p) {
       EXPECT_EQ(test::ReadFile(p.tree + "/1.jpg"), Concat({Damaged(), Photo(1)}));
     },
     [](const std::string& path) {
       test::WriteFile(path, Concat({Damaged(), Photo(1)}));
     }},
    {"photo saved in place while written to the output folder",
     [](const Paths& p, OptionSet& o) {
       Put(p.tree, {{"1.jpg", Photo(1)}});
       o.saveInDifferentFolder = 1, o.output = p.out;
     },
     {"File changed during processing - T/1.jpg"},
     1,
     {"1.jpg"},
     nullptr,
     [](const Paths& p) { EXPECT_FALSE(fs::exists(p.out + "/1.jpg")); },
     [](const std::string& path) { test::WriteFile(path, Saved()); }},
    {"output folder with a damaged photo and a stray end marker: no source is touched",
     [](const Paths& p, OptionSet& o) {
       Bytes stray = Photo(2);
       stray.insert(stray.begin() + 2, {0xFF, 0xD9});
       Put(p.tree, {{"a.jpg", Photo(1)}, {"bad.jpg", Damaged()}, {"stray.jpg", stray}});
       o.saveInDifferentFolder = 1, o.output = p.out, o.corrupted = CorruptedChoice::kDelete;
     },
     {"Incompatible file ignored - T/bad.jpg", "Incompatible file ignored - T/stray.jpg"},
     2,
     {},
     nullptr,
     [](const Paths& p) { EXPECT_EQ(Snapshot(p.out).size(), 1u); }},
    {"hard links, the second met while the first waits",
     [](const Paths& p, OptionSet&) {
       Put(p.tree, {{"a.jpg", Photo(1)}});
       fs::create_hard_link(p.tree + "/a.jpg", p.tree + "/b.jpg");
     },
     {"Hard link to a file under way - T/b.jpg"},
     1,
     {},
     nullptr,
     [](const Paths& p) { EXPECT_EQ(test::ReadFile(p.tree + "/b.jpg"), Photo(1)); }},
    {"backups: an earlier one (a link to a read-only document) stays, a new one carries the "
     "attributes",
     [](const Paths& p, OptionSet& o) {
       Put(p.tree, {{"a.jpg", Photo(1)}, {"b.jpg", Photo(2)}});
       Put(p.outside, {{"doc", {1, 2, 3}}});
       chmod((p.outside + "/doc").c_str(), 0444);
       fs::create_symlink(p.outside + "/doc", p.tree + "/a.jpg.bak");
       setxattr((p.tree + "/b.jpg").c_str(), "user.rating", "5", 1, 0);
       o.backups = 1;
     },
     {"Earlier backup kept - T/a.jpg"},
     0,
     {},
     nullptr,
     [](const Paths& p) {
       EXPECT_EQ(test::ReadFile(p.tree + "/b.jpg.bak"), Photo(2));
       // Where the file system keeps user attributes, the rewrite and the backup carry them.
       if (setxattr(p.tree.c_str(), "user.probe", "1", 1, 0) != 0) return;
       for (const char* name : {"/b.jpg", "/b.jpg.bak"}) {
         char value[8] = {};
         EXPECT_EQ(getxattr((p.tree + name).c_str(), "user.rating", value, sizeof value), 1)
             << name;
       }
     }},
    {"long names and backslashes are ordinary, and a masked name stays",
     [](const Paths& p, OptionSet& o) {
       // "\\_old.jpg" is a name this mask gave on an earlier run.
       Put(p.tree,
           {{kLongName, Photo(1)}, {"my\\dir/we\\ird.jpg", Damaged()}, {"\\_old.jpg", Damaged()}});
       o.mask = "\\_*.*";
     },
     {"Renaming corrupted T/my\\dir/we\\ird.jpg", "Incompatible file ignored - T/\\_old.jpg"},
     2,
     {"my\\dir/we\\ird.jpg"},
     nullptr,
     [](const Paths& p) {
       EXPECT_EQ(test::ReadFile(p.tree + "/my\\dir/\\_we\\ird.jpg"), Damaged());
       EXPECT_LT(test::ReadFile(p.tree + "/" + kLongName).size(), Photo(1).size());
     }},
    {"mask on another file system",
     [](const Paths& p, OptionSet& o) {
       Put(p.tree, {{"bad.jpg", Damaged()}});
       fs::create_directories(p.out);
       if (geteuid() == 0) mount("tmpfs", p.out.c_str(), "tmpfs", 0, "size=1m");
       o.mask = p.out + "/*-*.*";
     },
     {"Renaming corrupted T/bad.jpg"},
     1,
     {"bad.jpg"},
     nullptr,
     [](const Paths& p) {
       EXPECT_EQ(test::ReadFile(p.out + "/bad-jpg._"), Damaged());
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
    c.setup(p, front.options);
    const auto tree = Snapshot(p.tree);
    const auto outside = Snapshot(p.outside);
    bool swapped = false;
    front.onYield = [&] {
      if (c.during && !swapped && front.statuses.back().starts_with("Processed"))
        c.during(p), swapped = true;
    };
    Session session(front, {.judged = c.race});
    session.log().SetScreenDebug(true);  // the run's file-only lines too
    RunFolderTree(session, p.tree);

    EXPECT_EQ(swapped, c.during != nullptr);
    for (const std::string& line : c.lines)
      EXPECT_TRUE(front.box.Has(Expand(line, p))) << Expand(line, p);
    EXPECT_EQ(session.lastRun().outcomes.total() - session.lastRun().outcomes.rewritten,
              c.notRewritten);
    EXPECT_EQ(Snapshot(p.outside), outside);
    const auto after = Snapshot(p.tree);
    for (const auto& [name, before] : tree) {
      if (std::ranges::find(c.free, name) != c.free.end()) continue;
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
