#include "jpeg/reencode.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "jpeg/markers.h"
#include "jpeg/turn_jpeg.h"
#include "support/exif_builder.h"
#include "support/jpeg_builder.h"
#include "support/pictures.h"

namespace keelpack::test {
namespace {

// The whole segments before the first scan, in file order.
std::vector<Bytes> HeaderSegments(const Bytes& jpeg) {
  std::vector<Bytes> segments;
  for (size_t at : SegmentStarts(jpeg))
    if (jpeg[at + 1] != kSos)
      segments.emplace_back(jpeg.begin() + at, jpeg.begin() + ReadMarkerStep(jpeg, at).end);
  return segments;
}

bool IsMetadata(const Bytes& segment) {
  return (segment[1] >= kApp0 && segment[1] <= kApp0 + 15) || segment[1] == kCom;
}

// The metadata segments of `input`'s header, then `later` ones, stand unchanged and in order
// right after SOI of `output`, and nothing adds any of its own.
void ExpectMetadataFirst(const Bytes& input, const Bytes& output,
                         const std::vector<Bytes>& later = {}) {
  std::vector<Bytes> metadata = HeaderSegments(input);
  std::erase_if(metadata, [](const Bytes& s) { return !IsMetadata(s); });
  metadata.insert(metadata.end(), later.begin(), later.end());
  const std::vector<Bytes> after = HeaderSegments(output);
  const auto others = std::ranges::find_if_not(after, IsMetadata);
  EXPECT_EQ(std::vector(after.begin(), others), metadata);
  EXPECT_TRUE(std::none_of(others, after.end(), IsMetadata));
}

// The first segment of the kind, or nothing.
Bytes Find(const std::vector<Bytes>& segments, uint8_t code) {
  const auto it = std::ranges::find_if(segments, [code](const Bytes& s) { return s[1] == code; });
  return it == segments.end() ? Bytes{} : *it;
}

// `picture` without its APP0 segment, the given segments right after SOI.
Bytes WithMetadata(Bytes picture, const std::vector<Bytes>& segments) {
  if (picture[3] == kApp0)
    picture.erase(picture.begin() + 2, picture.begin() + 4 + (picture[4] << 8 | picture[5]));
  for (auto it = segments.rbegin(); it != segments.rend(); ++it)
    picture.insert(picture.begin() + 2, it->begin(), it->end());
  return picture;
}

// `picture` with the byte at `offset` into its frame header set to `value`.
Bytes Patched(Bytes picture, size_t offset, uint8_t value) {
  picture[SegmentAt(picture, kSof0) + offset] = value;
  return picture;
}

const Bytes kJfif = SegmentBytes(kApp0, ToBytes(std::string("JFIF\0\1\1\0\0\1\0\1\0\0", 14)));
const Bytes kExif =
    SegmentBytes(kApp1, ToBytes(std::string("Exif\0\0MM\0\x2A\0\0\0\x08\0\0\0\0\0\0", 20)));
const Bytes kIcc = SegmentBytes(kApp2, ToBytes(std::string("ICC_PROFILE\0\1\1custom", 20)));
const Bytes kAdobe = SegmentBytes(kApp14, Bytes{'A', 'd', 'o', 'b', 'e', 0, 100, 0, 0, 0, 0, 1});
const Bytes kComment = SegmentBytes(kCom, ToBytes("kept"));

// A progressive picture with `inserted` before its third scan; with nothing to insert, one that
// ends there (that scan's marker becomes the end marker), without a fault a decoder reports.
Bytes AtThirdScan(const Bytes& inserted) {
  Bytes picture = EncodePicture({.width = 64, .height = 48, .progressive = true});
  const Bytes sos = {kMarkerLead, kSos};
  auto scan = picture.begin();
  for (int n = 0; n < 3; ++n) scan = std::search(scan + 1, picture.end(), sos.begin(), sos.end());
  if (inserted.empty()) return Concat({Bytes(picture.begin(), scan), {kMarkerLead, kEoi}});
  picture.insert(scan, inserted.begin(), inserted.end());
  return picture;
}

// Found by fuzzing: data that decodes to coefficients sequential coding cannot hold, which the
// library's standard-table coder made into another picture.
const Bytes kOutOfRange = FromHex(
    "ffd8ffe000104a46494600010100000100010000ffdb00430003020203030203030303feff0100613000021ec6050a"
    "070706080c01006110000057c10e12100d0e110e0b0b1016101113141515150c0f171816141812141514ffc0000b08"
    "0018001001011100ffc400b5100002010303020403050504040000017d010203000411051221314106135161072271"
    "14328191a108498b0f491552d1ec2433627282090a161718191a25262728292a3435363738393a434445464748494a"
    "535455565758595a636465666768696a737475767778797a838485868788898a92939484300600a0610000a4a5a7aa"
    "a8b2a6a9b3b4b5b6b7b8b9bac2c3c4c5c6c7c8c9ca2e00006110000441d2e1e2e3e4e5e6e7e8e9eaf1f2f3f4f5f6f7"
    "f8f9faffda0008010100003f00f2b25dd95a431818afc769e1ff006ffd5357f0b7c37f0df86f89353d8a80db7cc417"
    "ab2bdd3b4fc4c2c7ecf3e1c362d68638243998c55f0c5bcf45ffd9");

struct Case {
  const char* name;
  Bytes input;
  const char* declined;  // a part of the reason, or null when the new form must come out
  int orientation = 1;   // for a turn
  OptimizeChoice mode = OptimizeChoice::kOff;  // for a turn; a re-encoding tries both
  std::vector<Bytes> betweenScans = {};        // metadata segments that stand after the first scan
};

using enum OptimizeChoice;

TEST(Reencode, KeepsPixelsAndSegmentsOrDeclines) {
  const Bytes baseline = EncodePicture({.width = 96, .height = 64});
  const Bytes restarts =
      WithMetadata(EncodePicture({.width = 64, .height = 48, .restartInterval = 2}), {});
  const Bytes truncated = Concat(
      {Bytes(baseline.begin(), baseline.begin() + baseline.size() * 2 / 3), {kMarkerLead, kEoi}});
  Bytes commentAfterTables = baseline;
  commentAfterTables.insert(commentAfterTables.begin() + SegmentAt(baseline, kSof0),
                            kComment.begin(), kComment.end());
  const Bytes app3 = SegmentBytes(0xE3, ToBytes("later"));
  const Case cases[] = {
      {"every kind of segment", WithMetadata(baseline, {kJfif, kExif, kIcc, kAdobe, kComment}),
       nullptr},
      {"no JFIF header, restart markers", restarts, nullptr},
      {"progressive grey, scripts compared on samples",
       EncodePicture({.width = 40, .height = 600, .progressive = true, .grayscale = true}),
       nullptr},
      {"colour, scripts compared on samples",
       EncodePicture({.width = 48, .height = 560, .seed = 3}), nullptr},
      {"picture data cut short", truncated, "premature end"},
      {"progressive scans left unfinished", AtThirdScan({}), "incomplete"},
      {"arithmetic coding", Patched(baseline, 1, 0xC9), "arithmetic"},
      {"12-bit samples", Patched(baseline, 4, 12), "precision"},
      {"lossless", Patched(baseline, 1, 0xC3), "Unsupported JPEG process"},
      {"a comment after the tables", commentAfterTables, nullptr},
      {"segments between scans", AtThirdScan(Concat({kComment, app3})), nullptr, 1, kOff,
       std::vector<Bytes>{kComment, app3}},
      {"frame far larger than its data", Patched(Patched(baseline, 5, 0xFF), 7, 0xFF),
       "larger than its data"},
      {"no JPEG at all", ToBytes("GIF89a, not a JPEG"), "Not a JPEG"}};
  for (const Case& c : cases)
    for (const OptimizeChoice mode : {kHuffman, kProgressive}) {
      SCOPED_TRACE(testing::Message() << c.name << ", mode " << static_cast<int>(mode));
      const Reencoded result = ReencodeJpeg(c.input, mode);
      if (c.declined) {
        EXPECT_TRUE(result.bytes.empty());
        EXPECT_NE(result.declined.find(c.declined), std::string::npos) << result.declined;
        continue;
      }
      ASSERT_EQ(result.declined, "");
      EXPECT_EQ(DecodePixels(result.bytes), DecodePixels(c.input).value());
      ExpectMetadataFirst(c.input, result.bytes, c.betweenScans);
      const auto before = HeaderSegments(c.input), after = HeaderSegments(result.bytes);
      const bool progressive = mode == kProgressive;
      EXPECT_FALSE(Find(after, progressive ? kSof2 : kSof0).empty());
      // Sequential output keeps the restart interval; progressive output has none.
      EXPECT_EQ(Find(after, kDri), progressive ? Bytes{} : Find(before, kDri));
      // Tables of one kind share a segment, as in the copied form.
      for (size_t i = 1; i < after.size(); ++i)
        EXPECT_FALSE((after[i][1] == kDqt || after[i][1] == kDht) && after[i][1] == after[i - 1][1])
            << i;
    }
}

TEST(Turn, ShowsThePictureAsItsOrientationAsksOrDeclines) {
  // Whole blocks of 8 x 8 (grey) and 16 x 16 (colour, 2 x 2 chroma), and not.
  const Bytes grey = WithMetadata(EncodePicture({.width = 64, .height = 48, .grayscale = true}),
                                  {kJfif, kExif, kIcc, kComment});
  const Bytes colour =
      WithMetadata(EncodePicture({.width = 96, .height = 64, .seed = 2}), {kExif, kAdobe});
  const Bytes ragged = EncodePicture({.width = 60, .height = 44, .grayscale = true});
  const Bytes truncated =
      Concat({Bytes(colour.begin(), colour.begin() + colour.size() * 2 / 3), {kMarkerLead, kEoi}});
  // 32 megapixels (4:2:0) declared, with data enough for them: more than even the one larger
  // turn may take.
  Bytes huge = EncodePicture({.width = 16, .height = 16});
  const size_t sof = SegmentAt(huge, kSof0);
  huge[sof + 5] = 5000 >> 8, huge[sof + 6] = 5000 & 0xFF, huge[sof + 7] = 6400 >> 8,
             huge[sof + 8] = 6400 & 0xFF;
  huge.insert(huge.end() - 2, size_t{64} << 10, 0);
  std::vector<Case> cases = {
      {"colour, progressive", colour, nullptr, 6, kProgressive},
      {"colour, Huffman", colour, nullptr, 7, kHuffman},
      // Its coefficients, held twice, take more than a job's budget: the one larger turn.
      {"10 megapixels", EncodePicture({.width = 3200, .height = 3200, .quality = 50}), nullptr, 8},
      {"32 megapixels", huge, "needs more memory", 6},
      // Mirroring along the main diagonal moves no edge block to the other side.
      {"not whole blocks, 5", ragged, nullptr, 5},
      {"not whole blocks, 6", ragged,
       "edge blocks cannot turn without loss (60x44 pixels, blocks of 8x8)", 6},
      {"orientation 1", grey, "asks for no turn", 1},
      {"picture data cut short", truncated, "premature end", 6},
      {"progressive scans left unfinished", AtThirdScan({}), "incomplete", 3},
      {"no JPEG at all", ToBytes("GIF89a, not a JPEG"), "cannot be followed", 6},
      {"coefficients out of range", kOutOfRange, "out of range", 6, kProgressive}};
  for (int orientation = 2; orientation <= 8; ++orientation)
    cases.push_back({"grey", grey, nullptr, orientation});
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.name << ", orientation " << c.orientation);
    const Turned turned = TurnJpeg(c.input, c.orientation, c.mode);
    if (c.declined) {
      EXPECT_TRUE(turned.bytes.empty());
      EXPECT_NE(turned.declined.find(c.declined), std::string::npos) << turned.declined;
      continue;
    }
    ASSERT_EQ(turned.declined, "");
    EXPECT_TRUE(TurnedFrom(c.input, turned.bytes, c.orientation));

    ExpectMetadataFirst(c.input, turned.bytes);
    EXPECT_NE(SegmentAt(turned.bytes, c.mode == kProgressive ? kSof2 : kSof0), 0u);
  }
  // The Exif block edited after the turn: replaced, removed, or added behind the JFIF segment.
  const Bytes turned = TurnJpeg(grey, 6, kOff).bytes,
              other = ToBytes(std::string_view("Exif\0\0other", 11)),
              none = *WithExifPayload(turned, {});
  const Bytes replaced = *WithExifPayload(turned, other), added = *WithExifPayload(none, other);
  EXPECT_EQ(SegmentPayload(replaced, FindExifSegment(replaced).value_or(0)), other);
  EXPECT_EQ(std::pair(none.size(), FindExifSegment(none)),
            std::pair(turned.size() - kExif.size(), std::optional<size_t>()));
  EXPECT_EQ(std::pair(added, SegmentStarts(added)[1]),
            std::pair(replaced, *FindExifSegment(added)));
  EXPECT_EQ(WithExifPayload(turned, Bytes(65534, 0)), std::nullopt);
}

}  // namespace
}  // namespace keelpack::test
