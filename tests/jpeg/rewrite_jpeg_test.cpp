#include "jpeg/rewrite_jpeg.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "exif/orientation_exif.h"
#include "exif/reduce_exif.h"
#include "jobs/rewrite_file.h"
#include "jpeg/header_facts.h"
#include "jpeg/markers.h"
#include "jpeg/output_buffer.h"
#include "jpeg/turn_jpeg.h"
#include "log/log_sink.h"
#include "settings/option_set.h"
#include "support/exif_builder.h"
#include "support/jpeg_builder.h"
#include "support/pictures.h"
#include "support/temp_dir.h"

namespace keelpack::test {
namespace {

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::IsSupersetOf;
using ::testing::StartsWith;

// The rewriter's result as the log prints it: 0 rewritten, 1 not a JPEG, 2 damaged, else a
// failure number.
constexpr int kRewritten = 0, kNotJpeg = 1, kDamaged = 2;
using namespace std::literals;

// The remove list a file job builds when colour profiles are kept: APP12, APP13, APP1, COM,
// APP14 (and APP2 otherwise).
constexpr MarkerSet kJobList = {kApp12, kApp13, kApp1, kCom, kApp14};
using Lines = std::vector<std::string>;

Bytes Data(std::string_view text, size_t padTo = 0) {
  return Concat({ToBytes(text), Bytes(std::max(padTo, text.size()) - text.size(), 0x20)});
}

// A frame header of 16 x 16 pixels, one component for each id.
Bytes Frame(std::initializer_list<uint8_t> ids) {
  Bytes data{8, 0, 16, 0, 16, static_cast<uint8_t>(ids.size())};
  for (uint8_t id : ids) data.insert(data.end(), {id, 0x11, 0});
  return SegmentBytes(kSof0, data);
}

const Bytes kShortData{0x12, 0xFF, 0x00, 0x34};
// A JFIF segment that gives the picture a density: 300 by 300 dots per inch.
const Bytes kJfifDpi = SegmentBytes(kApp0, Data("JFIF\0\1\2\1\1\x2C\1\x2C\0\0"sv));

// A small file with a frame, a table, a scan and entropy data, around the given segments. The
// table's sixth byte, read as the frame's, would make the one component four.
Bytes Picture(const Bytes& segments, const Bytes& frame = Frame({1}),
              const Bytes& data = kShortData) {
  JpegBuilder b;
  b.Soi().Raw(segments).Raw(frame).Segment(kDht, 6, 4).Sos();
  return b.Entropy(data).Eoi().bytes();
}

Bytes Tables(std::initializer_list<size_t> sizes) {
  JpegBuilder b;
  for (size_t size : sizes) b.Segment(kDht, size);
  return b.bytes();
}

Bytes Adobe(uint8_t transform) {
  return SegmentBytes(kApp14, Bytes{'A', 'd', 'o', 'b', 'e', 0, 100, 0, 0, 0, 0, transform});
}
// Piece n of a profile in 3 pieces, or the whole profile when n is 1 and the length 80.
Bytes Icc(std::string_view text, char n = 1, size_t length = 80) {
  const char pieces = length == 80 ? 1 : 3;
  return SegmentBytes(kApp2, Data("ICC_PROFILE\0"s + n + pieces + std::string(text), length));
}
Bytes Exif(const Bytes& payload) { return SegmentBytes(kApp1, payload); }
std::string ReducedBy(auto bytes) { return "Reduced by " + std::to_string(bytes) + " bytes."; }

class RewriteTest : public ::testing::Test {
 protected:
  void SetUp() override { log.SetScreenDebug(true); }  // every line the rewriter writes shows up

