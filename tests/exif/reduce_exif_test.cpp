#include "exif/reduce_exif.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "exif/exif_bytes.h"
#include "exif/exif_policy.h"
#include "log/log_sink.h"
#include "platform/failure.h"
#include "platform/files.h"
#include "support/exif_builder.h"
#include "support/temp_dir.h"

namespace keelpack {
namespace {

using test::Bytes;
using test::Concat;
using test::ExifBuilder;
using test::ExifEntry;
using test::ToBytes;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::IsEmpty;
using std::literals::string_literals::operator""s;

constexpr int kIfd0 = ExifBuilder::kIfd0;
constexpr uint16_t kExifPointer = 34665;
std::string Text(const Bytes& b) { return std::string(b.begin(), b.end()); }

// Reduces payloads in one byte order (the parameter: big-endian) with every log line
// captured through the screen echo.
class ReduceExifTest : public ::testing::TestWithParam<bool> {
 protected:
  ReduceExifTest() { log.SetScreenDebug(true); }

  int Reduce(const Bytes& payload, bool keepDpi = false) {
    box.lines.clear();
    return ReduceExifBlock(log, keepDpi, payload, reduced, useful, "in.bin");
  }
  test::ParsedExif Parsed() const {
    auto parsed = test::ParseExif(reduced);
    EXPECT_TRUE(parsed.has_value()) << "reduced block does not read back";
    return parsed.value_or(test::ParsedExif{});
  }
  // The log without the listing of kept rows.
  std::vector<std::string> Decisions() const {
    std::vector<std::string> lines;
    for (const auto& line : box.lines) {
      if (line.rfind("Tag ", 0) != 0) lines.push_back(line);
    }
    return lines;
  }
  size_t Count(std::string_view line) const {
    return std::count(box.lines.begin(), box.lines.end(), line);
  }

