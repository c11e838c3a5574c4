#include "jobs/process_file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <random>

#include "jpeg/markers.h"
#include "log/log_sink.h"
#include "platform/file_time.h"
#include "platform/files.h"
#include "platform/folder.h"
#include "platform/listing.h"
#include "settings/option_set.h"
#include "support/exif_builder.h"
#include "support/jpeg_builder.h"
#include "support/pictures.h"
#include "support/temp_dir.h"

namespace keelpack::test {
namespace {

namespace fs = std::filesystem;

Bytes Good() { return ShrinkablePicture({.width = 32, .height = 24}); }
Bytes NotAJpeg() { return ToBytes("GIF89a - not a JPEG at all, whatever its name says"); }

long PeakKiB() {
  rusage usage{};
  return getrusage(RUSAGE_SELF, &usage) == 0 ? usage.ru_maxrss : 0;
}

// The memory a job takes, as far as the process's peak shows it: not under the address
// sanitizer, whose shadow of every allocation comes on top (its runtime alone defines this).
extern "C" void __asan_init() __attribute__((weak));

enum Fate { kReplaced, kUntouched, kRenamed, kGone, kOther };

// One outcome of the file job: the file, the options (set by `before`), what the job reports
// and what becomes of the source.
struct Row {
  const char* name;
  Bytes content = {};
  JobOutcome outcome;
  Fate fate;
  std::string line = {};  // a screen line, followed by the path; none: the screen stays empty
  std::function<void(const std::string& path)> before = {};
  std::function<void(const std::string& path)> check = {};
  std::string file = "photo.jpg";
  std::string mirrored = {};  // the picture written to the output folder
  std::string renamed = "_corrupted_photo.jpg";
  size_t sparseTail = 0;  // grows the file to this size with a hole after the content
};

using O = JobOutcome;

// A sandbox folder and what a file job needs to run in it, its screen lines captured.
class ProcessFileTest : public ::testing::Test {
 protected:
  JobOutcome Process(std::string path, bool durable = false) {
    JobEnv env{.log = log, .options = options, .baseFolder = base, .yield = yield};
    env.durable = durable, env.judged = judged;
    return ProcessFile(env, path).outcome;
  }
  std::string At(const std::string& name) const { return here + "/" + name; }
  long Temporaries() const {
    return std::count_if(
        fs::recursive_directory_iterator(here), {}, [](const fs::directory_entry& entry) {
          return platform::Folder::IsTemporaryName(entry.path().filename().string());
        });
  }