  // The one place that calls the rewriter: from file to file as a file job does, in memory, and
  // from as little as the quick scan may read, which must all give the same bytes and lines.
  int Rewrite(const Bytes& input, MarkerSet removeList = kNoPictureSegments,
              ExifChoice exifMode = ExifChoice::kDelete, bool quickScan = true) {
    test::WriteFile(in, input);
    box.lines.clear();
    const RewriteOptions rewrite{removeList,           exifMode,          quickScan,
                                 options.icc,          options.keepDpi(), options.optimize,
                                 options.turnUpright()};
    platform::File source, target;
    platform::File::Status status;
    EXPECT_TRUE(source.OpenForReading(in) && target.Create(out));
    outcome = RewriteFile(rewrite, source, target, in, log, status);
    output = test::ReadFile(out);
    const Lines fileLines = std::exchange(box.lines, {});
    const int logLevel = log.logLevel();
    log.SetLogLevel(0);  // the log file gets the lines once
    const RewrittenBytes inMemory = RewriteBytes(rewrite, input, in, log);
    // The file job's own lines (the time and the attributes) come after the rewrite's.
    const auto shared = static_cast<long>(std::min(fileLines.size(), box.lines.size()));
    EXPECT_EQ(Lines(fileLines.begin(), fileLines.begin() + shared), box.lines);
    EXPECT_EQ(inMemory.outcome.result, outcome.result);
    EXPECT_EQ(Rewritten(outcome.result) ? inMemory.bytes : output, output);
    // The first scan's data and the last two bytes, the data between handed on from the file.
    const size_t head = FindHeadExtent(input).dataStart;
    if (quickScan && options.optimize == OptimizeChoice::kOff && !options.turnUpright() &&
        head > 0 && head + 2 <= input.size() && input.back() == kEoi && input.end()[-2] == 0xFF) {
      struct : RewriteSink {
        Status Write(std::span<const std::span<const uint8_t>> pieces) override {
          for (auto piece : pieces) bytes.insert(bytes.end(), piece.begin(), piece.end());
          return {};
        }
        Status CopyInput(uint64_t offset, uint64_t length) override {
          return Write(std::array{std::span(*file).subspan(offset, length)});
        }
        const Bytes* file = nullptr;
        Bytes bytes;
      } ends;
      ends.file = &input;
      const PictureInput headAndTail{std::span(input).first(head), input.size(), {0xFF, kEoi}};
      EXPECT_EQ(RewritePicture(rewrite, headAndTail, in, log, ends).result, outcome.result);
      EXPECT_EQ(Rewritten(outcome.result) ? ends.bytes : output, output);
      // A head cut short of the data's start is never taken for the file: it stays as it is.
      const PictureInput cut{std::span(input).first(head - 1), input.size(), {0xFF, kEoi}};
      const Result<RewriteVerdict> unread = RewritePicture(rewrite, cut, in, log, ends).result;
      EXPECT_TRUE(!Rewritten(outcome.result) || (!unread && unread.error().systemError == EIO));
    }
    log.SetLogLevel(logLevel);
    box.lines = fileLines;
    return ReturnCode(outcome.result);
  }

