#include "exif/reduce_exif.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <variant>

#include "exif/exif_policy.h"
#include "exif/orientation_exif.h"
#include "jpeg/markers.h"
#include "log/log_sink.h"
#include "platform/failure.h"
#include "support/exif_builder.h"
#include "support/temp_dir.h"

namespace keelpack::test {
namespace {

using ::testing::ElementsAre;
using ::testing::IsSupersetOf;
using std::literals::string_literals::operator""s;

constexpr int kIfd0 = ExifBuilder::kIfd0;
// What a reduction came to: its verdict, or the number of the failure that stopped it.
using Reduction = std::variant<ExifReduced, int>;
const Reduction kReduced = ExifReduced::kReduced, kNotExifBlock = ExifReduced::kNotExifBlock,
                kNotSmaller = ExifReduced::kNotSmaller, kOutOfRange = platform::kFailOutOfRange;
constexpr size_t npos = std::string::npos;
constexpr uint16_t kExifPointer = 34665;
std::string Text(const Bytes& b) { return std::string(b.begin(), b.end()); }
Bytes Comment(std::string_view text) { return Concat({ToBytes("ASCII\0\0\0"s), ToBytes(text)}); }

// Reduces payloads in one byte order (the parameter: big-endian) with every log line
// captured through the screen echo.
class ReduceExifTest : public ::testing::TestWithParam<bool> {
 protected:
  ReduceExifTest() { log.SetScreenDebug(true); }

  Reduction Reduce(const Bytes& payload, bool keepDpi = false) {
    box.lines.clear();
    const Result<ExifReduced> result =
        ReduceExifBlock(log, keepDpi, payload, reduced, useful, "in.bin");
    if (result) return *result;
    EXPECT_TRUE(result.error().content());  // the block's fault, never the system's
    return result.error().number;
  }
  // The tags of the rows kept, as the listing of the written rows names them.
  std::vector<int> Kept() const {
    std::vector<int> tags;
    for (const auto& line : box.lines)
      if (line.starts_with("Tag ")) tags.push_back(std::stoi(line.substr(4)));
    return tags;
  }
  bool Holds(const Bytes& v) const { return Text(reduced).find(Text(v)) != std::string::npos; }
  // The log without the listing of kept rows.
  std::vector<std::string> Decisions() const {
    std::vector<std::string> lines = box.lines;
    std::erase_if(lines, [](const std::string& line) { return line.starts_with("Tag "); });
    return lines;
  }

  // A block of these IFD0 entries alone.
  Bytes Ifd0(const std::vector<ExifEntry>& entries) const {
    return ExifBuilder(GetParam()).Add(kIfd0, entries).Build();
  }