  Sandbox dir;
  CapturingLogBox box;
  LogSink log{box};
  OptionSet options;
  std::string base = dir.path(), here;
  std::function<void()> yield;
  // Another program, between reading and replacing.
  std::function<void(const std::string& path)> judged;
};

TEST_F(ProcessFileTest, EachOutcomeLeavesTheSourceAsTheOptionsSay) {
  rlimit old{};
  getrlimit(RLIMIT_FSIZE, &old);
  const Bytes good = Good(), picture = EncodePicture({.width = 40, .height = 24});
  // An IFD0 of 255 entries in a little-endian block: the count's low byte, 0xFF, at offset 20.
  ExifBuilder many;
  for (uint16_t tag = 0; tag < 255; ++tag)
    many.Add(ExifBuilder::kIfd0, many.Short(static_cast<uint16_t>(0x8000 + tag), 7));
  const Bytes manyEntries = WithExifFirst(picture, many.Build());
  // The header the repair is meant for: an APP1 "Exif" of length 16, then a marker at 20.
  const Bytes brokenHeader = Concat(
      {{0xFF, 0xD8, 0xFF, 0xE1, 0x00, 0x10},
       ToBytes(std::string("Exif\0\0MM\0\x2A\0\0\0\x08", 14)),
       Bytes(picture.begin() + static_cast<ptrdiff_t>(SegmentAt(picture, kDqt)), picture.end())});
  const Bytes repairedHead =
      ToBytes(std::string("\xFF\xD8\xFF\xE0\0\x10JFIF\0\1\1\0\0\1\0\1\0\0", 20));
  // A tiny progressive file that declares a frame of 30000 x 30000.
  Bytes huge = EncodePicture({.width = 16, .height = 16, .progressive = true});
  for (size_t at : {SegmentAt(huge, kSof2) + 5, SegmentAt(huge, kSof2) + 7})
    huge[at] = 30000 >> 8, huge[at + 1] = 30000 & 0xFF;
  // A portrait photo lying on its side, with more picture data than the quick scan reads.
  ExifBuilder sideways;
  sideways.Add(ExifBuilder::kIfd0, sideways.Short(274, 6));
  const Bytes portrait =
      WithExifFirst(EncodePicture({.width = 512, .height = 256, .quality = 95}), sideways.Build());
  // Complete as far as markers go, but its picture data decodes to nothing.
  const Bytes undecodable = JpegBuilder().Soi().Sof0().Sos().Entropy({1, 2, 3}).Eoi().bytes();
  // Another program saves the file, or goes on copying it in, after it was read.
  const Bytes saved = ShrinkablePicture({.width = 40, .height = 32, .seed = 7}),
              appended = Concat({Damaged(), Bytes(4000, 0x55)});
  auto inPlace = [&](auto& path) { WriteFile(path, saved); };
  auto copyingOn = [&](auto& path) { WriteFile(path, appended); };
  auto underName = [&](auto& path) {
    WriteFile(path + ".new", saved), fs::rename(path + ".new", path);
  };
  const bool root = geteuid() == 0;
  bool procHidden = false;

  auto elsewhere = [&](auto&) { options.saveInDifferentFolder = 1, options.output = At("out"); };
  auto hardLink = [](auto& path) { ASSERT_EQ(link(path.c_str(), (path + ".link").c_str()), 0); };
  auto setTime = [](const std::string& path, time_t seconds, long nanoseconds) {
    const timespec times[2] = {{0, UTIME_OMIT}, {seconds, nanoseconds}};
    utimensat(AT_FDCWD, path.c_str(), times, 0);
  };
  auto verdict = [&](bool notJpeg, CorruptedChoice c, int n, Fate fate, const char* line) {
    Row row{"verdict", notJpeg ? NotAJpeg() : Damaged(), notJpeg ? O::kNotJpeg : O::kDamaged, fate,
            line};
    row.before = [&, c, n](auto&) { options.corrupted = c, options.includeNonJpegs = n; };
    return row;
  };
  auto set = [](auto& field, auto value) { return [&field, value](auto&) { field = value; }; };
  auto masked = [&](std::string mask, std::string file, std::string renamed) {
    Row row{
        "mask", Damaged(), O::kDamaged, kRenamed, "Renaming corrupted ", set(options.mask, mask)};
    row.file = file, row.renamed = renamed;
    return row;
  };
  // The file grows to 3 GiB with a hole after its content.
  auto inThreeGiB = [](Row row) { return row.sparseTail = size_t{3} << 30, row; };
  const std::string changed = "File changed during processing - ";
  const Row rows[] = {
      {"in place, through a doubled separator, keeping time and mode", good, O::kRewritten,
       kReplaced, "", [&](auto& path) { chmod(path.c_str(), 0440), setTime(path, 1109671200, 5); },
       nullptr, "/photo.jpg"},
      verdict(false, CorruptedChoice::kDelete, 0, kGone, "Deleting corrupted "),
      verdict(true, CorruptedChoice::kDelete, 1, kGone, "Deleting corrupted non-JPEG "),
      verdict(true, CorruptedChoice::kDelete, 0, kRenamed, "Renaming corrupted "),
      verdict(true, CorruptedChoice::kRename, 1, kRenamed, "Renaming corrupted "),
      verdict(false, CorruptedChoice::kRename, 0, kRenamed, "Renaming corrupted "),
      verdict(false, CorruptedChoice::kRename, 1, kRenamed, "Renaming corrupted "),
      verdict(true, CorruptedChoice::kRename, 0, kUntouched, "Incompatible file ignored - "),
      verdict(false, CorruptedChoice::kIgnore, 0, kUntouched, "Incompatible file ignored - "),
      verdict(true, CorruptedChoice::kIgnore, 1, kUntouched, "Incompatible file ignored - "),
      verdict(false, CorruptedChoice::kRename, 2, kUntouched, "Incompatible file ignored - "),
      masked("*_old", "noext", "noext_old"),
      masked("x_*.*", "two.dots.jpeg", "x_two.dots.jpeg"),
      // Not a name the mask gives, though it begins like one.
      masked("_corrupted_**.*", "_corrupted_a.jpg", "_corrupted__corrupted_ajpg._"),
      {"a mask into a missing folder makes none", Damaged(), O::kDamaged, kUntouched,
       "Invalid filename or disk full - ", set(options.mask, std::string("gone/x_*.*")),
       [&](auto&) { EXPECT_FALSE(platform::Exists(At("gone"))); }},
      {"renaming never overwrites another file", NotAJpeg(), O::kNotJpeg, kUntouched,
       "Invalid filename or disk full - ",
       [&](auto&) {
         options.mask = "broken.jpg", options.includeNonJpegs = 1;
         WriteFile(At("broken.jpg"), Damaged());
       },
       [&](auto&) { EXPECT_EQ(ReadFile(At("broken.jpg")), Damaged()); }},
      {"output elsewhere mirrors the tree whatever the base's letter case, and makes no backup",
       good, O::kRewritten, kUntouched, "",
       [&](auto& path) { elsewhere(path), options.backups = 1, base = At("PHOTOS"); },
       [&](auto& path) { EXPECT_FALSE(platform::Exists(path + ".bak")); }, "photos/2020/a.jpg",
       "out/2020/a.jpg"},
      {"a file outside the base folder is done in place", good, O::kRewritten, kReplaced, "",
       [&](auto& path) { elsewhere(path), base = At("elsewhere"); }},
      {"an output folder that is the source folder", good, O::kFailed, kUntouched,
       "Output folder holds the source - ",
       [&](auto&) { options.saveInDifferentFolder = 1, options.output = here + "/"; }},
      {"no output folder: the files would land in the root folder", good, O::kFailed, kUntouched,
       "Cannot create path for ", set(options.saveInDifferentFolder, 1)},
      {"a rewrite that does not decode", undecodable, O::kFailed, kUntouched,
       "Picture check failed - ", set(options.readability, 1)},
      {"a question mark in the name", good, O::kSkipped, kUntouched,
       "Unsupported characters in filename: ", set(options.backups, 1),
       [](auto& path) { EXPECT_FALSE(platform::Exists(path + ".bak")); }, "wh?t.jpg"},
      {"a vanished file", good, O::kSkipped, kGone, "Missing file - ",
       [](auto& path) { (void)platform::RemoveFile(path); }},
      {"a pipe", good, O::kSkipped, kOther, "Incompatible file ignored - ",
       [](auto& path) { (void)platform::RemoveFile(path), mkfifo(path.c_str(), 0644); }},
      {"a full disk leaves even a damaged file alone", Damaged(), O::kFailed, kUntouched,
       "Inaccessible for writing - ",
       [&](auto&) {
         options.corrupted = CorruptedChoice::kDelete;
         const rlimit none{0, old.rlim_max};  // no file may grow while the job runs
         setrlimit(RLIMIT_FSIZE, &none);
       }},
      // Crafted files that once cost a picture or wrote into a source.
      {"255 entries, in place, through a hard link", manyEntries, O::kRewritten, kReplaced, "",
       hardLink},
      {"255 entries, to another folder", manyEntries, O::kRewritten, kUntouched, "", elsewhere,
       nullptr, "photo.jpg", "out/photo.jpg"},
      {"broken header, read-only, through a hard link", brokenHeader, O::kRewritten, kReplaced, "",
       [&](auto& path) { hardLink(path), chmod(path.c_str(), 0444); },
       [&](auto& path) {
         EXPECT_EQ(std::ranges::mismatch(repairedHead, ReadFile(path)).in1, repairedHead.end());
       }},
      {"broken header, to another folder", brokenHeader, O::kRewritten, kUntouched, "", elsewhere,
       nullptr, "photo.jpg", "out/photo.jpg"},
      {"a frame too large to check", huge, O::kFailed, kUntouched, "Picture check failed - ",
       set(options.readability, 1)},
      {"a photo turned upright in place", portrait, O::kRewritten, kOther, "",
       set(options.upright, 1),
       [&](auto& path) { EXPECT_TRUE(TurnedFrom(portrait, ReadFile(path), 6)); }},
      {"the first second of 1970", good, O::kRewritten, kReplaced, "",
       [&](auto& path) { setTime(path, 0, 0); }},
      inThreeGiB({"3 GiB with a picture at its start", picture, O::kRewritten, kReplaced}),
      inThreeGiB({"3 GiB of nothing, damaged files deleted", Bytes(), O::kNotJpeg, kRenamed,
                  "Renaming corrupted ", set(options.corrupted, CorruptedChoice::kDelete)}),
      // Paths a second program shapes: nothing it saved is ever overwritten, deleted or renamed.
      {"saved in place after it was read", good, O::kSkipped, kOther, changed,
       [&](auto&) { judged = inPlace; }, [&](auto& path) { EXPECT_EQ(ReadFile(path), saved); }},
      {"a damaged file still being copied in, damaged files deleted", Damaged(), O::kSkipped,
       kOther, changed,
       [&](auto&) { options.corrupted = CorruptedChoice::kDelete, judged = copyingOn; },
       [&](auto& path) { EXPECT_EQ(ReadFile(path), appended); }},
      {"saved under its name while written to another folder", good, O::kSkipped, kOther, changed,
       [&](auto& path) { elsewhere(path), judged = underName; },
       [&](auto& path) {
         EXPECT_EQ(ReadFile(path), saved);
         EXPECT_FALSE(platform::Exists(At("out/photo.jpg")));
       }},
      {"saved in place while written to another folder", good, O::kSkipped, kOther, changed,
       [&](auto& path) { elsewhere(path), judged = inPlace; },
       [&](auto&) { EXPECT_FALSE(platform::Exists(At("out/photo.jpg"))); }},
      // With an output folder, no source is deleted, renamed or written.
      {"a damaged file, to another folder, damaged files deleted", Damaged(), O::kDamaged,
       kUntouched, "Incompatible file ignored - ",
       [&](auto& path) { elsewhere(path), options.corrupted = CorruptedChoice::kDelete; },
       [&](auto&) { EXPECT_FALSE(platform::Exists(At("out/photo.jpg"))); }},
      // Run by one user in another's folder (as root, the run plays a user who may not give files
      // away).
      {"another user's photo", good, root ? O::kFailed : O::kRewritten,
       root ? kUntouched : kReplaced, root ? "Owner cannot be kept - " : "",
       [&](auto& path) {
         if (root) chmod(here.c_str(), 0777), chown(path.c_str(), 4242, 4242), seteuid(65534);
       },
       [&](auto& path) {
         if (!root) return;
         seteuid(0);
         EXPECT_EQ(platform::ReadAttributes(path)->owner, 4242u);
       }},
      {"a picture check without /proc", good, O::kRewritten, kReplaced, "",
       [&](auto&) {
         options.readability = 1;
         // In a mount namespace of the test's own, an empty folder over /proc, taken away after.
         procHidden = platform::MakeFolders(dir.File("empty")) && unshare(CLONE_NEWNS) == 0 &&
                      mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
                      mount(dir.File("empty").c_str(), "/proc", nullptr, MS_BIND, nullptr) == 0;
       },
       [&](auto&) {
         if (!procHidden) return;
         EXPECT_FALSE(platform::Exists("/proc/self"));
         umount2("/proc", MNT_DETACH);
       }},
  };

  signal(SIGXFSZ, SIG_IGN);
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.name) + " " + row.file);
    options = OptionSet{};
    judged = nullptr;
    box.lines.clear();
    const TempDir folder;
    here = base = folder.path();
    const std::string path = At(row.file);
    WriteFile(path, row.content);
    chmod(path.c_str(), 0644);
    ASSERT_EQ(row.sparseTail ? truncate(path.c_str(), static_cast<off_t>(row.sparseTail)) : 0, 0);
    if (row.before) row.before(path);
    const auto time = platform::SaveFileTime(path);
    const auto mode = platform::ReadAttributes(path);
    const long peakBefore = PeakKiB();
    const JobOutcome outcome = Process(path, true);
    setrlimit(RLIMIT_FSIZE, &old);
    // A file read whole, and no more than 64 MB beside it.
    EXPECT_LT(__asan_init == nullptr ? PeakKiB() - peakBefore : 0,
              static_cast<long>(std::max(row.sparseTail, row.content.size()) >> 10) + (64 << 10))
        << "KiB more at the peak";
    EXPECT_EQ(outcome, row.outcome);
    EXPECT_TRUE(row.line.empty() ? box.lines.empty() : box.Has(row.line + path))
        << testing::PrintToString(box.lines);
    const std::string renamed = At(row.renamed);
    EXPECT_EQ(platform::Exists(renamed), row.fate == kRenamed);
    EXPECT_TRUE(row.fate == kOther ||
                platform::Exists(path) == (row.fate == kReplaced || row.fate == kUntouched));
    const bool kept = (row.fate == kUntouched || row.fate == kRenamed) && !row.sparseTail;
    EXPECT_EQ(kept ? ReadFile(row.fate == kRenamed ? renamed : path) : row.content, row.content);
    EXPECT_TRUE(!platform::Exists(path + ".link") || ReadFile(path + ".link") == row.content);
    if (row.fate == kReplaced) {
      const Bytes after = ReadFile(path);
      EXPECT_NE(after, row.content);
      EXPECT_EQ(DecodePixels(after, false), DecodePixels(row.content, false));
      EXPECT_EQ(platform::SaveFileTime(path), time);
      EXPECT_EQ(platform::ReadAttributes(path)->mode, mode->mode);
    }
    EXPECT_TRUE(row.mirrored.empty() || DecodePixels(ReadFile(At(row.mirrored)), false) ==
                                            DecodePixels(row.content, false));
    EXPECT_EQ(Temporaries(), 0);
    if (row.check) row.check(path);
  }
  signal(SIGXFSZ, SIG_DFL);
  EXPECT_FALSE(platform::Exists(dir.File("cache")));  // nothing is ever put in the cache folder
}