  test::Sandbox dir;
  test::CapturingLogBox box;
  LogSink log{box};
  OptionSet options;
  RewriteOutcome outcome;
  std::string in = dir.File("in.jpg"), out = dir.File("out.jpg");
  Bytes output;
};

// Which segments of a file stay, how tables merge, and what the totals and the log say.
struct SegmentRow {
  const char* name;
  Bytes input;  // the segments between SOI and the frame
  Bytes kept;
  Lines lines = {};
  ExifChoice exifMode = ExifChoice::kDelete;
  bool keepDpi = false;
  MarkerSet removeList = kNoPictureSegments;
  IccPolicy icc = IccPolicy::kAutomatic;
  Bytes frame = Frame({1});
};

// An Exif block as a camera writes it: IFD0 with a Model, the Orientation, the resolution, and
// an Exif IFD with the exposure time and the size in pixels; GPS data too; and, when given, a
// thumbnail directory with its JPEG image at the block's end.
Bytes CameraBlock(int orientation, const Bytes& thumbnail = {}) {
  ExifBuilder b;
  const int exif = b.AddDirectory(), ifd1 = thumbnail.empty() ? -1 : b.AddDirectory();
  b.Add(ExifBuilder::kIfd0,
        {b.Ascii(272, "Camera"), b.Short(274, static_cast<uint16_t>(orientation)),
         b.Rational(282, 300, 1), b.Rational(283, 72, 1), b.Short(296, 2),
         ExifBuilder::Pointer(34665, exif), ExifBuilder::Raw(34853, 4, 1, 8)});
  b.Add(exif, {b.Rational(33434, 1, 250), b.Long(40962, 96), b.Long(40963, 64)});
  if (thumbnail.empty()) return b.Build();
  const auto at = static_cast<uint32_t>(b.Link(ExifBuilder::kIfd0, ifd1).Build().size() - 6 +
                                        12 * 3);  // behind IFD1's 3 entries
  b.Add(ifd1, b.Short(259, 6)).Add(ifd1, b.Long(513, at));
  b.Add(ifd1, b.Long(514, static_cast<uint32_t>(thumbnail.size())));
  return Concat({b.Build(), thumbnail});
}

// The block that deleting the Exif data leaves: IFD0 alone with these entries.
Bytes Minimal(const std::vector<ExifEntry>& entries) {
  return ExifBuilder().Add(ExifBuilder::kIfd0, entries).Build();
}

// The block as the reduction leaves it; empty when it does not reduce it.
Bytes Reduced(LogSink& log, const Bytes& block) {
  Bytes reduced;
  int useful = 0;
  const auto done = ReduceExifBlock(log, false, block, reduced, useful, "x");
  return done == ExifReduced::kReduced ? reduced : Bytes{};
}

TEST_F(RewriteTest, SegmentsStayGoOrMergeAsTheRowsSay) {
  const Bytes app0 = SegmentBytes(kApp0, Data("JFIF\0"sv, 14)), dri = SegmentBytes(kDri, {0, 4});
  const Bytes exif = Exif(Data("Exif\0\0II*\0"sv, 40)), com = SegmentBytes(kCom, Data("a comment"));
  const Bytes app3 = SegmentBytes(0xE3, Bytes(10, 3)), app15 = SegmentBytes(0xEF, Bytes(10, 4));
  const Bytes app2 = SegmentBytes(kApp2, Data("FPXR\0"sv, 20));
  const Bytes all =
      Concat({app0, exif, SegmentBytes(kApp1, Data("http://ns.example/xap/1.0/\0"sv, 50)), app2,
              app3, SegmentBytes(kApp12, Data("Ducky", 15)),
              SegmentBytes(kApp13, Data("Photoshop 3.0\0"sv, 30)), app15, com, dri});
  const Bytes dqt1 = SegmentBytes(kDqt, Bytes(65, 1)), dqt2 = SegmentBytes(kDqt, Bytes(65, 2));
  const Bytes dqts = SegmentBytes(kDqt, Concat({Bytes(65, 1), Bytes(65, 2)}));
  const Bytes dqtDhtDqt = Concat({dqt1, SegmentBytes(kDht, Bytes(20, 3)), dqt2});
  const Bytes srgb = Icc(" desc sRGB IEC61966-2.1"), custom = Icc(" RGB My wide gamut"),
              epson = Icc(" EPSON  sRGB");
  const Bytes camera = test::CameraExifBlock(true), rgb = Frame({'R', 'G', 'B'});
  // Too short, or one letter off: none of them is a JFIF segment; then an Adobe segment.
  const Bytes notJfif =
      Concat({SegmentBytes(kApp0, Data("JFIF\0"sv, 13)), SegmentBytes(kApp0, Data("JFXX\0"sv, 14)),
              SegmentBytes(kApp0, Data("XFIF\0"sv, 14)), Adobe(1)});
  const Bytes reduced = Reduced(log, camera);
  ASSERT_TRUE(!reduced.empty() && reduced.size() < camera.size());
  const ExifBuilder e;
  const Bytes noUseful = Minimal({e.Ascii(306, "2020:01:01 10:00:00")});
  ExifBuilder failing, tooLong;
  // A Model, then more sub-directory pointers than the reduction follows; and a Model with two
  // pointers to one directory with a long value, which the reduction writes twice.
  const int empty = failing.AddDirectory(), shared = tooLong.AddDirectory();
  failing.Add(ExifBuilder::kIfd0, failing.Ascii(272, "Camera"));
  tooLong.Add(ExifBuilder::kIfd0, tooLong.Ascii(272, "Camera"))
      .Add(shared, ExifBuilder::Undefined(0xA434, Bytes(33000, 'x')));
  for (int i = 0; i < 25; ++i) failing.Add(ExifBuilder::kIfd0, ExifBuilder::Pointer(34665, empty));
  for (int i = 0; i < 2; ++i) tooLong.Add(ExifBuilder::kIfd0, ExifBuilder::Pointer(34665, shared));
  const Bytes notTiff = Data("Exif\0\0XX\0\x2A\0\0\0\x08"sv, 40);
  const std::string minimal = "Minimal EXIF block kept: ", cannot = "Cannot reduce EXIF size";
  const Bytes fillAndEmpty = Concat({Bytes{0xFF}, SegmentBytes(0xE3, Bytes())});
  using enum ExifChoice;
  // More pieces than are held before some are handed on; the table written last waits for its
  // merge.
  Bytes many;
  for (int i = 0; i < 127; ++i) many = Concat({many, app3});
  // Picture data long enough to go from file to file without being read.
  Bytes longData = kShortData;
  for (size_t i = 0; i < 150000; ++i) longData.push_back(static_cast<uint8_t>(i * 7 % 255));

  const SegmentRow rows[] = {
      {"remove list: built in", all, Concat({app0, app3, app15, dri}), {"Block 225 removed"}},
      {"remove list: Exif kept", all, Concat({app0, exif, app3, app15, dri}), {}, kKeep},
      {"remove list: a job's", all, Concat({app0, app2, app3, app15, dri}), Lines(), kDelete, false,
       kJobList},
      {"camera file: Exif goes, tables merge",
       Concat({Exif(Data("Exif\0\0MM"sv, 200)), dqt1, dqt2, Tables({30, 40, 20, 50})}),
       Concat({dqts, SegmentBytes(kDht, Bytes(140, 0x11))}),
       Lines{"Merging 219 (QUANTIZATION) with previous block",
             "Block type is 196 (HUFFMAN), length of data is 40"}},
      {"a restart marker among the segments stays", Bytes{0xFF, 0xD0}, Bytes{0xFF, 0xD0}},
      // An APP1 "Exif" of length 16 right after the SOI, then a marker: read as a JFIF segment.
      {"broken header repaired", Exif(Data("Exif\0\0MM\0\x2A\0\0\0\x08"sv)),
       SegmentBytes(kApp0, Data("JFIF\0\1\1\0\0\1\0\1\0\0"sv))},
      // 64999 joined bytes merge; 65000 do not; a third segment starts afresh after a refusal.
      {"merge: 64999", Tables({32499, 32500}), Tables({64999})},
      {"merge: 65000", Tables({32500, 32500}), Tables({32500, 32500})},
      {"merge: refused third", Tables({30000, 30000, 10000}), Tables({60000, 10000})},
      {"merge: refused second", Tables({30000, 10000, 30000}), Tables({40000, 30000})},
      // A removed segment between two tables does not stop their merge; another table does.
      {"merge: across a removed comment", Concat({dqt1, com, dqt2}), dqts},
      {"merge: not across another table", dqtDhtDqt, dqtDhtDqt},
      {"merge: after many segments", Concat({many, SegmentBytes(0xE3, Bytes()), dqt1, dqt2}),
       Concat({many, SegmentBytes(0xE3, Bytes()), dqts})},
      {"profile: sRGB and its Adobe go", Concat({srgb, Adobe(1)}), Bytes(),
       Lines{"Block 226 removed", "Block 238 removed"}},
      {"profile: custom keeps its Adobe", Concat({custom, Adobe(1)}), Concat({custom, Adobe(1)}),
       Lines{"Block 226 kept (colour profile)", "Block 238 kept (Adobe colour transform)"}},
      // A CMYK profile goes with its later pieces, but its Adobe segment stays whatever its flag.
      {"profile: CMYK", Concat({Icc(" prtrCMYKLab "), Icc("more", 2, 60), Adobe(1)}), Adobe(1)},
      // The pieces of a split standard profile all go; pieces before the one that names it stay.
      {"profile: split sRGB", Concat({Icc("IEC sRGB", 1, 60), Icc("x", 2, 60), Icc("y", 3, 60)}),
       Bytes()},
      {"profile: sRGB named late",
       Concat({Icc("a", 1, 60), Icc("Nikon sRGB", 2, 60), Icc("y", 3, 60)}), Icc("a", 1, 60)},
      // Before any profile, the Adobe segment stays only when the picture is not YCbCr.
      {"Adobe: YCbCr", Adobe(1), {}},
      // Three components are YCbCr without it unless named 'R', 'G', 'B' with no JFIF segment
      // (one of 14 bytes or more); four are CMYK without it.
      {.name = "Adobe: ids 1, 2, 3", .input = Adobe(1), .kept = {}, .frame = Frame({1, 2, 3})},
      {.name = "Adobe: RGB ids", .input = notJfif, .kept = notJfif, .frame = rgb},
      {.name = "Adobe: RGB, JFIF", .input = Concat({app0, Adobe(1)}), .kept = app0, .frame = rgb},
      {.name = "Adobe: CMYK", .input = Adobe(1), .kept = Adobe(1), .frame = Frame({1, 2, 3, 4})},
      // A fill byte and an empty segment on the way to the frame do not hide its components.
      {"Adobe: past fill, empty segment", Concat({Adobe(1), fillAndEmpty}), fillAndEmpty},
      // With nothing removed, the Adobe rule writes an RGB Adobe segment a second time.
      {"Adobe: written twice", Adobe(0), Concat({Adobe(0), Adobe(0)}),
       Lines{"Block 238 written again (Adobe colour transform)"}, kDelete, false, MarkerSet{}},
      {"profiles kept", Concat({epson, custom, Adobe(1)}), Concat({epson, custom}), Lines(),
       kDelete, false, kJobList, IccPolicy::kKeepAll},
      {"profiles forced out", Concat({epson, custom, Adobe(1)}), Bytes(), Lines(), kDelete, false,
       MarkerSet(kJobList).Add(kApp2), IccPolicy::kForceRemoval},
      {"Exif reduced", Exif(camera), Exif(reduced), {}, kReduce},
      {"Exif without useful tags", Exif(noUseful), {}, {"EXIF removed"}, kReduce},
      // A failed reduction keeps the segment when it counted useful tags.
      {"Exif reduction failed", Exif(failing.Build()), Exif(failing.Build()),
       Lines{cannot, "Too many Exif sub-directories - Failed to open file " + in}, kReduce},
      {"Exif unreadable", Exif(notTiff), {}, {cannot}, kReduce},
      {"Exif reduced too long", Exif(tooLong.Build()), Exif(tooLong.Build()), {cannot}, kReduce},
      // Delete keeps what shows the picture upright and, with Keep DPI, prints it at its size
      // where no JFIF segment gives a density, even one that comes later.
      {"Delete: orientation 1", Exif(CameraBlock(1)), {}, {"Block 225 removed"}},
      {"Delete: orientation 1, Keep DPI", Exif(CameraBlock(1)),
       Exif(Minimal({e.Rational(282, 300, 1), e.Rational(283, 72, 1), e.Short(296, 2)})),
       Lines{minimal + "resolution 300/1 by 72/1, unit 2"}, kDelete, true},
      {"Delete: orientation 6", Exif(CameraBlock(6)), Exif(Minimal({e.Short(274, 6)})),
       Lines{minimal + "orientation 6"}},
      {"Delete: orientation 8, Keep DPI, JFIF density later",
       Concat({Exif(CameraBlock(8)), kJfifDpi}),
       Concat({Exif(Minimal({e.Short(274, 8)})), kJfifDpi}), Lines(), kDelete, true},
  };
  for (const SegmentRow& row : rows)
    for (const Bytes& data : {kShortData, longData}) {
      SCOPED_TRACE(std::string(row.name) + (data.size() > kShortData.size() ? ", long data" : ""));
      options.icc = row.icc;
      options.dpi = row.keepDpi;
      const Bytes input = Picture(row.input, row.frame, data);
      EXPECT_EQ(Rewrite(input, row.removeList, row.exifMode), kRewritten);
      EXPECT_EQ(output, Picture(row.kept, row.frame, data));
      EXPECT_THAT(box.lines, IsSupersetOf(row.lines));
      // The picture data's length (the quick scan takes a restart marker's row for data up to the
      // end).
      EXPECT_EQ(box.Has(std::to_string(data.size()) + " bytes"), (row.input != Bytes{0xFF, 0xD0}));
      const long saved = static_cast<long>(input.size()) - static_cast<long>(output.size());
      EXPECT_EQ(box.Has(ReducedBy(saved)), saved > 0);
    }
}

// Files that are not a JPEG, damaged ones, and ones the rewriter cannot handle.
TEST_F(RewriteTest, WholeFileVerdicts) {
  const Bytes start = JpegBuilder().Soi().Segment(kApp0, 14).Sof0().bytes();
  const Bytes picture = Picture(SegmentBytes(kApp0, Bytes(900, 7)));
  Bytes jfifOnly = Picture(SegmentBytes(kApp0, Data("JFIF\0"sv, 14)));
  jfifOnly[0] = 0x00;  // "JFIF" at offset 6 is enough to pass the check
  const std::string failed = "Failed to open file " + in;
  struct Row {
    Bytes input;
    testing::Matcher<int> result;
    std::string line;
    std::optional<Bytes> output = std::nullopt;  // none: the input, when rewritten
  };
  const Row rows[] = {
      {Bytes{0xFF, 0xD8, 0xFF, 0xD9}, kRewritten, "Non-data segment 217 (END) at 4"},
      // Whatever follows the first EOI goes.
      {Concat({picture, Bytes(100, 0x55)}), kRewritten, "Reduced by 100 bytes.", picture},
      {Concat({picture, {0x55}}), kRewritten, "Reduced by 1 bytes.", picture},
      {Bytes{0xFF, 0xD8, 0xFF, 0xFF, 0xD9}, kRewritten, "Reached end of " + in},
      // A scan header right after the SOI, read only that far: the head ends before the tag
      // would, and the header's empty data right at the head's end.
      {Bytes{0xFF, 0xD8, 0xFF, kSos, 0x00, 0x02, 1, 2, 0xFF, 0xD9}, kRewritten, "2 bytes"},
      {ToBytes("GIF89a, certainly not a JPEG file"), kNotJpeg, "Not a JPEG - " + in, Bytes{}},
      {{0xFF, 0xD8}, kNotJpeg, "Not a JPEG - " + in, Bytes{}},  // the start marker alone
      {jfifOnly, testing::Not(kNotJpeg), "Reading " + in},
      {JpegBuilder().Raw(start).Sos().Entropy({1, 2, 3}).bytes(), kDamaged,
       "No ending marker! File is truncated."},
      {Concat({start, {0xFF, kDqt, 0x01, 0x00, 1, 2, 3}}), kDamaged, "Block beyond end of file"},
      {Concat({start, {0xFF, kDqt, 0x01}}), kDamaged, "Block beyond end of file"},
      {Concat({start, {0x12, kDqt, 0x00, 0x04, 1, 2, 0xFF, 0xD9}}), kDamaged,
       "Possible corruption at " + std::to_string(start.size() + 2) + " - 18 - " + in},
      // An end marker before the first scan, with the picture after it, is no end.
      {Picture(Bytes{0xFF, 0xD9}), kDamaged, "Possible corruption at 4 - 217 - " + in},
      {Picture(Concat({SegmentBytes(kApp0, Bytes(14, 7)), {0xFF, 0xD9}})), kDamaged,
       "Possible corruption at 22 - 217 - " + in},
      // Shorter than its tail; a length field below 2; an Adobe segment without its transform.
      {{0xFF}, testing::Gt(kDamaged), failed},
      {{}, testing::Gt(kDamaged), failed},
      {Picture(Bytes{0xFF, kDqt, 0x00, 0x01}), testing::Gt(kDamaged), failed},
      {Picture(SegmentBytes(kApp14, Data("Adobe\0\x64\0\0"sv))), testing::Gt(kDamaged), failed},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.line + " " + testing::PrintToString(row.input));
    const int result = Rewrite(row.input);
    EXPECT_THAT(result, row.result);
    EXPECT_TRUE(box.Has(row.line));
    EXPECT_EQ(output, row.output.value_or(result == kRewritten ? row.input : output));
    EXPECT_FALSE(result == kDamaged && box.Has("Reached end of " + in));
  }
  // The log file gets only the lines of its level. (The file job's tests check the time and the
  // permissions that the output takes from the input.)
  log.SetLogLevel(kVerbose);
  EXPECT_EQ(Rewrite(Picture(SegmentBytes(kCom, Data("comment")))), kRewritten);
  EXPECT_THAT(test::ReadLines(LogSink::LogFilePath().value()),
              ElementsAre("Reading " + in, "Reached end of " + in, "Reduced by 11 bytes."));
}

// Re-encoding: the saving counts both steps, and a file the decoder finds fault with keeps the
// walk's byte copy.
TEST_F(RewriteTest, ReencodingKeepsTheSmallerFormOrFallsBackToTheCopy) {
  const Bytes picture = test::ShrinkablePicture({.width = 128, .height = 96});
  const Bytes damaged =
      Concat({Bytes(picture.begin(), picture.begin() + picture.size() / 2), {0xFF, kEoi}});
  using enum OptimizeChoice;
  const auto rewrite = [&](const Bytes& input, OptimizeChoice optimize) {
    options.optimize = optimize;
    EXPECT_EQ(Rewrite(input), kRewritten);
    return output;
  };
  const Bytes copy = rewrite(picture, kOff), damagedCopy = rewrite(damaged, kOff);
  for (OptimizeChoice mode : {kHuffman, kProgressive}) {
    const Bytes smaller = rewrite(picture, mode);
    EXPECT_LT(smaller.size(), copy.size());
    EXPECT_EQ(test::DecodePixels(smaller), test::DecodePixels(picture));
    EXPECT_TRUE(
        box.Has("Re-encoding saved " + std::to_string(copy.size() - smaller.size()) + " bytes."));
    EXPECT_TRUE(box.Has(ReducedBy(picture.size() - smaller.size())));
    EXPECT_EQ(rewrite(damaged, mode), damagedCopy);
    EXPECT_THAT(box.lines,
                Contains(StartsWith("Picture data copied as it was, re-encoding declined: ")));
  }
  // Past a job's memory: a small file whose frame's coefficients would take about 70 MB, and a file
  // of 31 MB, keep their picture data as it was.
  const Bytes grey = test::EncodePicture({.width = 16, .height = 16, .grayscale = true});
  const Bytes app3 = SegmentBytes(0xE3, Bytes(65000, 1));
  Bytes hugeFrame = Concat({{0xFF, 0xD8}, app3, app3, Bytes(grey.begin() + 2, grey.end())});
  for (size_t at : {SegmentAt(hugeFrame, kSof0) + 5, SegmentAt(hugeFrame, kSof0) + 7})
    hugeFrame[at] = 6000 >> 8, hugeFrame[at + 1] = 6000 & 0xFF;
  JpegBuilder large;
  large.Soi();
  for (int i = 0; i < 470; ++i) large.Segment(0xE3, 65000);
  large.Raw(Bytes(picture.begin() + 2, picture.end()));
  for (const Bytes& input : {hugeFrame, large.bytes()}) {
    const Bytes copied = rewrite(input, kOff);
    EXPECT_EQ(rewrite(input, kProgressive), copied);
    EXPECT_TRUE(
        box.Has("Picture data copied as it was, re-encoding declined: the picture needs more "
                "memory than a job may take"));
    EXPECT_EQ(outcome.reencoding.kind, ReencodingNote::Kind::kDeclined);
  }
}

// Turning upright: every orientation on a picture of whole blocks, in each Exif mode, with the
// byte copy and both re-encodings; a picture whose edge blocks cannot turn and a thumbnail that
// cannot turn leave the file as the rewrite without the turn makes it, with a line that says why.
TEST_F(RewriteTest, TurnsPicturesUprightOrSaysWhy) {
  const ExifBuilder e;
  const Bytes picture = EncodePicture({.width = 96, .height = 64}),
              ragged = EncodePicture({.width = 100, .height = 60});
  const Bytes thumbnail = EncodePicture({.width = 32, .height = 16}),
              raggedThumbnail = EncodePicture({.width = 60, .height = 44, .grayscale = true});
  // The wiring is checked against the pieces' own results, which their tests check.
  const auto edited = [&](const Bytes& block, int orientation, bool turnThumbnail = false) {
    const ThumbnailTurner turner =
        [orientation](std::span<const uint8_t> t) -> std::optional<Bytes> {
      return TurnJpeg(t, orientation, OptimizeChoice::kHuffman).bytes;
    };
    return ExifForTurnedPicture(log, block, orientation, turnThumbnail ? turner : nullptr).payload;
  };
  using enum ExifChoice;
  using enum OptimizeChoice;
  const std::string edge =
      "Picture not turned upright: the edge blocks cannot turn without loss (100x60 pixels, blocks "
      "of 16x16)";
  struct Row {
    Bytes exif;
    int orientation;  // 0: the picture does not turn
    ExifChoice mode = kKeep;
    OptimizeChoice optimize = kOff;
    std::optional<Bytes> block = std::nullopt;  // the Exif block expected: none, or this
    bool keepDpi = false;
    const Bytes* picture = nullptr;  // the one of whole blocks when none
    std::string line = {};  // a line expected besides "Picture turned upright by orientation N"
  };
  std::vector<Row> rows = {
      {CameraBlock(1), 0, kKeep, kHuffman, CameraBlock(1)},  // nothing to turn, nothing said
      {CameraBlock(3), 3, kKeep, kProgressive, CameraBlock(1)},
      // Reduced: the same block as the turned camera block reduced (the upright orientation goes).
      {CameraBlock(6), 6, kReduce, kHuffman, Reduced(log, edited(CameraBlock(6), 6))},
      // Deleted: nothing left, or the resolution, its values swapped for a quarter turn.
      {CameraBlock(8), 8, kDelete, kProgressive},
      {CameraBlock(7), 7, kDelete, kOff,
       Minimal({e.Rational(282, 72, 1), e.Rational(283, 300, 1), e.Short(296, 2)}), true},
      {CameraBlock(6), 0, kKeep, kOff, CameraBlock(6), false, &ragged, edge},
      {CameraBlock(6), 0, kDelete, kOff, Minimal({e.Short(274, 6)}), false, &ragged, edge},
      {CameraBlock(6, thumbnail), 6, kKeep, kOff, edited(CameraBlock(6, thumbnail), 6, true), false,
       nullptr,
       "EXIF follows the turned picture: orientation 1, width and height swapped, thumbnail "
       "turned"},
      {CameraBlock(6, raggedThumbnail), 0, kKeep, kOff, CameraBlock(6, raggedThumbnail), false,
       nullptr, "Picture not turned upright: the EXIF thumbnail cannot turn without loss"},
  };
  for (int o = 2; o <= 8; ++o)
    rows.push_back({CameraBlock(o), o, kKeep, kOff, edited(CameraBlock(o), o)});
  for (const Row& row : rows) {
    SCOPED_TRACE(testing::Message() << "row " << &row - rows.data());
    const Bytes input = WithExifFirst(row.picture ? *row.picture : picture, row.exif);
    options.dpi = row.keepDpi;
    options.optimize = row.optimize;
    options.upright = 0;
    ASSERT_EQ(Rewrite(input, kNoPictureSegments, row.mode), kRewritten);
    const Bytes unturned = output;
    options.upright = 1;
    ASSERT_EQ(Rewrite(input, kNoPictureSegments, row.mode), kRewritten);
    EXPECT_EQ(outcome.turned, row.orientation != 0);
    EXPECT_TRUE(row.line.empty() || box.Has(row.line));
    EXPECT_EQ(box.Has("Picture turned upright by orientation " + std::to_string(row.orientation)),
              row.orientation != 0);
    const int turned = row.orientation != 0 ? 1 : 0;  // the edits are told only once it turned
    EXPECT_THAT(box.lines, Contains(StartsWith("Picture ")).Times(row.line.empty() ? turned : 1));
    EXPECT_THAT(box.lines, Contains(StartsWith("EXIF follows the turned picture: ")).Times(turned));
    const long saved = static_cast<long>(input.size()) - static_cast<long>(output.size());
    EXPECT_TRUE(saved >= 0 && box.Has(ReducedBy(saved)) == (saved > 0));
    const std::optional<std::span<const uint8_t>> exif = ExifPayloadOf(output);
    EXPECT_EQ(exif ? std::optional(Bytes(exif->begin(), exif->end())) : std::nullopt, row.block);
    if (row.orientation == 0) {
      EXPECT_EQ(output, unturned);
      continue;
    }
    EXPECT_TRUE(TurnedFrom(input, output, row.orientation));
    EXPECT_EQ(SegmentAt(output, kSof2) != 0, row.optimize == kProgressive);
  }
}

// A real picture: the rewritten file must decode to exactly the original's pixels. (The file job's
// hostile-bytes test rewrites sequential, progressive, grey and RGB pictures.)
TEST_F(RewriteTest, BothScansKeepEveryPixel) {
  const Bytes original = test::EncodePicture({.progressive = true, .restartInterval = 3});
  const Pixels pixels = DecodePixels(original).value();
  // The quick scan reads up to the first scan's picture data, and no further.
  const size_t sos = SegmentAt(original, kSos);
  EXPECT_EQ(FindHeadExtent(original).dataStart,
            sos + 2 + original[sos + 2] * 256u + original[sos + 3]);
  // A comment after the picture data, before the final EOI.
  const Bytes withComment = Concat({Bytes(original.begin(), original.end() - 2),
                                    SegmentBytes(kCom, Data("late comment")), Bytes{0xFF, 0xD9}});
  for (bool quick : {true, false}) {
    ASSERT_EQ(Rewrite(withComment, kNoPictureSegments, ExifChoice::kDelete, quick), kRewritten);
    EXPECT_EQ(test::DecodePixels(output), pixels) << quick;
    // The quick scan copies the comment with the picture data; the thorough one finds it.
    const Bytes comment = Data("late comment");
    EXPECT_EQ(
        std::search(output.begin(), output.end(), comment.begin(), comment.end()) == output.end(),
        !quick);
  }
  // A file that does not end in EOI always gets the thorough scan.
  EXPECT_EQ(Rewrite(Bytes(withComment.begin(), withComment.end() - 1)), kDamaged);
  EXPECT_TRUE(box.Has("Block 254 removed"));
}

// What the segments before the first scan tell the colour and Exif rules: only the first JFIF
// segment gives the density and only the first Exif segment the orientation; a fill byte is
// passed over, and the frame's components are read behind their count.
TEST(HeaderFacts, FirstJfifAndFirstExifSpeak) {
  const Bytes head = Picture(Concat({SegmentBytes(kApp0, Data("JFIF\0"sv, 14)), kJfifDpi,
                                     Exif(CameraBlock(6)), Exif(CameraBlock(3)), Bytes{0xFF}}),
                             Frame({'R', 'G', 'B'}));
  const HeaderFacts facts = ReadHeaderFacts(head);
  EXPECT_TRUE(facts.complete && facts.jfif && !facts.jfifDensity && facts.rgbIds &&
              facts.exifOrientation == 6 && facts.components == 3 &&
              head[facts.firstScan + 1] == kSos);
}

// The bytes the rewriter copies in live in blocks of their own; a block is given back only once
// nothing waiting points into it, even when a later block (which may take the memory of one
// given back) fills before the rest is handed on.
TEST(OutputBuffer, HandsOnEveryByteInOrderAcrossBlocks) {
  OutputBuffer out;
  Bytes appended, written;
  auto append = [&](size_t length, uint8_t value) {
    appended.resize(appended.size() + length, value);
    out.Append(std::span(appended).last(length));
  };
  auto handOn = [&](size_t end) {
    EXPECT_TRUE(out.HandOn(end, [&](std::span<const std::span<const uint8_t>> pieces) {
      for (auto piece : pieces) written.insert(written.end(), piece.begin(), piece.end());
      return Status();
    }));
  };
  append(60 << 10, 1);  // most of the first block
  append(8 << 10, 2);   // the second block
  handOn(1 << 10);      // the rest of the first piece waits in the first block
  append(60 << 10, 3);  // the third block
  handOn(out.size());
  EXPECT_EQ(written, appended);
}

}  // namespace
}  // namespace keelpack::test
