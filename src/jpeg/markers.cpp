#include "jpeg/markers.h"

#include <algorithm>
#include <string_view>

namespace keelpack {

namespace {

// The markers without a length (ITU T.81, B.1.1.3): TEM, RST0..RST7, SOI and EOI.
bool IsStandaloneMarker(uint8_t code) {
  return code == kTem || IsRestartMarker(code) || code == kSoi || code == kEoi;
}

}  // namespace

MarkerStep ReadMarkerStep(std::span<const uint8_t> bytes, size_t at) {
  using Kind = MarkerStep::Kind;
  if (at + 2 > bytes.size()) return {Kind::kShort, 0, at + 2, {}};
  const uint8_t code = bytes[at + 1];
  if (bytes[at] != kMarkerLead) return {Kind::kBroken, code, at, {}};
  if (code == kFill) return {Kind::kFillByte, code, at + 1, {}};
  if (IsStandaloneMarker(code)) return {Kind::kStandalone, code, at + 2, {}};
  if (at + 4 > bytes.size()) return {Kind::kShort, code, at + 4, {}};
  const size_t length = size_t{bytes[at + 2]} << 8 | bytes[at + 3];
  if (length < 2) return {Kind::kBroken, code, at, {}};
  if (at + 2 + length > bytes.size()) return {Kind::kShort, code, at + 2 + length, {}};
  return {Kind::kSegment, code, at + 2 + length, bytes.subspan(at + 4, length - 2)};
}

bool BeginsWith(std::span<const uint8_t> data, std::string_view text) {
  return data.size() >= text.size() &&
         std::equal(text.begin(), text.end(), data.begin(),
                    [](char a, uint8_t b) { return static_cast<uint8_t>(a) == b; });
}

std::string MarkerName(uint8_t code) {
  std::string_view name;
  switch (code) {
    case kSoi:
      name = "START";
      break;
    case kApp0:
      name = "JFIF";
      break;
    case kApp1:
      name = "METADATA";
      break;
    case kApp2:
      name = "ICC_PROFILE";
      break;
    case kApp14:
      name = "ADOBE_PIC";
      break;
    case kDqt:
      name = "QUANTIZATION";
      break;
    case kSos:
      name = "SOS_ENTROPY";
      break;
    case kEoi:
      name = "END";
      break;
    case kSof0:
      name = "SOF_BASELINE";
      break;
    case kSof2:
      name = "SOF_PROGRESSIVE";
      break;
    case kDht:
      name = "HUFFMAN";
      break;
    case kDri:
      name = "DRI";
      break;
    case kCom:
      name = "COMMENT";
      break;
    case kApp13:
      name = "PHOTOSHOP_DATA";
      break;
    default:
      if (IsRestartMarker(code)) return " (RST" + std::to_string(code - kRst0) + ")";
      return {};
  }
  return " (" + std::string(name) + ")";
}

bool JfifGivesDensity(std::span<const uint8_t> app0Payload) {
  // "JFIF" and a NUL, the version (2 bytes), the units, X and Y density (2 bytes each,
  // big-endian), the thumbnail's width and height.
  constexpr std::string_view kIdentifier("JFIF\0", 5);
  constexpr size_t kHeaderLength = 14;
  constexpr size_t kUnits = 7;
  const std::span<const uint8_t> p = app0Payload;
  if (p.size() < kHeaderLength || !std::equal(kIdentifier.begin(), kIdentifier.end(), p.begin()))
    return false;
  const bool units = p[kUnits] == 1 || p[kUnits] == 2;
  return units && (p[8] | p[9]) != 0 && (p[10] | p[11]) != 0;
}

}  // namespace keelpack