// Needs the right to mount: a file with something mounted on it cannot be replaced. What is
// mounted there is a picture too, so the rewrite succeeds and only the replacement fails.
TEST_F(ProcessFileTest, FinalizingRetriesTenTimesThenGivesUp) {
  here = dir.path();
  const std::string holder = At("holder"), path = At("held.jpg");
  for (const std::string& file : {holder, path}) WriteFile(file, Good());
  if (mount(holder.c_str(), path.c_str(), nullptr, MS_BIND, nullptr) != 0)
    GTEST_SKIP() << "cannot bind-mount here";
  int waits = 0, unmountAt = 0;
  bool mounted = true;
  yield = [&] {
    if (++waits == unmountAt && umount2(path.c_str(), MNT_DETACH) == 0) mounted = false;
  };
  EXPECT_EQ(Process(path, true), O::kFailed);
  EXPECT_EQ(waits, 9);
  EXPECT_TRUE(box.Has("Cannot finalize - rename manually - " + path));
  EXPECT_EQ(Temporaries(), 0);

  waits = 0, unmountAt = 3;
  EXPECT_EQ(Process(path, true), O::kRewritten);
  EXPECT_EQ(waits, 3);
  EXPECT_LT(ReadFile(path).size(), Good().size());
  if (mounted) umount2(path.c_str(), MNT_DETACH);
}

