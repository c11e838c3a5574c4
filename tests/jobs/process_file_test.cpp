#include "jobs/process_file.h"

#include <fcntl.h>
#include <signal.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <filesystem>

#include "jpeg/markers.h"
#include "jpeg/rewrite_jpeg.h"
#include "log/log_sink.h"
#include "platform/file_time.h"
#include "platform/files.h"
#include "platform/folder.h"
#include "settings/option_set.h"
#include "support/exif_builder.h"
#include "support/job_fixture.h"
#include "support/jpeg_builder.h"
#include "support/pictures.h"
#include "support/temp_dir.h"

namespace keelpack {
namespace {

using test::Bytes;
using ::testing::Contains;
using ::testing::IsEmpty;
using ::testing::Not;

Bytes GoodPicture() { return test::ShrinkablePicture({.width = 32, .height = 24}); }

Bytes DamagedPicture() {  // no end marker
  return test::JpegBuilder().Soi().Sof0().Sos().Entropy({1, 2, 3, 4}).bytes();
}

Bytes NotAJpeg() { return test::ToBytes("GIF89a - not a JPEG at all, whatever its name says"); }

class ProcessFileTest : public test::JobFixture {
 protected:
  JobOutcome Process(std::string path) {
    box.lines.clear();
    return JobFixture::Process(path, true);
  }
  std::string Put(const std::string& name, const Bytes& content) {
    const std::string path = dir.File(name);
    test::WriteFile(path, content);
    chmod(path.c_str(), 0644);
    return path;
  }
  bool Has(const std::string& line) const { return box.Has(line); }
  // Temporary files the jobs left in the folder.
  int Temporaries() const {
    int count = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
      count += platform::Folder::IsTemporaryName(entry.path().filename().string());
    }
    return count;
  }
};

TEST_F(ProcessFileTest, ReplacesTheFileInPlaceKeepingTimeAndMode) {
  const Bytes original = GoodPicture();
  std::string path = Put("photo.jpg", original);
  chmod(path.c_str(), 0440);
  const timespec times[2] = {{0, UTIME_OMIT}, {1109671200, 5}};
  utimensat(AT_FDCWD, path.c_str(), times, 0);

  EXPECT_EQ(Process(dir.path() + "//photo.jpg"), JobOutcome::kRewritten);
  const Bytes rewritten = test::ReadFile(path);
  EXPECT_LT(rewritten.size(), original.size());
  EXPECT_EQ(test::DecodePixels(rewritten), test::DecodePixels(original));
  EXPECT_EQ(platform::SaveFileTime(path), (platform::FileTime{1109671200, 5}));
  EXPECT_EQ(platform::ReadAttributes(path)->mode, 0440u);
  EXPECT_EQ(Temporaries(), 0);
  EXPECT_THAT(box.lines, IsEmpty());  // a success says nothing on screen
}

// One row of the verdict table: what the rewriter found, the two options, what happens.
struct VerdictRow {
  bool notJpeg;
  CorruptedChoice corrupted;
  int nonjpegs;
  enum { kDeleted, kRenamed, kIgnored } action;
  const char* message;
};

class VerdictTest : public ProcessFileTest, public ::testing::WithParamInterface<VerdictRow> {};

TEST_P(VerdictTest, ActsAsTheTableSays) {
  const VerdictRow row = GetParam();
  options.corrupted = row.corrupted;
  options.nonjpegs = row.nonjpegs;
  const Bytes content = row.notJpeg ? NotAJpeg() : DamagedPicture();
  const std::string path = Put("img01.jpg", content);
  const std::string renamed = dir.File("_corrupted_img01.jpg");

  EXPECT_EQ(Process(path), row.notJpeg ? JobOutcome::kNotJpeg : JobOutcome::kDamaged);
  EXPECT_TRUE(Has(row.message + path)) << testing::PrintToString(box.lines);
  EXPECT_EQ(platform::Exists(path), row.action == VerdictRow::kIgnored);
  EXPECT_EQ(platform::Exists(renamed), row.action == VerdictRow::kRenamed);
  const std::string kept = row.action == VerdictRow::kRenamed ? renamed : path;
  if (row.action != VerdictRow::kDeleted) {
    EXPECT_EQ(test::ReadFile(kept), content);
  }
  EXPECT_EQ(Temporaries(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, VerdictTest,
    ::testing::Values(
        VerdictRow{false, CorruptedChoice::kDelete, 0, VerdictRow::kDeleted, "Deleting corrupted "},
        VerdictRow{false, CorruptedChoice::kDelete, 1, VerdictRow::kDeleted, "Deleting corrupted "},
        VerdictRow{true, CorruptedChoice::kDelete, 1, VerdictRow::kDeleted, "Deleting corrupted non-JPEG "},
        VerdictRow{true, CorruptedChoice::kDelete, 0, VerdictRow::kRenamed, "Renaming corrupted "},
        VerdictRow{true, CorruptedChoice::kRename, 1, VerdictRow::kRenamed, "Renaming corrupted "},
        VerdictRow{false, CorruptedChoice::kRename, 0, VerdictRow::kRenamed, "Renaming corrupted "},
        VerdictRow{false, CorruptedChoice::kRename, 1, VerdictRow::kRenamed, "Renaming corrupted "},
        VerdictRow{true, CorruptedChoice::kRename, 0, VerdictRow::kIgnored, "Incompatible file ignored - "},
        VerdictRow{false, CorruptedChoice::kIgnore, 0, VerdictRow::kIgnored, "Incompatible file ignored - "},
        VerdictRow{true, CorruptedChoice::kIgnore, 1, VerdictRow::kIgnored, "Incompatible file ignored - "},
        VerdictRow{false, CorruptedChoice::kRename, 2, VerdictRow::kIgnored, "Incompatible file ignored - "}));

TEST_F(ProcessFileTest, MasksNameTheRenamedFile) {
  struct Case {
    std::string mask;
    std::string file;
    std::string expected;
  };
  ASSERT_EQ(platform::MakeFolder(dir.File("bad")), 0);
  const Case cases[] = {
      {"_corrupted_*.*", "img01.jpg", dir.File("_corrupted_img01.jpg")},
      {dir.File("bad") + "/*-*.*", "img02.jpg", dir.File("bad/img02-jpg._")},
      {"*_old", "noext", dir.File("noext_old")},
      {"x_*.*", "two.dots.jpeg", dir.File("x_two.dots.jpeg")},
  };
  for (const Case& c : cases) {
    options.mask = c.mask;
    Process(Put(c.file, DamagedPicture()));
    EXPECT_TRUE(platform::Exists(c.expected)) << c.mask << " on " << c.file;
  }
}

TEST_F(ProcessFileTest, RenamingNeverOverwritesAnotherFile) {
  options.mask = "broken.jpg";  // no "*": every damaged file gets this one name
  const std::string first = Put("a.jpg", DamagedPicture());
  const std::string second = Put("b.jpg", NotAJpeg());
  options.nonjpegs = 1;
  Process(first);
  Process(second);
  EXPECT_TRUE(Has("Invalid filename or disk full - " + second));
  EXPECT_EQ(test::ReadFile(dir.File("broken.jpg")), DamagedPicture());
  EXPECT_EQ(test::ReadFile(second), NotAJpeg());
  EXPECT_EQ(Temporaries(), 0);
}

TEST_F(ProcessFileTest, ReadOnlyLeftoversAreReplaced) {
  options.backups = 1;
  const Bytes original = GoodPicture();
  const std::string path = Put("p.jpg", original);
  test::WriteFile(path + ".bak", Bytes{1, 2, 3});
  chmod((path + ".bak").c_str(), 0444);

  EXPECT_EQ(Process(path), JobOutcome::kRewritten);
  EXPECT_EQ(test::ReadFile(path + ".bak"), original);
  EXPECT_EQ(Temporaries(), 0);

  // Output to another folder disables backups.
  options.difdir = 1;
  options.output = dir.File("out");
  platform::RemoveFile(path + ".bak");
  Process(path);
  EXPECT_FALSE(platform::Exists(path + ".bak"));
}

TEST_F(ProcessFileTest, DifferentFolderMirrorsTheTreeAndLeavesTheSourceAlone) {
  ASSERT_EQ(platform::MakeFolder(dir.File("photos")), 0);
  ASSERT_EQ(platform::MakeFolder(dir.File("photos/2020")), 0);
  const Bytes original = GoodPicture();
  const std::string path = Put("photos/2020/a.jpg", original);
  options.difdir = 1;
  options.output = dir.File("out");
  base = dir.File("PHOTOS");  // letter case does not matter in the comparison

  EXPECT_EQ(Process(path), JobOutcome::kRewritten);
  EXPECT_EQ(test::ReadFile(path), original);
  const Bytes mirrored = test::ReadFile(dir.File("out/2020/a.jpg"));
  EXPECT_EQ(test::DecodePixels(mirrored), test::DecodePixels(original));
  EXPECT_EQ(Temporaries(), 0);

  // A file outside the base folder is done in place.
  const std::string outside = Put("elsewhere.jpg", original);
  EXPECT_EQ(Process(outside), JobOutcome::kRewritten);
  EXPECT_LT(test::ReadFile(outside).size(), original.size());
}

TEST_F(ProcessFileTest, AnOutputFolderThatIsTheSourceFolderTouchesNothing) {
  const Bytes original = GoodPicture();
  const std::string path = Put("a.jpg", original);
  options.difdir = 1;
  options.output = dir.path() + "/";
  EXPECT_EQ(Process(path), JobOutcome::kFailed);
  EXPECT_TRUE(Has("Output folder holds the source - " + path));
  EXPECT_EQ(test::ReadFile(path), original);

  options.output = "";  // nowhere to go: the files would land in the root folder
  EXPECT_EQ(Process(path), JobOutcome::kFailed);
  EXPECT_TRUE(Has("Cannot create path for " + path));
  EXPECT_EQ(test::ReadFile(path), original);
}

TEST_F(ProcessFileTest, ReadabilityCheckKeepsTheSourceWhenTheNewFileDoesNotDecode) {
  options.readability = 1;
  // Complete as far as markers go, but its picture data decodes to nothing.
  const Bytes undecodable = test::JpegBuilder().Soi().Sof0().Sos().Entropy({1, 2, 3}).Eoi().bytes();
  const std::string path = Put("bad.jpg", undecodable);
  EXPECT_EQ(Process(path), JobOutcome::kFailed);
  EXPECT_TRUE(Has("Picture check failed - " + path));
  EXPECT_EQ(test::ReadFile(path), undecodable);
  EXPECT_EQ(Temporaries(), 1);

  const std::string good = Put("good.jpg", GoodPicture());
  EXPECT_EQ(Process(good), JobOutcome::kRewritten);
}

TEST_F(ProcessFileTest, NamesWithQuestionMarksVanishedFilesAndPipesAreSkipped) {
  options.backups = 1;
  const std::string odd = Put("wh?t.jpg", GoodPicture());
  EXPECT_EQ(Process(odd), JobOutcome::kSkipped);
  EXPECT_TRUE(Has("Unsupported characters in filename: " + odd));
  EXPECT_FALSE(platform::Exists(odd + ".bak"));

  options.backups = 0;
  const std::string gone = dir.File("gone.jpg");
  EXPECT_EQ(Process(gone), JobOutcome::kSkipped);
  EXPECT_TRUE(Has("Missing file - " + gone));

  const std::string pipe = dir.File("pipe.jpg");
  ASSERT_EQ(mkfifo(pipe.c_str(), 0644), 0);
  EXPECT_EQ(Process(pipe), JobOutcome::kSkipped);
}

TEST_F(ProcessFileTest, ASystemFailureLeavesEvenADamagedFileAlone) {
  options.corrupted = CorruptedChoice::kDelete;
  const std::string path = Put("x.jpg", DamagedPicture());
  // As if the disk were full: no file may grow, so the rewrite cannot be written.
  rlimit old{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
  rlimit none = old;
  none.rlim_cur = 0;
  signal(SIGXFSZ, SIG_IGN);
  setrlimit(RLIMIT_FSIZE, &none);
  const JobOutcome outcome = Process(path);
  setrlimit(RLIMIT_FSIZE, &old);
  signal(SIGXFSZ, SIG_DFL);
  EXPECT_EQ(outcome, JobOutcome::kFailed);
  EXPECT_TRUE(Has("Inaccessible for writing - " + path));
  EXPECT_EQ(test::ReadFile(path), DamagedPicture());
  EXPECT_EQ(Temporaries(), 0);
}

// Needs the right to mount: a file with something mounted on it cannot be replaced.
class FinalizeTest : public ProcessFileTest {
 protected:
  void SetUp() override {
    holder = Put("holder", Bytes{0});
    path = Put("held.jpg", GoodPicture());
    if (mount(holder.c_str(), path.c_str(), nullptr, MS_BIND, nullptr) != 0) {
      GTEST_SKIP() << "cannot bind-mount here";
    }
    mounted = true;
  }
  void TearDown() override {
    if (mounted) umount2(path.c_str(), MNT_DETACH);
  }
  std::string holder, path;
  bool mounted = false;
};

TEST_F(FinalizeTest, RetriesUntilTheFileCanBeReplaced) {
  // What is mounted there is a picture too, so the rewrite succeeds and only the
  // replacement fails, until the third wait frees the file.
  test::WriteFile(holder, GoodPicture());
  int waits = 0;
  yield = [&] {
    if (++waits == 3 && umount2(path.c_str(), MNT_DETACH) == 0) mounted = false;
  };
  EXPECT_EQ(Process(path), JobOutcome::kRewritten);
  EXPECT_EQ(waits, 3);
  EXPECT_LT(test::ReadFile(path).size(), GoodPicture().size());
}

TEST_F(FinalizeTest, GivesUpAfterTenAttempts) {
  test::WriteFile(holder, GoodPicture());
  int waits = 0;
  yield = [&] { ++waits; };
  EXPECT_EQ(Process(path), JobOutcome::kFailed);
  EXPECT_EQ(waits, 9);
  EXPECT_TRUE(Has("Cannot finalize - rename manually - " + path));
  EXPECT_EQ(Temporaries(), 1);
}

}  // namespace
}  // namespace keelpack
