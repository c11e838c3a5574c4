#pragma once

#include <array>
#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>

// The JPEG marker model (ITU T.81, annex B): every marker is 0xFF followed by a code; most
// markers begin a segment whose big-endian length counts its own two bytes.
namespace keelpack {

inline constexpr uint8_t kMarkerLead = 0xFF;
inline constexpr uint8_t kSof0 = 0xC0;
inline constexpr uint8_t kSof2 = 0xC2;
inline constexpr uint8_t kDht = 0xC4;
inline constexpr uint8_t kRst0 = 0xD0;
inline constexpr uint8_t kRst7 = 0xD7;
inline constexpr uint8_t kSoi = 0xD8;
inline constexpr uint8_t kEoi = 0xD9;
inline constexpr uint8_t kSos = 0xDA;
inline constexpr uint8_t kDqt = 0xDB;
inline constexpr uint8_t kDri = 0xDD;
inline constexpr uint8_t kApp0 = 0xE0;
inline constexpr uint8_t kApp1 = 0xE1;
inline constexpr uint8_t kApp2 = 0xE2;
inline constexpr uint8_t kApp12 = 0xEC;
inline constexpr uint8_t kApp13 = 0xED;
inline constexpr uint8_t kApp14 = 0xEE;
inline constexpr uint8_t kCom = 0xFE;
inline constexpr uint8_t kTem = 0x01;
inline constexpr uint8_t kFill = 0xFF;

// The four bytes read together at the start of every marker, in file order. For a
// standalone marker only `lead` and `code` belong to it.
struct MarkerHeader {
  uint8_t lead = 0;
  uint8_t code = 0;
  uint8_t lengthHigh = 0;
  uint8_t lengthLow = 0;

  // Data length of a length-bearing segment; negative for a length field below 2.
  int DataLength() const { return lengthHigh * 256 + lengthLow - 2; }
};

// One step of a walk over a file's markers (ITU T.81, B.1.1): a segment with its length, a
// marker that stands alone, or a fill byte before a marker.
struct MarkerStep {
  enum class Kind {
    kSegment,     // 0xFF, a code, a length of at least 2, and all the data it counts
    kStandalone,  // 0xFF and a code without a length: SOI, EOI, RSTn, TEM
    kFillByte,    // 0xFF followed by another 0xFF: one byte
    kShort,       // the bytes end before the step does
    kBroken,      // no marker here, or a length below 2
  };
  Kind kind = Kind::kShort;
  uint8_t code = 0;
  size_t end = 0;  // where the next step begins; for kShort, how far the bytes must reach
  std::span<const uint8_t> data;  // a segment's data, behind its length

  bool segment() const { return kind == Kind::kSegment; }
};

// The step that begins at `at` in `bytes`. Every walk over the segments before the picture
// data takes its steps from here, and decides for itself what to do with each kind.
MarkerStep ReadMarkerStep(std::span<const uint8_t> bytes, size_t at);

// True for the markers after which entropy-coded data follows: SOS and RST0..RST7.
constexpr bool StartsEntropyData(uint8_t code) {
  return code == kSos || (code >= kRst0 && code <= kRst7);
}

constexpr bool IsRestartMarker(uint8_t code) { return code >= kRst0 && code <= kRst7; }

// A set of marker codes, such as the segments a rewrite drops.
class MarkerSet {
 public:
  constexpr MarkerSet() = default;
  constexpr MarkerSet(std::initializer_list<uint8_t> codes) {
    for (const uint8_t code : codes) Add(code);
  }
  constexpr MarkerSet& Add(uint8_t code) {
    words_[code / 64] |= uint64_t{1} << (code % 64);
    return *this;
  }
  constexpr bool Contains(uint8_t code) const {
    return (words_[code / 64] >> (code % 64) & 1) != 0;
  }
  friend constexpr bool operator==(const MarkerSet&, const MarkerSet&) = default;

 private:
  std::array<uint64_t, 4> words_{};
};

// The segments that carry no picture: Exif (APP1), colour profiles (APP2), APP12, APP13,
// comments and APP14. APP14 is dropped only where the colours stay right without it.
inline constexpr MarkerSet kNoPictureSegments = {kApp1, kApp2, kApp12, kApp13, kCom, kApp14};

// The largest payload a segment's 16-bit length field can describe.
inline constexpr size_t kMaxSegmentData = 0xFFFF - 2;

// Whether a segment's data begins with `text`, as an APPn segment's data begins with the tag
// that says what it holds ("Exif", "ICC_PROFILE", "Adobe").
bool BeginsWith(std::span<const uint8_t> data, std::string_view text);

// " (NAME)" for the markers the log names, empty for the others.
std::string MarkerName(uint8_t code);

// Whether an APP0 payload is a JFIF header (JFIF 1.02) that gives the picture a density of its
// own: units 1 (dots per inch) or 2 (dots per cm), and both densities above 0. Units 0 give
// only the pixels' aspect.
bool JfifGivesDensity(std::span<const uint8_t> app0Payload);

}  // namespace keelpack