  ExifBuilder b{GetParam()};
  test::CapturingLogBox box;
  LogSink log{box};
  std::vector<uint8_t> reduced;
  int useful = -1;
};

INSTANTIATE_TEST_SUITE_P(ByteOrders, ReduceExifTest, ::testing::Bool(),
                         [](const auto& p) { return p.param ? "MM" : "II"; });

TEST_P(ReduceExifTest, CameraBlockKeepsUsefulTagsAndLogsEveryDecision) {
  ASSERT_EQ(Reduce(test::CameraExifBlock(GetParam())), 0);
  EXPECT_EQ(useful, 5);  // Model, Orientation 6, ExposureTime, FNumber, ISO
  const test::ParsedExif out = Parsed();
  EXPECT_THAT(out.ifd0.tags, ElementsAre(272, 274, 282, 283, kExifPointer));
  EXPECT_THAT(out.exif.tags, ElementsAre(33434, 33437, 34855, 36867));
  EXPECT_EQ(out.ifd0.next, 0u);  // the thumbnail directory is gone, and its image with it
  EXPECT_EQ(Text(reduced).find("\xFF\xD8"), std::string::npos);

  // IFD0 keeps 4 rows: N0 = 5, E = 12 * 5 + 14 = 74, N1 = 4, D = 74 + 2 + 48 + 4 = 128.
  // Data in row order: Model (10) at 128, X/YResolution at 138 and 146, ExposureTime at
  // 154, FNumber at 162, DateTimeOriginal (20) at 170; the block ends at 190.
  EXPECT_EQ(out.exif.offset, 74u);
  EXPECT_EQ(reduced.size(), 6u + 190);
  const auto inlineShort = [&](uint16_t v) { return Text(Concat({b.Pack(v, 2), {0, 0}})); };
  const auto rational = [&](uint32_t n, uint32_t d) {
    return Text(Concat({b.Pack(n, 4), b.Pack(d, 4)}));
  };
  const uint32_t six = GetParam() ? 6u << 16 : 6u, twoHundred = GetParam() ? 200u << 16 : 200u;
  EXPECT_THAT(
      box.lines,
      ElementsAreArray({
          "Discarding a brand repeated in the model "s,
          "Keeping desirable orientation tag 6"s,
          "Removing unwanted tag 305"s,
          "Length: 9"s,
          "Excerpt: Ver.2.00\0"s,
          "Removing unwanted tag 306"s,
          "Length: 20"s,
          "Excerpt: 2024:05:06 07:08:09\0"s,
          "Sub-database tag 34665"s,
          "Removing out-of-scope tag 37500"s,
          "Length: 19"s,
          "Excerpt: private camera data"s,
          "Sub-database tag 40965"s,
          // "R98\0" and "0100" sit in their entries; read as offsets they lie outside the block.
          "Removing out-of-scope tag 1"s,
          "Length: 4"s,
          "Excerpt: "s,
          "Removing out-of-scope tag 2"s,
          "Length: 4"s,
          "Excerpt: "s,
          "Tag 272, type 2, length 10, ptr 128, data NIKON D70\0"s,
          "Tag 274, type 3, length 1, ptr " + std::to_string(six) + ", data " + inlineShort(6),
          "Tag 282, type 5, length 1, ptr 138, data " + rational(300, 1),
          "Tag 283, type 5, length 1, ptr 146, data " + rational(300, 1),
          "Tag 33434, type 5, length 1, ptr 154, data " + rational(1, 250),
          "Tag 33437, type 5, length 1, ptr 162, data " + rational(28, 10),
          "Tag 34855, type 3, length 1, ptr " + std::to_string(twoHundred) + ", data " +
              inlineShort(200),
          "Tag 36867, type 2, length 20, ptr 170, data 2024:05:06 07:08:09\0"s,
      }));

  ASSERT_EQ(Reduce(test::CameraExifBlock(GetParam()), /*keepDpi=*/true), 0);
  EXPECT_EQ(useful, 7);
}

TEST_P(ReduceExifTest, WritesTheExactLayoutWithThePointerLastInIfd0) {
  const int exif = b.AddDirectory();
  const int thumbnail = b.AddDirectory();
  b.Add(kIfd0, ExifBuilder::Pointer(kExifPointer, exif))
      .Add(kIfd0, b.Ascii(272, "ABCDEFG"))
      .Add(kIfd0, b.Short(50000, 7))
      .Link(kIfd0, thumbnail)
      .Add(exif, b.Rational(33434, 1, 250))
      .Add(exif, b.Short(40961, 1))
      .Add(thumbnail, b.Short(259, 6));
  ASSERT_EQ(Reduce(b.Build()), 0);
  // nIFD0 = 2: N0 = 3, E = 12 * 3 + 14 = 50; N1 = 2, D = 50 + 2 + 24 + 4 = 80.
  const auto entry = [&](uint16_t tag, uint16_t type, uint32_t count, const Bytes& field) {
    return Concat({b.Pack(tag, 2), b.Pack(type, 2), b.Pack(count, 4), field});
  };
  const Bytes expected =
      Concat({ToBytes("Exif\0\0"s), ToBytes(GetParam() ? "MM" : "II"), b.Pack(42, 2), b.Pack(8, 4),
              b.Pack(3, 2), entry(272, 2, 8, b.Pack(80, 4)),
              entry(50000, 3, 1, Concat({b.Pack(7, 2), {0, 0}})),
              entry(kExifPointer, 4, 1, b.Pack(50, 4)), b.Pack(0, 4), b.Pack(2, 2),
              entry(33434, 5, 1, b.Pack(88, 4)), entry(40961, 3, 1, Concat({b.Pack(1, 2), {0, 0}})),
              b.Pack(0, 4), ToBytes("ABCDEFG\0"s), b.Pack(1, 4), b.Pack(250, 4)});
  EXPECT_EQ(reduced, expected);
}

TEST_P(ReduceExifTest, NoExifIfdStillGetsThePointerAndAnEmptyDirectory) {
  b.Add(kIfd0, b.Ascii(272, "Camera1"));
  ASSERT_EQ(Reduce(b.Build()), 0);
  // N0 = 2, E = 38, N1 = 0: the data area starts at E + 6 = 44.
  const test::ParsedExif out = Parsed();
  ASSERT_THAT(out.ifd0.tags, ElementsAre(272, kExifPointer));
  EXPECT_EQ(out.ifd0.fields[0], 44u);
  EXPECT_EQ(out.ifd0.fields[1], 38u);
  EXPECT_THAT(out.exif.tags, IsEmpty());
  EXPECT_EQ(reduced.size(), 6u + 44 + 8);
}

TEST_P(ReduceExifTest, HeaderChecksGiveResultTwoAndKeepOnlyWhatPassed) {
  const Bytes good = test::CameraExifBlock(GetParam());
  const auto with = [&](size_t at, std::string_view bytes) {
    Bytes payload = good;
    std::copy(bytes.begin(), bytes.end(), payload.begin() + at);
    return payload;
  };
  useful = 5;
  EXPECT_EQ(Reduce(with(0, "exif")), kNotExifBlock);
  EXPECT_EQ(useful, 0);
  EXPECT_THAT(reduced, IsEmpty());
  EXPECT_EQ(Reduce(with(6, "IM")), kNotExifBlock);
  EXPECT_EQ(reduced, Bytes(good.begin(), good.begin() + 6));
  EXPECT_EQ(Reduce(with(8, GetParam() ? std::string_view("\0\x2B", 2) : "\x2B")), kNotExifBlock);
  EXPECT_EQ(reduced, Bytes(good.begin(), good.begin() + 8));
  EXPECT_EQ(Reduce(Bytes(good.begin(), good.begin() + 12)), kNotExifBlock);
  EXPECT_EQ(reduced.size(), 10u);
  EXPECT_THAT(box.lines, IsEmpty());
  // Only "Exif" is checked; the two bytes after it are carried over as they are.
  ASSERT_EQ(Reduce(with(4, "\xFF\xE1")), 0);
  EXPECT_EQ(Text(Bytes(reduced.begin(), reduced.begin() + 6)), "Exif\xFF\xE1");
}

struct PolicyCase {
  std::string name;
  ExifEntry entry;
  bool kept = false;
  int useful = 0;
  std::vector<std::string> lines;
  bool keepDpi = false;
};

Bytes Comment(std::string_view text) { return Concat({ToBytes("ASCII\0\0\0"s), ToBytes(text)}); }

TEST_P(ReduceExifTest, PolicyDecidesEachTagAsTheTableSays) {
  const ExifBuilder& x = b;
  const auto comment = [](std::string_view text) {
    return ExifBuilder::Undefined(37510, Comment(text));
  };
  const std::string brand = "Discarding a brand repeated in the model ";
  const std::string empty = "Removing empty comment ";
  // clang-format off
  const std::vector<PolicyCase> cases = {
      {"Model", x.Ascii(272, "X100"), true, 1, {}},
      {"ExposureTime", x.Rational(33434, 1, 60), true, 1, {}},
      {"FNumber", x.Rational(33437, 4, 1), true, 1, {}},
      {"ISO", x.Short(34855, 400), true, 1, {}},
      {"MaxAperture", x.Rational(37381, 3, 1), true, 1, {}},
      {"FocalLength35", x.Short(41989, 50), true, 1, {}},
      {"XResolution", x.Rational(282, 72, 1), true, 0, {}},
      {"XResolutionDpi", x.Rational(282, 72, 1), true, 1, {}, true},
      {"YResolutionDpi", x.Rational(283, 72, 1), true, 1, {}, true},
      {"Digitized", x.Ascii(36868, "2024:01:02 03:04:05"), false, 0,
       {"Removing unwanted tag 36868", "Length: 20", "Excerpt: 2024:01:02 03:04:05\0"s}},
      {"WidthLarge", x.Long(40962, 65500), false, 0, {"Removing unwanted tag 40962"}},
      // The field read as an offset lies outside the block: an empty excerpt.
      {"WidthSmall", x.Long(40962, 65499), false, 0,
       {"Removing unwanted tag 40962", "Length: 4", "Excerpt: "}},
      // Offset 0: the excerpt is the TIFF header's first four bytes.
      {"GpsPointer", ExifBuilder::Raw(34853, 4, 1, 0), false, 0,
       {"Removing unwanted tag 34853", "Length: 4", GetParam() ? "Excerpt: MM\0*"s : "Excerpt: II*\0"s}},
      {"MakerNote", ExifBuilder::Undefined(37500, Bytes(80, 'm')), false, 0,
       {"Removing out-of-scope tag 37500", "Length: 80", "Excerpt: " + std::string(60, 'm')}},
      {"RelatedImageLength", x.Long(4098, 480), false, 0,
       {"Removing out-of-scope tag 4098", "Length: 4", "Excerpt: "}},
      {"ColorSpaceSrgb", x.Short(40961, 1), true, 0, {}},
      {"Uncalibrated", x.Short(40961, 0xFFFF), false, 0, {"Removing unwanted color space tag"}},
      {"Orientation1", x.Short(274, 1), false, 0, {"Removing unwanted orientation tag"}},
      {"Orientation6", x.Short(274, 6), true, 1, {"Keeping desirable orientation tag 6"}},
      {"MakeNikon", x.Ascii(271, "NIKON CORPORATION"), false, 0, {brand}},
      {"MakeCanon", x.Ascii(271, "cAnOn"), false, 0, {brand}},
      {"MakePentax", x.Ascii(271, "Asahi Pentax"), false, 0, {brand}},
      {"MakeOther", x.Ascii(271, "OLYMPUS"), true, 0, {}},
      {"MakeShort", x.Ascii(271, "LG"), true, 0, {}},
      {"CommentBlank", comment("   \0\0 \0"s), false, 0, {empty}},
      {"CommentHeaderOnly", comment(""), false, 0, {empty}},
      {"CommentHex", comment(std::string(40, 'a')), false, 0, {empty}},
      {"CommentOppo", comment("oppo_32\0\0"s), false, 0, {empty}},
      {"CommentText", comment(" Nice day 2024 "), true, 1, {}},
      {"CommentNone", ExifBuilder::Undefined(37510, {}), false, 0, {empty}},
      {"CommentInline", ExifBuilder::Undefined(37510, ToBytes("abcd")), true, 1, {}},
  };
  // clang-format on
  for (const PolicyCase& c : cases) {
    ExifBuilder builder(GetParam());
    builder.Add(kIfd0, c.entry);
    ASSERT_EQ(Reduce(builder.Build(), c.keepDpi), 0) << c.name;
    EXPECT_EQ(useful, c.useful) << c.name;
    EXPECT_EQ(Decisions(), c.lines) << c.name;
    const test::ParsedExif out = Parsed();
    ASSERT_EQ(out.ifd0.tags.size(), c.kept ? 2u : 1u) << c.name;
    if (c.kept) {
      EXPECT_EQ(out.ifd0.tags[0], c.entry.tag) << c.name;
      EXPECT_EQ(out.ifd0.values[0], c.entry.value) << c.name;
    }
  }
}

TEST_P(ReduceExifTest, BadOffsetsAndImplausibleEntriesAreDroppedWithoutReadingOutside) {
  // The block is 8 + 2 + 12 * 6 + 4 = 86 bytes; the payload 92.
  const uint32_t payloadLength = 92;
  b.Add(kIfd0, ExifBuilder::Raw(272, 2, 10, 0))                  // offset 0
      .Add(kIfd0, ExifBuilder::Raw(272, 2, 10, 77))              // 77 + 6 + 10 = 93: one byte out
      .Add(kIfd0, ExifBuilder::Raw(50001, 2, 10, 76))            // ends exactly at the end
      .Add(kIfd0, ExifBuilder::Raw(33434, 0, 1, 0))              // type 0
      .Add(kIfd0, ExifBuilder::Raw(7, 7, payloadLength, 0))      // count = length: plausible
      .Add(kIfd0, ExifBuilder::Raw(33437, 12, 0xFFFFFFFF, 80));  // count > length, type 12
  const Bytes payload = b.Build();
  ASSERT_EQ(payload.size(), payloadLength);
  ASSERT_EQ(Reduce(payload), 0);
  EXPECT_EQ(useful, 2);  // both Models count before their values are checked; tag 0 does not
  EXPECT_THAT(Decisions(),
              ElementsAre("BAD EXIF TAG 272", "BAD EXIF TAG 272", "Removing out-of-scope tag 0",
                          "Length: 1", "Excerpt: "s + (GetParam() ? "M" : "I"), "BAD EXIF TAG 7",
                          "Removing out-of-scope tag 0", "Length: 34359738360",
                          // cut where the block ends
                          "Excerpt: " + Text(Bytes(payload.end() - 6, payload.end()))));
  const test::ParsedExif out = Parsed();
  ASSERT_THAT(out.ifd0.tags, ElementsAre(50001, kExifPointer));
  EXPECT_EQ(out.ifd0.values[0], Bytes(payload.end() - 10, payload.end()));
}

TEST_P(ReduceExifTest, WalkEndsQuietlyWhereTheBlockEnds) {
  // IFD0 beyond the block: nothing to walk, an empty reduced block.
  ASSERT_EQ(Reduce(b.Ifd0Offset(5000).Build()), 0);
  EXPECT_THAT(Parsed().ifd0.tags, ElementsAre(kExifPointer));

  // An entry count that runs past the end: the entries that are there are IFD0 rows.
  ExifBuilder cut(GetParam());
  const int exif = cut.AddDirectory();
  cut.Add(kIfd0, cut.Short(274, 3)).Add(kIfd0, cut.Short(40961, 1)).Add(kIfd0, cut.Short(50000, 1));
  cut.Add(kIfd0, ExifBuilder::Pointer(kExifPointer, exif)).Add(exif, cut.Short(34855, 100));
  Bytes payload = cut.Build();
  payload.resize(6 + 8 + 2 + 12 * 2 + 5);
  ASSERT_EQ(Reduce(payload), 0);
  EXPECT_EQ(useful, 1);
  EXPECT_THAT(Parsed().ifd0.tags, ElementsAre(274, 40961, kExifPointer));
  EXPECT_THAT(Parsed().exif.tags, IsEmpty());
}

TEST_P(ReduceExifTest, DirectoriesThatPointAtThemselvesStopAtTheQueueLimit) {
  const auto selfPointing = [&](bool byLink) {
    ExifBuilder loop(GetParam());
    const int exif = loop.AddDirectory();
    loop.Add(kIfd0, ExifBuilder::Pointer(kExifPointer, exif)).Add(exif, loop.Short(34855, 100));
    if (byLink) {
      loop.Link(exif, exif);
    } else {
      loop.Add(exif, ExifBuilder::Pointer(kExifPointer, exif));
    }
    return loop.Build();
  };
  const std::string failure = "Too many Exif sub-directories - Failed to open file in.bin";
  EXPECT_EQ(Reduce(selfPointing(true)), platform::kFailOutOfRange);
  EXPECT_EQ(box.lines.back(), failure);
  EXPECT_EQ(Reduce(selfPointing(false)), platform::kFailOutOfRange);
  EXPECT_EQ(box.lines.back(), failure);
  EXPECT_EQ(Count("Sub-database tag 34665"), 20u);  // 20 queued, the 21st refused
  EXPECT_EQ(useful, 20);

  // IFD0's own link is never followed, so IFD0 pointing at itself ends normally.
  b.Add(kIfd0, b.Short(274, 8)).Link(kIfd0, kIfd0);
  ASSERT_EQ(Reduce(b.Build()), 0);
  EXPECT_THAT(Parsed().ifd0.tags, ElementsAre(274, kExifPointer));
}

TEST_P(ReduceExifTest, KeptEntryTableHoldsTwoHundredRows) {
  const auto rows = [&](uint16_t n) {
    ExifBuilder many(GetParam());
    for (uint16_t i = 0; i < n; ++i)
      many.Add(kIfd0, many.Short(static_cast<uint16_t>(50000 + i), i));
    return many.Build();
  };
  ASSERT_EQ(Reduce(rows(200)), 0);
  EXPECT_EQ(Parsed().ifd0.tags.size(), 201u);
  EXPECT_EQ(Reduce(rows(201)), platform::kFailOutOfRange);
  EXPECT_EQ(box.lines.back(), "Too many Exif entries to keep - Failed to open file in.bin");
}

TEST(ExifPolicyTest, JunkTextCommentTextAndTypeSizes) {
  const std::pair<std::string, bool> junk[] = {
      {"oppo_32", true}, {"oppo_33", false}, {std::string(31, '0'), false},  // too short to judge
      {std::string(32, '0'), true}, {std::string("0123456789 abcdef ABCDEF\0 0123456789abcdef", 42), true},
      {"0123456789 abcdef ABCDEF 0123456789abcdefg", false}, {std::string(200, 'Q') + "/", true},
      {std::string(198, 'Q') + "AAA", true}, {std::string(199, 'Q') + "/", false},  // not over 200
      {std::string(199, 'Q') + " /", false}};  // a blank: not a base64 run
  for (const auto& [text, isJunk] : junk) EXPECT_EQ(IsJunkText(text), isJunk) << text;
  EXPECT_EQ(CommentText(Comment("  hi \0 \0"s)), "hi");
  EXPECT_EQ(CommentText(Comment("\0x "s)), "\0x"s);
  EXPECT_EQ(CommentText(ToBytes("ASCII")), "");
  // TIFF 6.0 sizes of types 1 ... 12; any other type counts one byte per value.
  const uint32_t sizes[] = {1, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8, 1};
  for (uint16_t type = 0; type < std::size(sizes); ++type) EXPECT_EQ(TypeSize(type), sizes[type]) << type;
}

}  // namespace
}  // namespace keelpack