// Hostile bytes through the whole file job: whatever a file holds, a picture that a decoder
// can show is never lost, and the source is never written.

// Plants one fault where files go wrong: in the segments before the first scan's data, or in
// the Exif block's counts and offsets.
struct Mutator {
  Bytes Mutate(Bytes jpeg) {
    keepsPicture = false;
    std::vector<size_t> starts = SegmentStarts(jpeg);
    if (starts.empty()) starts.push_back(std::min<size_t>(2, jpeg.size()));
    const size_t segment = starts[Below(starts.size())];
    if (jpeg.size() < segment + 4) return jpeg;
    const auto at = [&](size_t offset) { return jpeg.begin() + static_cast<ptrdiff_t>(offset); };
    const Bytes copy(at(segment),
                     at(std::min<size_t>(segment + 2 + jpeg[segment + 2] * 256u + jpeg[segment + 3],
                                         jpeg.size())));
    switch (Below(7)) {
      case 0:  // bit flips anywhere
        for (size_t n = 1 + Below(3); n > 0; --n)
          jpeg[Below(jpeg.size())] ^= static_cast<uint8_t>(1u << Below(8));
        break;
      case 1:  // cut short
        jpeg.resize(Below(jpeg.size()));
        break;
      case 2:  // a segment twice, or moved
        if (Below(2) == 0) jpeg.erase(at(segment), at(segment + copy.size()));
        jpeg.insert(at(std::min(starts[Below(starts.size())], jpeg.size())), copy.begin(),
                    copy.end());
        break;
      case 3: {  // stray bytes between segments, or anywhere
        const Bytes strays[] = {{0x00, 0xD9},       {0xFF},      {0x00}, {0xFF, 0xD9},
                                {0x12, 0x34, 0x56}, {0xFF, 0x01}};
        const Bytes& stray = strays[Below(std::size(strays))];
        keepsPicture = Below(4) != 0;
        jpeg.insert(at(keepsPicture ? segment : Below(jpeg.size())), stray.begin(), stray.end());
        break;
      }
      case 4: {  // a length field at its limits
        const auto own = static_cast<uint16_t>(copy.size() - 2);
        const uint16_t lengths[] = {
            0, 1, 2, 3, 0xFFFF, static_cast<uint16_t>(own - 1), static_cast<uint16_t>(own + 1)};
        const uint16_t length = lengths[Below(std::size(lengths))];
        jpeg[segment + 2] = static_cast<uint8_t>(length >> 8),
                       jpeg[segment + 3] = static_cast<uint8_t>(length);
        break;
      }
      default:
        MutateExif(jpeg);
    }
    return jpeg;
  }

