#include "jpeg/rewrite_jpeg.h"

#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "jpeg/markers.h"
#include "exif/reduce_exif.h"
#include "log/log_sink.h"
#include "platform/file_time.h"
#include "platform/files.h"
#include "settings/option_set.h"
#include "support/exif_builder.h"
#include "support/jpeg_builder.h"
#include "support/pictures.h"
#include "support/temp_dir.h"

namespace keelpack {
namespace {

using test::Bytes;
using test::Concat;
using test::JpegBuilder;
using test::SegmentBytes;
using test::ToBytes;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::Not;
using namespace std::literals;

// The remove list a file job builds when colour profiles are kept: APP12, APP13, APP1, COM,
// APP14 (and APP2 otherwise).
const std::string kJobListKeepingProfiles = "\xEC\xED\xE1\xFE\xEE";

Bytes Data(std::string_view text, size_t padTo = 0) {
  Bytes bytes = ToBytes(text);
  if (bytes.size() < padTo) bytes.resize(padTo, 0x20);
  return bytes;
}

Bytes Adobe(uint8_t transform) {
  return Bytes{'A', 'd', 'o', 'b', 'e', 0, 100, 0, 0, 0, 0, transform};
}

class RewriteTest : public ::testing::Test {
 protected:
  void SetUp() override { log.screenDebug = true; }  // every line the rewriter writes shows up

  struct Run {
    RewriteResult result = RewriteResult::Failed(-1);
    Bytes output;
  };

  Run Rewrite(const Bytes& input, std::string_view removeList = kDefaultRemoveList,
              ExifMode exifMode = ExifMode::kRemove, bool quickScan = true) {
    test::WriteFile(in, input);
    chmod(in.c_str(), 0644);
    return RewriteFile(removeList, exifMode, quickScan);
  }

  Run RewriteFile(std::string_view removeList = kDefaultRemoveList, ExifMode exifMode = ExifMode::kRemove,
                  bool quickScan = true) {
    box.lines.clear();
    Run run;
    run.result = RewriteJpeg({log, options, totals}, in, out, removeList, exifMode, quickScan);
    if (platform::Exists(out)) run.output = test::ReadFile(out);
    return run;
  }

  // A small file with a frame, a scan and entropy data, around the given segments.
  static Bytes Picture(const Bytes& segments, const Bytes& entropy = {0x12, 0xFF, 0x00, 0x34}) {
    return JpegBuilder().Soi().Raw(segments).Sof0().Sos().Entropy(entropy).Eoi().bytes();
  }

