#include "runs/runs.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "runs/session.h"
#include "support/fake_front_end.h"
#include "support/pictures.h"
#include "support/temp_dir.h"

namespace keelpack::test {
namespace {

using ::testing::Contains;
using ::testing::ElementsAre;

Bytes Shrinkable() { return test::ShrinkablePicture({.width = 16, .height = 16}); }
std::string Name(int i) { return "f" + std::to_string(i) + ".jpg"; }

class RunsTest : public ::testing::Test {
 protected:
  void Put(const std::string& name) { test::WriteFile(dir.File(name), Shrinkable()); }
  void Folder(const std::string& name) { std::filesystem::create_directories(dir.File(name)); }
  bool Shrunk(const std::string& name) {
    return test::ReadFile(dir.File(name)).size() < Shrinkable().size();
  }
  // Abort is clicked during the first progress update, which comes after the first file.
  void AbortAfterTheFirstFile() {
    front.onYield = [&] {
      if (front.statuses.back().starts_with("Processed ")) session.RequestCancel();
    };
  }

  test::Sandbox dir;
  test::FakeFrontEnd front;
  Session session{front};
};

TEST_F(RunsTest, SelectedFilesRunProcessesOnlyTheSelectionAndStopsBetweenFilesWhenAsked) {
  for (int i = 0; i < 10; ++i) Put(Name(i)), front.entries.push_back({Name(i), i != 1});
  front.folder = dir.path();
  session.log().SetLogLevel(kBrief);
  AbortAfterTheFirstFile();
  RunSelectedFiles(session);
  EXPECT_TRUE(Shrunk("f0.jpg"));
  EXPECT_FALSE(Shrunk("f2.jpg"));
  EXPECT_TRUE(front.box.Has("Operation cancelled!"));
  EXPECT_EQ(front.statuses.front(), "Starting...");
  EXPECT_THAT(front.statuses, Contains("Processed 1 of 9 files..."));
  EXPECT_THAT(front.progress, Contains(testing::FloatEq(100.0f / 9)));
  EXPECT_EQ(front.statuses.back().find("Finished. Out of 9 files, 1 were reduced"), 0u);

  // The next run starts with the request cleared.
  front.onYield = nullptr;
  front.box.lines.clear();
  front.entries[0].selected = false;
  RunSelectedFiles(session);
  for (int i = 1; i < 10; ++i) EXPECT_EQ(Shrunk(Name(i)), i != 1) << i;
  EXPECT_FALSE(front.box.Has("Operation cancelled!"));
  EXPECT_EQ(session.lastRun().baseFolder, dir.path());
  const std::string summary =
      "Finished. Out of 8 files, 8 were reduced saving " +
      std::to_string(static_cast<long>(session.lastRun().totals.bytesSaved)) + " bytes.";
  EXPECT_GT(session.lastRun().totals.bytesSaved, 8 * 16);
  EXPECT_EQ(front.statuses.back(), summary);
  EXPECT_EQ(front.progress.back(), 100);
  EXPECT_EQ(front.rereads, 2);
  const std::pair on{RunKind::kSelectedFiles, true}, off{RunKind::kSelectedFiles, false};
  EXPECT_THAT(front.runningChanges, ElementsAre(on, off, on, off));
  // The log file starts afresh with the run and ends with the summary.
  const auto lines = test::ReadLines(LogSink::LogFilePath().value());
  EXPECT_EQ(lines.front(), "Starting to process selected files in " + dir.path());
  EXPECT_EQ(lines.back(), summary);

  for (auto& entry : front.entries) entry.selected = false;
  RunSelectedFiles(session);
  EXPECT_TRUE(front.box.Has("Please select a file."));
  EXPECT_EQ(front.statuses.back(), "Finished. Out of 0 files, 0 were reduced saving 0 bytes.");
  EXPECT_EQ(front.progress.back(), 100);

  // An output folder inside the folder: a photo there with a selected file's name that is no
  // earlier output of it stays as it is.
  const Bytes theirs = test::ShrinkablePicture({.width = 24, .height = 16});
  test::WriteFile(dir.File("out/f2.jpg"), theirs);
  front.options.saveInDifferentFolder = 1, front.options.output = dir.File("out");
  front.entries[2].selected = true;
  RunSelectedFiles(session);
  EXPECT_TRUE(front.box.Has("Output exists - " + dir.File("out/f2.jpg")));
  EXPECT_EQ(test::ReadFile(dir.File("out/f2.jpg")), theirs);
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
  EXPECT_EQ(session.lastRun().folderTotal, 4);
  EXPECT_EQ(session.lastRun().fileTotal, 5);  // 1, 2, 3, 5 and the hidden .x.jpeg; not "4.jfif"
  EXPECT_TRUE(front.box.Has("Invalid characters in the name - " + dir.File("A/wh?t")));

  // Past 2001 subfolders a folder is scanned in part.
  for (int i = 0; i < 2001; ++i) Folder("many/" + std::to_string(100000 + i));
  BuildFolderList(session, dir.File("many"));
  EXPECT_EQ(session.lastRun().folderTotal, 1 + 2001);
  EXPECT_FALSE(front.box.Has("Too many directories in " + dir.File("many")));
  Folder("many/102001");
  BuildFolderList(session, dir.File("many"));
  EXPECT_EQ(session.lastRun().folderTotal, 1 + 2001);
  EXPECT_TRUE(front.box.Has("Too many directories in " + dir.File("many")));
  EXPECT_EQ(session.lastRun().dirList.back(), dir.File("many/102000"));
}

TEST_F(RunsTest, TreeRunCountsFiveFoldersPerStatusAndStopsBetweenFoldersWhenAsked) {
  for (int i = 0; i < 11; ++i) Put("t" + std::to_string(i) + "/x.jpg");
  front.folder = dir.path();
  AbortAfterTheFirstFile();
  RunFolderTree(session);
  int shrunk = 0;
  for (int i = 0; i < 11; ++i) shrunk += Shrunk("t" + std::to_string(i) + "/x.jpg");
  EXPECT_EQ(shrunk, 1);
  EXPECT_EQ(std::count(front.box.lines.begin(), front.box.lines.end(), "Operation cancelled!"), 1);
  EXPECT_EQ(session.lastRun().folderTotal, 12);
  EXPECT_THAT(front.statuses, Contains("Found 5 directories, 4 files..."));
  EXPECT_THAT(front.statuses, Contains("Found 10 directories, 9 files..."));
  EXPECT_THAT(front.statuses, Contains("Processed 1 of 11 files in 2 of 12 directories."));

  // Nothing to do; and with the output folder as the tree's top, nothing is even scanned.
  Folder("empty");
  front.folder = dir.File("empty");
  RunFolderTree(session);
  EXPECT_TRUE(front.box.Has("No compatible file found."));
  Put("empty/a.jpg");
  front.options.saveInDifferentFolder = 1, front.options.output = dir.File("empty");
  RunFolderTree(session);
  EXPECT_EQ(session.lastRun().folderTotal, 0);
  EXPECT_FALSE(Shrunk("empty/a.jpg"));
}

}  // namespace
}  // namespace keelpack::test