  size_t Below(size_t n) { return n ? std::uniform_int_distribution<size_t>(0, n - 1)(random) : 0; }

  void MutateExif(Bytes& jpeg) {
    if (jpeg[3] != kApp1) return;  // only the pictures with Exif first have a block to mutate
    const size_t tiff = 2 + 4 + 6, ifd0 = tiff + 8;  // the builders put IFD0 after the header
    const bool bigEndian = jpeg[tiff] == 'M';
    const auto size = static_cast<uint32_t>(jpeg[4] * 256u + jpeg[5] - 2 - 6);
    const uint32_t limits[] = {0, 1, 255, 0xFFFF, 0x7FFFFFFF, 0xFFFFFFFF, size, size - 1, size - 4};
    const uint32_t value = limits[Below(std::size(limits))];
    const size_t choice = Below(3);
    // IFD0's entry count, IFD0's offset, or an entry's count or value offset.
    size_t where = choice == 0 ? ifd0 : tiff + 4;
    if (choice == 2) where = ifd0 + 2 + 12 * Below(8), where += 4 + 4 * Below(2);
    const int bytes = choice == 0 ? 2 : 4;
    for (int i = 0; i < bytes && where + i < jpeg.size(); ++i)
      jpeg[where + i] = static_cast<uint8_t>(value >> (8 * (bigEndian ? bytes - 1 - i : i)));
  }