  ExifBuilder b{GetParam()};
  test::CapturingLogBox box;
  LogSink log{box};
  std::vector<uint8_t> reduced;
  int useful = -1;
};

INSTANTIATE_TEST_SUITE_P(ByteOrders, ReduceExifTest, ::testing::Bool(),
                         [](const auto& p) { return p.param ? "MM" : "II"; });

// The camera block reduced; and a header that is not one ("exif", byte order "IM", not 42, too
// short) is refused without a line.
TEST_P(ReduceExifTest, CameraBlockKeepsUsefulTagsAndLogsEveryDecisionAfterItsHeaderChecks) {
  const Bytes camera = test::CameraExifBlock(GetParam());
  ASSERT_EQ(Reduce(camera), kReduced);
  EXPECT_EQ(useful, 5);  // Model, Orientation 6, ExposureTime, FNumber, ISO
  EXPECT_THAT(Kept(), ElementsAre(272, 274, 282, 283, 33434, 33437, 34855, 36867));
  // A value of at most four bytes is listed as the four bytes of its field.
  const std::string field(GetParam() ? "\0\x06\0\0" : "\x06\0\0\0", 4);
  EXPECT_THAT(box.lines, testing::Contains(testing::AllOf(testing::StartsWith("Tag 274,"),
                                                          testing::EndsWith(field))));
  // The thumbnail directory is gone, and its image with it. IFD0 keeps 4 rows and the pointer:
  // E = 12 * 5 + 14 = 74, D = 74 + 2 + 12 * 4 + 4 = 128; the data: Model (10), two
  // resolutions, ExposureTime, FNumber (8 each), DateTimeOriginal (20).
  EXPECT_EQ(std::pair(Text(reduced).find("\xFF\xD8"), reduced.size()), std::pair(npos, 6ul + 190));
  EXPECT_THAT(box.lines,
              IsSupersetOf({"Discarding a brand repeated in the model "s, "Sub-database tag 40965"s,
                            "Tag 272, type 2, length 10, ptr 128, data NIKON D70\0"s,
                            "Tag 36867, type 2, length 20, ptr 170, data 2024:05:06 07:08:09\0"s}));
  EXPECT_TRUE(Reduce(camera, /*keepDpi=*/true) == kReduced && useful == 7) << useful;

  const auto with = [&](size_t at, std::string_view bytes) {
    Bytes payload = camera;
    std::copy(bytes.begin(), bytes.end(), payload.begin() + static_cast<long>(at));
    return payload;
  };
  for (const Bytes& payload : {with(0, "exif"), with(6, "IM"),
                               with(8, GetParam() ? std::string_view("\0\x2B", 2) : "\x2B"),
                               Bytes(camera.begin(), camera.begin() + 12)}) {
    EXPECT_TRUE(Reduce(payload) == kNotExifBlock && box.lines.empty());
  }
  // Only "Exif" is checked; the two bytes after it are carried over as they are.
  ASSERT_EQ(Reduce(with(4, "\xFF\xE1")), kReduced);
  EXPECT_EQ(Text(Bytes(reduced.begin(), reduced.begin() + 6)), "Exif\xFF\xE1");
}

// The exact layout, with the pointer last in IFD0; never larger than the block it replaces.
TEST_P(ReduceExifTest, WritesTheExactLayoutNeverLargerThanTheBlock) {
  const int exif = b.AddDirectory();
  b.Add(kIfd0, {b.Pointer(kExifPointer, exif), b.Ascii(272, "ABCDEFG"), b.Short(50000, 7)})
      .Add(exif, {b.Rational(33434, 1, 250), b.Short(40961, 1)});
  ASSERT_EQ(Reduce(b.Build()), kReduced);
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

  // Only an Orientation: IFD0 alone, as the source has it, with no empty Exif IFD behind a
  // pointer. Two entries sharing one value: the reduction would write it twice.
  EXPECT_TRUE(Reduce(Ifd0({b.Short(274, 6)})) == kReduced && reduced == Ifd0({b.Short(274, 6)}));
  EXPECT_EQ(
      Reduce(Ifd0({b.Ascii(50001, "twenty bytes of text"), b.Raw(50002, 2, 21, 8 + 2 + 24 + 4)})),
      kNotSmaller);
  EXPECT_EQ(box.lines.back(), "Reduced EXIF block would be 20 bytes larger");
}

TEST_P(ReduceExifTest, PolicyDecidesEachTagAsTheTableSays) {
  const auto comment = [&](std::string_view t) { return b.Undefined(37510, Comment(t)); };
  const std::string brand = "Discarding a brand repeated in the model ",
                    empty = "Removing empty comment ";
  // The entry, whether it is kept, how many useful tags it makes, the log lines besides the kept.
  // clang-format off
  const std::tuple<ExifEntry, bool, int, std::vector<std::string>> cases[] = {
      {b.Rational(37381, 3, 1), true, 1, {}},
      {b.Short(41989, 50), true, 1, {}},
      {b.Ascii(36868, "2024:01:02 03:04:05"), false, 0,
       {"Removing unwanted tag 36868", "Length: 20", "Excerpt: 2024:01:02 03:04:05\0"s}},
      // Fields from 65500 up get no excerpt; below it, one read as an offset outside the block is empty.
      {b.Raw(40962, 4, 1, 65499), false, 0, {"Removing unwanted tag 40962", "Length: 4", "Excerpt: "}},
      {b.Raw(40962, 4, 1, 65500), false, 0, {"Removing unwanted tag 40962"}},
      // Offset 0: the excerpt is the TIFF header's first four bytes.
      {b.Raw(34853, 4, 1, 0), false, 0,
       {"Removing unwanted tag 34853", "Length: 4", GetParam() ? "Excerpt: MM\0*"s : "Excerpt: II*\0"s}},
      {b.Undefined(37500, Bytes(80, 'm')), false, 0,
       {"Removing out-of-scope tag 37500", "Length: 80", "Excerpt: " + std::string(60, 'm')}},
      {b.Short(40961, 1), true, 0, {}},
      {b.Short(40961, 0xFFFF), false, 0, {"Removing unwanted color space tag"}},
      {b.Short(274, 1), false, 0, {"Removing unwanted orientation tag"}},
      {b.Raw(274, 3, 3, 8), false, 0, {"Removing unwanted orientation tag"}},  // out of line, at offset 8
      {b.Ascii(271, "cAnOn"), false, 0, {brand}},
      {b.Ascii(271, "Asahi Pentax"), false, 0, {brand}},
      {b.Ascii(271, "OLYMPUS"), true, 0, {}},
      {b.Ascii(271, "LG"), true, 0, {}},
      {comment("   \0\0 \0"s), false, 0, {empty}},
      {comment(""), false, 0, {empty}},  // the header alone
      {comment("oppo_32\0\0"s), false, 0, {empty}},
      {comment(" Nice day 2024 "), true, 1, {}},
      {b.Undefined(37510, {}), false, 0, {empty}},
      {b.Undefined(37510, ToBytes("abcd")), true, 1, {}},
  };
  // clang-format on
  for (const auto& [entry, kept, usefulTags, lines] : cases) {
    SCOPED_TRACE(testing::Message() << entry.tag << " " << testing::PrintToString(entry.value));
    ASSERT_EQ(Reduce(Ifd0({entry})), kReduced);
    EXPECT_EQ(std::pair(useful, Decisions()), std::pair(usefulTags, lines));
    EXPECT_EQ(Kept(), kept ? std::vector<int>{entry.tag} : std::vector<int>{});
    EXPECT_TRUE(!kept || Holds(entry.value));
  }
  // Every tag of the unwanted and the out-of-scope tables goes: a value field of 70000 gets no
  // excerpt, but an out-of-scope tag's excerpt lines follow its line whatever its field.
  const auto removed = [&](int tag) {
    EXPECT_EQ(Reduce(Ifd0({b.Raw(static_cast<uint16_t>(tag), 4, 1, 70000)})), kReduced);
    return Kept().empty() && useful == 0 ? Decisions() : std::vector<std::string>{"kept"};
  };
  for (int tag : {305, 306, 33432, 34853, 36868, 40962, 40963, 42033, 50341, 59932})
    EXPECT_THAT(removed(tag), ElementsAre("Removing unwanted tag " + std::to_string(tag)));
  for (int tag : {1, 2, 4096, 4097, 4098, 37500})
    EXPECT_THAT(removed(tag), ElementsAre("Removing out-of-scope tag " + std::to_string(tag),
                                          "Length: 4", "Excerpt: "));
}

TEST_P(ReduceExifTest, BadOffsetsAndImplausibleEntriesAreDroppedWithoutReadingOutside) {
  // The block is 8 + 2 + 12 * 6 + 4 = 86 bytes; the payload 92.
  const uint32_t payloadLength = 92;
  b.Add(kIfd0, b.Raw(272, 2, 10, 0))                  // offset 0
      .Add(kIfd0, b.Raw(272, 2, 10, 77))              // 77 + 6 + 10 = 93: one byte out
      .Add(kIfd0, b.Raw(50001, 2, 10, 76))            // ends exactly at the end
      .Add(kIfd0, b.Raw(33434, 0, 1, 0))              // type 0
      .Add(kIfd0, b.Raw(7, 7, payloadLength, 0))      // count = length: plausible
      .Add(kIfd0, b.Raw(33437, 12, 0xFFFFFFFF, 80));  // count > length, type 12
  const Bytes payload = b.Build();
  ASSERT_EQ(Reduce(payload), kReduced);
  EXPECT_EQ(useful, 2);  // both Models count before their values are checked; tag 0 does not
  EXPECT_THAT(Decisions(),
              ElementsAre("BAD EXIF TAG 272", "BAD EXIF TAG 272", "Removing out-of-scope tag 0",
                          "Length: 1", "Excerpt: "s + (GetParam() ? "M" : "I"), "BAD EXIF TAG 7",
                          "Removing out-of-scope tag 0", "Length: 34359738360",
                          // cut where the block ends
                          "Excerpt: " + Text(Bytes(payload.end() - 6, payload.end()))));
  EXPECT_THAT(Kept(), ElementsAre(50001));
  EXPECT_TRUE(Holds(Bytes(payload.end() - 10, payload.end())));

  // IFD0 beyond the block: nothing to walk. An entry count that runs past the end: the
  // entries that are there are IFD0 rows.
  Bytes far = ExifBuilder(GetParam()).Build();
  far[GetParam() ? 12 : 11] = 0x13;
  EXPECT_TRUE(Reduce(far) == kReduced && Kept().empty());
  Bytes truncated = Ifd0({b.Short(274, 3), b.Short(40961, 1), b.Short(50000, 1)});
  truncated.resize(6 + 8 + 2 + 12 * 2 + 5);
  ASSERT_EQ(Reduce(truncated), kReduced);
  EXPECT_EQ(std::pair(useful, Kept()), std::pair(1, std::vector{274, 40961}));
}

TEST_P(ReduceExifTest, QueueAndTableLimits) {
  for (bool byLink : {true, false}) {  // an Exif IFD that points at itself
    ExifBuilder loop(GetParam());
    const int exif = loop.AddDirectory();
    loop.Add(kIfd0, loop.Pointer(kExifPointer, exif)).Add(exif, loop.Short(34855, 100));
    byLink ? loop.Link(exif, exif) : loop.Add(exif, loop.Pointer(kExifPointer, exif));
    EXPECT_EQ(Reduce(loop.Build()), kOutOfRange);
    EXPECT_EQ(box.lines.back(), "Too many Exif sub-directories - Failed to open file in.bin");
  }
  EXPECT_EQ(useful, 20);  // 20 queued, the 21st refused
  // IFD0's own link is never followed, so IFD0 pointing at itself ends normally.
  b.Add(kIfd0, b.Short(274, 8)).Link(kIfd0, kIfd0);
  EXPECT_TRUE(Reduce(b.Build()) == kReduced && Kept() == std::vector{274});
  // The kept-entry table holds 200 rows.
  for (int n : {200, 201}) {
    ExifBuilder many(GetParam());
    for (int i = 0; i < n; ++i)
      many.Add(kIfd0, many.Short(static_cast<uint16_t>(50000 + i), static_cast<uint16_t>(i)));
    EXPECT_EQ(Reduce(many.Build()), n == 200 ? kReduced : kOutOfRange);
  }
  EXPECT_EQ(box.lines.back(), "Too many Exif entries to keep - Failed to open file in.bin");
}

// Delete keeps what shows the picture upright and, with Keep DPI, prints it at its size: the
// resolution only when no JFIF segment gives a density of its own.
TEST_P(ReduceExifTest, MinimalBlockForDelete) {
  const Bytes aspectOnly = ToBytes("JFIF\0\1\2\0\0\1\0\1\0\0"s),
              dpi = ToBytes("JFIF\0\1\2\1\1\x2C\1\x2C\0\0"s);
  const ExifEntry o6 = b.Short(274, 6), o8 = b.Short(274, 8), x = b.Rational(282, 300, 1),
                  y = b.Rational(283, 72, 1), unit = b.Short(296, 2);
  // The orientation, Keep DPI, the JFIF segment, and the entries kept (none: no block).
  // (The rewrite's rows take orientations 1, 6 and 8 with and without Keep DPI on the same path.)
  const std::tuple<uint16_t, bool, const Bytes&, std::vector<ExifEntry>> rows[] = {
      {8, false, dpi, {o8}}, {6, true, aspectOnly, {o6, x, y, unit}}, {1, true, dpi, {}}};
  for (const auto& [orientation, keepDpi, jfif, kept] : rows) {
    SCOPED_TRACE(testing::Message()
                 << orientation << (keepDpi ? " keep DPI" : "") << " JFIF " << jfif.size());
    ExifBuilder source(GetParam());
    const int exif = source.AddDirectory(), thumbnail = source.AddDirectory();
    source.Add(kIfd0, {source.Ascii(272, "Model"), source.Short(274, orientation), x, y, unit,
                       source.Pointer(34665, exif), source.Raw(34853, 4, 1, 8)});
    source.Add(exif, source.Rational(33434, 1, 250)).Add(thumbnail, source.Short(274, 3));
    source.Link(kIfd0, thumbnail);
    EXPECT_EQ(MinimalExifBlock(log, source.Build(), keepDpi, JfifGivesDensity(jfif)),
              kept.empty() ? std::nullopt : std::optional(Ifd0(kept)));
  }
  const std::string kept = "Minimal EXIF block kept: ", print = "resolution 300/1 by 72/1, unit 2";
  EXPECT_THAT(box.lines, ElementsAre(kept + "orientation 8", kept + "orientation 6, " + print));
  EXPECT_EQ(MinimalExifBlock(log, ToBytes("Exif\0\0XX"s), true, false), std::nullopt);
}

// A block whose thumbnail (at `at` in `tail`, which ends the block) may be turned.
Bytes Turnable(bool bigEndian, uint16_t orientation, bool swapped, uint16_t thumbOrientation,
               uint32_t at, uint32_t length, const Bytes& tail) {
  ExifBuilder b(bigEndian);
  const int exif = b.AddDirectory(), thumbnail = b.AddDirectory();
  b.Add(kIfd0, {swapped ? b.Long(256, 3000) : b.Short(256, 4000),
                swapped ? b.Short(257, 4000) : b.Long(257, 3000), b.Short(274, orientation),
                b.Pointer(34665, exif)});
  b.Add(exif, {swapped ? b.Short(40962, 3000) : b.Long(40962, 4000),
               swapped ? b.Long(40963, 4000) : b.Short(40963, 3000)});
  const uint32_t end = static_cast<uint32_t>(b.Build().size() + 12 * 3 - 6);  // with IFD1's 3
  b.Add(thumbnail, {b.Short(274, thumbOrientation), b.Long(513, end + at), b.Long(514, length)});
  return Concat({b.Link(kIfd0, thumbnail).Build(), tail});
}

// Orientation 1, width and height swapped for a quarter turn, and the thumbnail turned in its
// place, or at the block's end when it grew and something follows it.
TEST_P(ReduceExifTest, EditsForATurnedPicture) {
  const Bytes thumbnail = ToBytes("thumbnail"), smaller = ToBytes("small"),
              larger = ToBytes("a larger one"), pad = {1, 2, 3, 4};
  const bool big = GetParam();
  // The orientation, the block's tail, what the thumbnail turns into (none: it cannot), whether
  // there is a turner, and the block expected (empty: refused).
  const std::tuple<const char*, uint16_t, Bytes, std::optional<Bytes>, bool, Bytes> rows[] = {
      {"smaller", 3, thumbnail, smaller, true, Turnable(big, 1, false, 1, 0, 5, smaller)},
      {"larger", 6, thumbnail, larger, true, Turnable(big, 1, true, 1, 0, 12, larger)},
      {"no turner", 8, thumbnail, {}, false, Turnable(big, 1, true, 8, 0, 9, thumbnail)},
      {"cannot turn", 6, thumbnail, {}, true, {}},
      {"larger, padding after", 7, Concat({thumbnail, pad}), larger, true,
       Turnable(big, 1, true, 1, 9 + 4, 12, Concat({thumbnail, pad, larger}))},
      {"smaller, padding after", 2, Concat({thumbnail, pad}), smaller, true,
       Turnable(big, 1, false, 1, 0, 5, Concat({smaller, Bytes(4, 0), pad}))}};
  for (const auto& [name, orientation, tail, turned, withTurner, expected] : rows) {
    SCOPED_TRACE(name);
    const Bytes source = Turnable(big, orientation, false, orientation, 0, 9, tail);
    ASSERT_EQ(ExifOrientation(source), orientation);
    Bytes seen;
    const ThumbnailTurner turner = [&seen, result = turned](std::span<const uint8_t> t) {
      seen.assign(t.begin(), t.end());
      return result;
    };
    const TurnedExif edited =
        ExifForTurnedPicture(log, source, orientation, withTurner ? turner : nullptr);
    EXPECT_EQ(std::tuple(edited.payload, edited.refused.empty(), seen),
              std::tuple(expected, !expected.empty(), withTurner ? thumbnail : Bytes{}));
  }
  // The resolutions follow the width and height.
  const Bytes dpi = Ifd0({b.Short(274, 5), b.Rational(282, 300, 1), b.Rational(283, 72, 1)});
  EXPECT_EQ(MinimalExifBlock(log, ExifForTurnedPicture(log, dpi, 5, nullptr).payload, true, false),
            Ifd0({b.Rational(282, 72, 1), b.Rational(283, 300, 1)}));
  EXPECT_EQ(ExifForTurnedPicture(log, ToBytes("Exif\0\0MM\0\x2A"s), 6, nullptr).refused,
            "the EXIF block cannot be read");
}

TEST(ExifPolicyTest, JunkTextAndCommentText) {
  const std::pair<std::string, bool> junk[] = {
      {"oppo_33", false},
      {std::string(31, '0'), false},
      {std::string(32, '0'), true},  // 31: too short to judge
      {std::string("0123456789 abcdef ABCDEF\0 0123456789abcdef", 42), true},
      {"0123456789 abcdef ABCDEF 0123456789abcdefg", false},
      {std::string(200, 'Q') + "/", true},
      {std::string(199, 'Q') + "/", false},
      {std::string(199, 'Q') + " /", false}};  // not over 200; a blank
  for (const auto& [text, isJunk] : junk) EXPECT_EQ(IsJunkText(text), isJunk) << text;
  EXPECT_EQ(CommentText(Comment("  hi \0 \0"s)), "hi");
  EXPECT_EQ(CommentText(Comment("\0x "s)), "\0x"s);
  EXPECT_EQ(CommentText(ToBytes("ASCII")), "");
}

}  // namespace
}  // namespace keelpack::test
