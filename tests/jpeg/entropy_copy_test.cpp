#include "jpeg/entropy_copy.h"

#include <gtest/gtest.h>

#include "jpeg/markers.h"
#include "support/jpeg_builder.h"

namespace keelpack::test {
namespace {

// The designed pass-by-pass search, transcribed step by step with 1-based positions. It is
// quadratic, so it only serves as the reference that the linear scan must agree with. It gives
// the bytes copied, whether a marker was found, and whether it would log a premature end.
std::tuple<size_t, bool, bool> ReferenceScan(const Bytes& r, bool quickScan, bool tailIsEoi) {
  const long length = static_cast<long>(r.size());
  auto at = [&](long k) { return r[static_cast<size_t>(k - 1)]; };
  // The first FF (or FF 00) at or after position k; 0 when there is none.
  auto firstFF = [&](long k, bool stuffed = false) -> long {
    for (long j = k; j <= length - (stuffed ? 1 : 0); ++j)
      if (at(j) == 0xFF && (!stuffed || at(j + 1) == 0x00)) return j;
    return 0;
  };
  size_t copied = 0;
  bool premature = false;
  long i = 0, nextFF = 0, nextFF00 = 0;
  for (;;) {
    if (nextFF < i + 1) nextFF = firstFF(i + 1);
    if (nextFF00 < i + 1) nextFF00 = firstFF(i + 1, true);
    long p1 = i, p2 = i;
    if (quickScan && tailIsEoi) {
      nextFF = nextFF00 = length - 1;
    } else {
      for (;;) {
        p2 = firstFF(p1 + 1, true);
        p1 = firstFF(p1 + 1);
        if (p1 != p2 && p1 == length) {
          premature = true;
        } else if (p1 != p2 && at(p1 + 1) >= 0xD0 && at(p1 + 1) <= 0xD7) {
          p2 = ++p1;
        }
        if (p1 != p2 || p1 == 0) break;
        nextFF = p1, nextFF00 = p2;
      }
    }
    if (nextFF == nextFF00 && nextFF > 0 && nextFF < length) {
      copied += static_cast<size_t>(nextFF - 1 - i);
      i = nextFF - 1;
    }
    i = i + 1;
    if (i >= length) return {copied, false, premature};
    if (at(i) == 0xFF && at(i + 1) != 0x00) return {copied, true, premature};
    ++copied;
  }
}

void ExpectSameAsReference(const Bytes& data, bool quickScan, bool tailIsEoi) {
  const EntropyEnd actual = FindEntropyEnd(data, quickScan, tailIsEoi);
  ASSERT_EQ(std::tuple(actual.copied, actual.markerFound, actual.endedOnLoneFF),
            ReferenceScan(data, quickScan, tailIsEoi))
      << testing::PrintToString(data);
}

TEST(EntropyCopy, AgreesWithTheDesignedSearchOnEveryShortSequence) {
  // Every sequence of up to six bytes over the bytes that matter: data, stuffing, restart
  // markers, other markers and fill bytes.
  const uint8_t alphabet[] = {0x12, 0x00, 0xFF, 0xD3, 0xD9, 0xC4};
  size_t sequences = 1;  // of this length
  for (size_t length = 0; length <= 6; ++length, sequences *= std::size(alphabet))
    for (size_t n = 0; n < sequences; ++n) {
      Bytes data(length);
      for (size_t k = 0, digits = n; k < length; ++k, digits /= std::size(alphabet))
        data[k] = alphabet[digits % std::size(alphabet)];
      ExpectSameAsReference(data, false, false);
      // The remainder always runs to the end of the file, so the quick scan only ever sees
      // data that ends with the file's final EOI (or a remainder too short to hold it).
      const bool endsWithEoi = length >= 2 && data[length - 2] == 0xFF && data[length - 1] == 0xD9;
      if (endsWithEoi || length < 2) ExpectSameAsReference(data, true, true);
    }
}

// Every walk over the segments before the picture data takes its steps from here: each kind,
// with where the next step begins (or, when the bytes end first, how far they must reach).
TEST(MarkerStep, TellsEachKindAndWhereTheNextBegins) {
  using Kind = MarkerStep::Kind;
  const struct {
    Bytes bytes;
    Kind kind;
    size_t end;
  } rows[] = {{{0xFF, 0xFF, 0xC4}, Kind::kFillByte, 1},   {{0xFF, 0xD0}, Kind::kStandalone, 2},
              {{0xFF, 0xFE, 0, 3, 7}, Kind::kSegment, 5}, {{0xFF, 0xFE, 0, 4, 7}, Kind::kShort, 6},
              {{0xFF, 0xFE, 0}, Kind::kShort, 4},         {{0xFF, 0xFE, 0, 1}, Kind::kBroken, 0},
              {{0x12, 0xFE}, Kind::kBroken, 0},           {{0xFF}, Kind::kShort, 2}};
  for (const auto& row : rows) {
    const MarkerStep step = ReadMarkerStep(row.bytes, 0);
    EXPECT_EQ(std::pair(step.kind, step.end), std::pair(row.kind, row.end))
        << ::testing::PrintToString(row.bytes);
    EXPECT_EQ(step.segment() ? Bytes(step.data.begin(), step.data.end()) : Bytes{7}, Bytes{7});
  }
}

}  // namespace
}  // namespace keelpack::test