  std::mt19937 random{20261206};
  // The last mutant holds every byte of its picture after the stray bytes put before a segment.
  bool keepsPicture = false;
};

// Mutants of real pictures, in every Exif mode and both scans: the source ends up with its
// bytes (in place or renamed by the mask), or replaced by a file with the very same pixels. So
// does a mutant that no decoder shows but that holds the whole picture after stray bytes.
TEST_F(ProcessFileTest, NoPictureIsEverLost) {
  auto exif = [](const PictureRecipe& recipe, bool bigEndian) {
    return WithExifFirst(EncodePicture(recipe), CameraExifBlock(bigEndian));
  };
  const Bytes pictures[] = {
      exif({.width = 24, .height = 16}, false),
      exif({.width = 24, .height = 16, .progressive = true}, true),
      exif({.width = 32, .height = 16, .restartInterval = 1}, false),
      ShrinkablePicture({.width = 17, .height = 9, .grayscale = true, .seed = 3}),
      ShrinkablePicture({.width = 16, .height = 16, .rgb = true, .seed = 4})};
  const ExifChoice exifOptions[] = {ExifChoice::kKeep, ExifChoice::kReduce, ExifChoice::kDelete};
  constexpr int kMutants = 3000;
  const std::string folder = dir.File("work"), path = folder + "/photo.jpg";

  Mutator mutator;
  int decodable = 0, replaced = 0, hidden = 0;
  for (int i = 0; i < kMutants; ++i) {
    const Bytes& picture = pictures[i % std::size(pictures)];
    const Bytes mutant = mutator.Mutate(picture);
    auto pixels = DecodePixels(mutant, false);
    if (!pixels && !mutator.keepsPicture) continue;
    ++(pixels ? decodable : hidden);
    if (!pixels) pixels = DecodePixels(picture, false);
    options.exif = exifOptions[i % 3];
    options.slow = (i / 3) % 2;
    WriteFile(path, mutant);
    Process(path);

    const std::string kept = platform::Exists(path) ? path : folder + "/_corrupted_photo.jpg";
    ASSERT_TRUE(platform::Exists(kept)) << "mutant " << i << " lost";
    const Bytes after = ReadFile(kept);
    if (after != mutant) {
      ASSERT_EQ(kept, path) << "mutant " << i << " renamed with other bytes";
      ASSERT_EQ(DecodePixels(after, false), pixels) << "mutant " << i << " lost pixels";
      ++replaced;
    }
    ASSERT_EQ(platform::ListFiles(folder, "*")->size(), 1u)
        << "mutant " << i << " left files behind";
    (void)platform::RemoveFile(kept);
  }
  // Enough of them decode, and enough are rewritten, for the property to mean something.
  EXPECT_GT(decodable, kMutants / 3);
  EXPECT_GT(hidden, kMutants / 100);
  EXPECT_GT(replaced, decodable / 4);
}

}  // namespace
}  // namespace keelpack::test