  test::Sandbox dir;
  test::CapturingLogBox box;
  LogSink log{box};
  OptionSet options;
  RewriteTotals totals;
  std::string in = dir.File("in.jpg");
  std::string out = dir.File("out.jpg");
};

TEST_F(RewriteTest, SmallestFileAndItsExactLines) {
  Run run = Rewrite(Bytes{0xFF, 0xD8, 0xFF, 0xD9});
  EXPECT_TRUE(run.result.rewritten());
  EXPECT_EQ(run.output, (Bytes{0xFF, 0xD8, 0xFF, 0xD9}));
  EXPECT_THAT(box.lines, ElementsAre("Reading " + in, "Non-data segment 216 (START) at 2",
                                     "Non-data segment 217 (END) at 4", "Reached end of " + in,
                                     "Time set, restoring attributes...420"));
  EXPECT_EQ(totals.bytesSaved, 0);
  EXPECT_EQ(totals.filesReduced, 0);
}

TEST_F(RewriteTest, TypicalCameraFileLosesExifAndMergesItsTables) {
  const Bytes entropy = {0x01, 0x02, 0xFF, 0x00, 0x03};
  Bytes input = JpegBuilder()
                    .Soi()
                    .Segment(kApp1, Data("Exif\0\0MM"sv, 200))
                    .Segment(kDqt, 65, 1)
                    .Segment(kDqt, 65, 2)
                    .Sof0()
                    .Segment(kDht, 30, 3)
                    .Segment(kDht, 40, 4)
                    .Segment(kDht, 20, 5)
                    .Segment(kDht, 50, 6)
                    .Sos()
                    .Entropy(entropy)
                    .Eoi()
                    .bytes();
  Bytes expected = JpegBuilder()
                       .Soi()
                       .Segment(kDqt, Concat({Bytes(65, 1), Bytes(65, 2)}))
                       .Sof0()
                       .Segment(kDht, Concat({Bytes(30, 3), Bytes(40, 4), Bytes(20, 5), Bytes(50, 6)}))
                       .Sos()
                       .Entropy(entropy)
                       .Eoi()
                       .bytes();
  Run run = Rewrite(input);
  EXPECT_TRUE(run.result.rewritten());
  EXPECT_EQ(run.output, expected);
  EXPECT_EQ(input.size() - expected.size(), 204u + 4 + 12);
  EXPECT_THAT(box.lines, Contains("Block 225 removed"));
  EXPECT_THAT(box.lines, Contains("Merging 219 (QUANTIZATION) with previous block"));
  EXPECT_THAT(box.lines, Contains("Block type is 196 (HUFFMAN), length of data is 40"));
  EXPECT_THAT(box.lines, Contains("Reduced by 220 bytes."));
  EXPECT_THAT(box.lines, Contains("5 bytes"));
  EXPECT_EQ(totals.bytesSaved, 220);
  EXPECT_EQ(totals.filesReduced, 1);
}

TEST_F(RewriteTest, MergesStayBelow65000Bytes) {
  auto tables = [](std::initializer_list<size_t> sizes, uint8_t code = kDht) {
    JpegBuilder b;
    for (size_t size : sizes) b.Segment(code, size);
    return b.bytes();
  };
  // 64999 joined bytes merge; 65000 do not; a third segment starts afresh after a refusal.
  EXPECT_EQ(Rewrite(Picture(tables({32499, 32500}))).output, Picture(tables({64999})));
  EXPECT_EQ(Rewrite(Picture(tables({32500, 32500}))).output, Picture(tables({32500, 32500})));
  EXPECT_EQ(Rewrite(Picture(tables({40000, 30000}))).output, Picture(tables({40000, 30000})));
  EXPECT_EQ(Rewrite(Picture(tables({30000, 30000, 10000}))).output, Picture(tables({60000, 10000})));
  EXPECT_EQ(Rewrite(Picture(tables({30000, 10000, 30000}))).output, Picture(tables({40000, 30000})));

  // A removed segment between two tables does not stop their merge; another table does.
  Bytes dqtComDqt = Concat({SegmentBytes(kDqt, Bytes(65, 1)), SegmentBytes(kCom, Data("note")),
                            SegmentBytes(kDqt, Bytes(65, 2))});
  EXPECT_EQ(Rewrite(Picture(dqtComDqt)).output,
            Picture(SegmentBytes(kDqt, Concat({Bytes(65, 1), Bytes(65, 2)}))));
  Bytes dqtDhtDqt = Concat({SegmentBytes(kDqt, Bytes(65, 1)), SegmentBytes(kDht, Bytes(20, 3)),
                            SegmentBytes(kDqt, Bytes(65, 2))});
  EXPECT_EQ(Rewrite(Picture(dqtDhtDqt)).output, Picture(dqtDhtDqt));
}

TEST_F(RewriteTest, RemoveListsDecideWhichSegmentsStay) {
  const Bytes app0 = SegmentBytes(kApp0, Data("JFIF\0"sv, 14));
  const Bytes exif = SegmentBytes(kApp1, Data("Exif\0\0II*\0"sv, 40));
  const Bytes xmp = SegmentBytes(kApp1, Data("http://ns.example/xap/1.0/\0"sv, 50));
  const Bytes app2 = SegmentBytes(kApp2, Data("FPXR\0"sv, 20));
  const Bytes app3 = SegmentBytes(0xE3, Bytes(10, 3));
  const Bytes app12 = SegmentBytes(kApp12, Data("Ducky", 15));
  const Bytes app13 = SegmentBytes(kApp13, Data("Photoshop 3.0\0"sv, 30));
  const Bytes app15 = SegmentBytes(0xEF, Bytes(10, 4));
  const Bytes com = SegmentBytes(kCom, Data("a comment"));
  const Bytes dri = SegmentBytes(kDri, Bytes{0, 4});
  const Bytes all = Concat({app0, exif, xmp, app2, app3, app12, app13, app15, com, dri});

  const Bytes kept = Picture(Concat({app0, app3, app15, dri}));
  EXPECT_EQ(Rewrite(Picture(all)).output, kept);
  const std::string builtIn = "\xE1\xE2\xEC\xED\xFE\xEE";
  EXPECT_EQ(Rewrite(Picture(all), builtIn).output, kept);
  // Keeping the Exif data as it is, and the job's list that keeps other APP2 segments.
  EXPECT_EQ(Rewrite(Picture(all), kDefaultRemoveList, ExifMode::kKeep).output,
            Picture(Concat({app0, exif, app3, app15, dri})));
  EXPECT_EQ(Rewrite(Picture(all), kJobListKeepingProfiles).output,
            Picture(Concat({app0, app2, app3, app15, dri})));
}

TEST_F(RewriteTest, DataAfterTheFirstEndMarkerIsDropped) {
  Bytes picture = Picture(SegmentBytes(kApp0, Bytes(900, 7)));
  Bytes withTail = Concat({picture, Bytes(100, 0x55)});
  Run run = Rewrite(withTail);
  EXPECT_TRUE(run.result.rewritten());
  EXPECT_EQ(run.output, picture);
  EXPECT_THAT(box.lines, Contains("Reduced by 100 bytes."));

  // A fill byte before a marker is copied once.
  Bytes filled = {0xFF, 0xD8, 0xFF, 0xFF, 0xD9};
  run = Rewrite(filled);
  EXPECT_TRUE(run.result.rewritten());
  EXPECT_EQ(run.output, filled);
}

TEST_F(RewriteTest, DamagedFilesAreReportedWithTheirLines) {
  struct Case {
    Bytes input;
    std::string line;
  };
  const Bytes start = JpegBuilder().Soi().Segment(kApp0, 14).Sof0().bytes();
  const Case cases[] = {
      {JpegBuilder().Raw(start).Sos().Entropy({1, 2, 3}).bytes(), "No ending marker! File is truncated."},
      {Concat({start, {0xFF, kDqt, 0x01, 0x00, 1, 2, 3}}), "Block beyond end of file"},
      {Concat({start, {0xFF, kDqt, 0x01}}), "Block beyond end of file"},
      {Concat({start, {0x12, kDqt, 0x00, 0x04, 1, 2, 0xFF, 0xD9}}),
       "Possible corruption at " + std::to_string(start.size() + 2) + " - 18 - " + in},
  };
  for (const Case& c : cases) {
    Run run = Rewrite(c.input);
    EXPECT_EQ(run.result.kind, RewriteResult::Kind::kDamaged) << c.line;
    EXPECT_THAT(box.lines, Contains(c.line));
    EXPECT_THAT(box.lines, Not(Contains("Reached end of " + in)));
  }
  EXPECT_EQ(totals.bytesSaved, 0);
}

TEST_F(RewriteTest, ImpossibleContentGoesToTheFailurePath) {
  const Bytes cases[] = {
      Bytes{0xFF},                                                // shorter than its tail
      Bytes{},                                                    // empty
      Picture(Bytes{0xFF, kDqt, 0x00, 0x01}),                    // length field below 2
      Picture(SegmentBytes(kApp14, Data("Adobe\0\x64\0\0"sv))),    // no transform flag
  };
  for (const Bytes& input : cases) {
    Run run = Rewrite(input);
    EXPECT_EQ(run.result.kind, RewriteResult::Kind::kFailed) << testing::PrintToString(input);
    EXPECT_THAT(box.lines, Contains("Failed to open file " + in));
  }
  // A file that cannot be read at all.
  box.lines.clear();
  EXPECT_EQ(RewriteJpeg({log, options, totals}, dir.File("absent.jpg"), out,
                        kDefaultRemoveList, ExifMode::kRemove, true).kind,
            RewriteResult::Kind::kFailed);
  EXPECT_THAT(box.lines, ElementsAre("Failed to open file " + dir.File("absent.jpg")));
}

TEST_F(RewriteTest, NotAJpegUnlessItStartsLikeOneOrSaysJfif) {
  Run run = Rewrite(ToBytes("GIF89a, certainly not a JPEG file"));
  EXPECT_EQ(run.result.kind, RewriteResult::Kind::kNotJpeg);
  EXPECT_TRUE(run.output.empty());
  EXPECT_THAT(box.lines, Contains("Not a JPEG - " + in));

  // "JFIF" at offset 6 is enough to pass the check.
  Bytes jfifOnly = Picture(SegmentBytes(kApp0, Data("JFIF\0"sv, 14)));
  jfifOnly[0] = 0x00;
  EXPECT_NE(Rewrite(jfifOnly).result.kind, RewriteResult::Kind::kNotJpeg);
}

TEST_F(RewriteTest, ColourProfilesInAutomaticMode) {
  const Bytes srgb = SegmentBytes(kApp2, Data("ICC_PROFILE\0\x01\x01 desc sRGB IEC61966-2.1"sv, 80));
  const Bytes custom = SegmentBytes(kApp2, Data("ICC_PROFILE\0\x01\x01 RGB My wide gamut"sv, 80));
  const Bytes cmyk = SegmentBytes(kApp2, Data("ICC_PROFILE\0\x01\x01 prtrCMYKLab "sv, 80));
  const Bytes adobeYcc = SegmentBytes(kApp14, Adobe(1));
  const Bytes adobeRgb = SegmentBytes(kApp14, Adobe(0));
  auto piece = [](int n, std::string_view text) {
    return SegmentBytes(kApp2, Data("ICC_PROFILE\0"s + char(n) + "\x03" + std::string(text), 60));
  };

  EXPECT_EQ(Rewrite(Picture(Concat({srgb, adobeYcc}))).output, Picture({}));
  EXPECT_EQ(Rewrite(Picture(Concat({custom, adobeYcc}))).output, Picture(Concat({custom, adobeYcc})));
  // A CMYK profile goes with its later pieces, but its Adobe segment stays whatever its flag.
  EXPECT_EQ(Rewrite(Picture(Concat({cmyk, piece(2, "more"), adobeYcc}))).output, Picture(adobeYcc));
  // The pieces of a split standard profile all go; pieces before the one that names it stay.
  EXPECT_EQ(Rewrite(Picture(Concat({piece(1, "IEC sRGB"), piece(2, "x"), piece(3, "y")}))).output,
            Picture({}));
  EXPECT_EQ(Rewrite(Picture(Concat({piece(1, "a"), piece(2, "Nikon sRGB"), piece(3, "y")}))).output,
            Picture(piece(1, "a")));
  // Before any profile, the Adobe segment stays only when the picture is not YCbCr.
  EXPECT_EQ(Rewrite(Picture(adobeYcc)).output, Picture({}));
  EXPECT_EQ(Rewrite(Picture(adobeRgb)).output, Picture(adobeRgb));
}

TEST_F(RewriteTest, ColourProfilesWhenKeptOrForcedOut) {
  const Bytes srgb = SegmentBytes(kApp2, Data("ICC_PROFILE\0\x01\x01 EPSON  sRGB"sv, 80));
  const Bytes custom = SegmentBytes(kApp2, Data("ICC_PROFILE\0\x01\x01 custom"sv, 80));
  const Bytes adobeYcc = SegmentBytes(kApp14, Adobe(1));
  const Bytes input = Picture(Concat({srgb, custom, adobeYcc}));

  options.icc = IccPolicy::kKeepAll;
  EXPECT_EQ(Rewrite(input, kJobListKeepingProfiles).output, Picture(Concat({srgb, custom})));
  options.icc = IccPolicy::kForceRemoval;
  EXPECT_EQ(Rewrite(input, kJobListKeepingProfiles + "\xE2").output, Picture({}));
}

TEST_F(RewriteTest, CarriesTimeAndPermissionsToTheOutput) {
  test::WriteFile(in, Picture(SegmentBytes(kCom, Data("x"))));
  chmod(in.c_str(), 0640);
  const timespec times[2] = {{0, UTIME_OMIT}, {1109671200, 123456789}};
  ASSERT_EQ(utimensat(AT_FDCWD, in.c_str(), times, 0), 0);

  EXPECT_TRUE(RewriteFile().result.rewritten());
  EXPECT_EQ(platform::SaveFileTime(out), (platform::FileTime{1109671200, 123456789}));
  EXPECT_EQ(platform::ReadAttributes(out)->mode, 0640u);
  EXPECT_THAT(box.lines, Contains("Time set, restoring attributes...416"));
}

TEST_F(RewriteTest, LogFileGetsOnlyTheLinesOfItsLevel) {
  log.screenDebug = false;
  log.logLevel = kVerbose;
  Rewrite(Picture(SegmentBytes(kCom, Data("comment"))));
  EXPECT_THAT(test::ReadLines(LogSink::LogFilePath()),
              ElementsAre("Reading " + in, "Reached end of " + in, "Reduced by 11 bytes."));
}

TEST_F(RewriteTest, AGrownOutputLowersTheSavingWithoutCountingAFile) {
  // With nothing removed, the Adobe rule writes an RGB Adobe segment a second time.
  const Bytes adobe = SegmentBytes(kApp14, Adobe(0));
  Run run = Rewrite(Picture(adobe), "");
  EXPECT_EQ(run.output, Picture(Concat({adobe, adobe})));
  EXPECT_EQ(totals.bytesSaved, -static_cast<double>(adobe.size()));
  EXPECT_EQ(totals.filesReduced, 0);
  EXPECT_THAT(box.lines, Not(Contains(testing::StartsWith("Reduced by"))));
}

class ExifSegmentTest : public RewriteTest {
 protected:
  static Bytes WithExif(const Bytes& payload) { return Picture(SegmentBytes(kApp1, payload)); }
};

TEST_F(ExifSegmentTest, ReducesTheBlockAndFixesTheLength) {
  const Bytes block = test::CameraExifBlock(true);
  Bytes reduced;
  int useful = 0;
  ASSERT_EQ(ReduceExifBlock(log, false, block, reduced, useful, "x"), 0);
  ASSERT_LT(reduced.size(), block.size());

  Run run = Rewrite(WithExif(block), kDefaultRemoveList, ExifMode::kReduce);
  EXPECT_TRUE(run.result.rewritten());
  EXPECT_EQ(run.output, WithExif(reduced));
}

TEST_F(ExifSegmentTest, BlockWithoutUsefulTagsIsRemoved) {
  test::ExifBuilder exif;
  exif.Add(test::ExifBuilder::kIfd0, exif.Ascii(306, "2020:01:01 10:00:00"));
  Run run = Rewrite(WithExif(exif.Build()), kDefaultRemoveList, ExifMode::kReduce);
  EXPECT_EQ(run.output, Picture({}));
  EXPECT_THAT(box.lines, Contains("EXIF removed"));
}

TEST_F(ExifSegmentTest, AFailedReductionKeepsTheSegmentWhenItCountedUsefulTags) {
  // A Model, then more sub-directory pointers than the reduction follows.
  test::ExifBuilder exif;
  exif.Add(test::ExifBuilder::kIfd0, exif.Ascii(272, "Camera"));
  const int empty = exif.AddDirectory();
  for (int i = 0; i < 25; ++i) exif.Add(test::ExifBuilder::kIfd0, test::ExifBuilder::Pointer(34665, empty));
  const Bytes block = exif.Build();
  Run run = Rewrite(WithExif(block), kDefaultRemoveList, ExifMode::kReduce);
  EXPECT_TRUE(run.result.rewritten());
  EXPECT_EQ(run.output, WithExif(block));
  EXPECT_THAT(box.lines, Contains("Cannot reduce EXIF size"));
  EXPECT_THAT(box.lines, Contains("Too many Exif sub-directories - Failed to open file " + in));

  // A block the reduction cannot read at all counted nothing, and goes.
  Bytes notTiff = Data("Exif\0\0XX\0\x2A\0\0\0\x08"sv, 40);
  run = Rewrite(WithExif(notTiff), kDefaultRemoveList, ExifMode::kReduce);
  EXPECT_EQ(run.output, Picture({}));
  EXPECT_THAT(box.lines, Contains("Cannot reduce EXIF size"));
}

TEST_F(ExifSegmentTest, AReducedBlockTooLongForASegmentStaysAsItWas) {
  // Two pointers to one directory with a long value: the reduction writes the value twice.
  test::ExifBuilder exif;
  exif.Add(test::ExifBuilder::kIfd0, exif.Ascii(272, "Camera"));
  const int shared = exif.AddDirectory();
  exif.Add(shared, test::ExifBuilder::Undefined(0xA434, Bytes(33000, 'x')));
  exif.Add(test::ExifBuilder::kIfd0, test::ExifBuilder::Pointer(34665, shared));
  exif.Add(test::ExifBuilder::kIfd0, test::ExifBuilder::Pointer(34665, shared));
  const Bytes block = exif.Build();
  Run run = Rewrite(WithExif(block), kDefaultRemoveList, ExifMode::kReduce);
  EXPECT_TRUE(run.result.rewritten());
  EXPECT_EQ(run.output, WithExif(block));
  EXPECT_THAT(box.lines, Contains("Cannot reduce EXIF size"));
}

// Real pictures: the rewritten file must decode to exactly the original's pixels.
struct PictureCase {
  test::PictureRecipe recipe;
  const char* name;
  friend void PrintTo(const PictureCase& c, std::ostream* os) { *os << c.name; }
};

class RewritePictureTest : public RewriteTest, public ::testing::WithParamInterface<PictureCase> {};

TEST_P(RewritePictureTest, BothScansKeepEveryPixel) {
  const Bytes original = test::EncodePicture(GetParam().recipe);
  const auto pixels = test::DecodePixels(original);
  ASSERT_TRUE(pixels);
  // A comment after the picture data, before the final EOI.
  Bytes withComment(original.begin(), original.end() - 2);
  withComment = Concat({withComment, SegmentBytes(kCom, Data("late comment")), {0xFF, 0xD9}});

  for (bool quick : {true, false}) {
    Run run = Rewrite(withComment, kDefaultRemoveList, ExifMode::kRemove, quick);
    ASSERT_TRUE(run.result.rewritten());
    EXPECT_EQ(test::DecodePixels(run.output), pixels) << (quick ? "quick" : "thorough");
    // The quick scan copies the comment with the picture data; the thorough one finds it.
    const bool commentKept = std::search(run.output.begin(), run.output.end(), withComment.end() - 16,
                                         withComment.end() - 2) != run.output.end();
    EXPECT_EQ(commentKept, quick);
  }
  // A file that does not end in EOI always gets the thorough scan.
  Bytes truncated(withComment.begin(), withComment.end() - 1);
  Run run = Rewrite(truncated, kDefaultRemoveList, ExifMode::kRemove, true);
  EXPECT_EQ(run.result.kind, RewriteResult::Kind::kDamaged);
  EXPECT_THAT(box.lines, Contains("Block 254 removed"));
}

INSTANTIATE_TEST_SUITE_P(
    Pictures, RewritePictureTest,
    ::testing::Values(PictureCase{{}, "baseline"},
                      PictureCase{{.progressive = true}, "progressive"},
                      PictureCase{{.restartInterval = 2}, "restarts"},
                      PictureCase{{.progressive = true, .restartInterval = 3}, "progressive_restarts"},
                      PictureCase{{.width = 33, .height = 17, .grayscale = true}, "grayscale"}),
    [](const auto& param) { return std::string(param.param.name); });

}  // namespace
}  // namespace keelpack
