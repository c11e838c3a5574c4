#include "jpeg/colour_policy.h"

#include <algorithm>
#include <string_view>

namespace keelpack {
namespace {

// Profile descriptions that name the standard sRGB space; such a profile tells a viewer
// nothing it would not assume anyway.
constexpr std::string_view kStandardSrgbNames[] = {"IEC sRGB", "sRGB IEC", "EPSON  sRGB",
                                                   "Nikon sRGB"};
// A profile header's colour-space field "CMYK" directly followed by its connection space "Lab".
constexpr std::string_view kCmykLabMark = "CMYKLab";

constexpr size_t kAdobeTransformIndex = 11;
constexpr uint8_t kTransformYCbCr = 1;

bool Contains(std::span<const uint8_t> data, std::string_view text) {
  return std::search(data.begin(), data.end(), text.begin(), text.end(),
                     [](uint8_t a, char b) { return a == static_cast<uint8_t>(b); }) != data.end();
}

}  // namespace

bool AdobeSegmentWrittenBack(std::span<const uint8_t> data, const ColourState& state) {
  return data[kAdobeTransformIndex] != kTransformYCbCr ||
         state.iccFlags == ColourState::kSawProfile;
}

bool ColoursKeptWithoutAdobe(const HeaderFacts& facts, size_t adobeOffset) {
  if (!facts.complete) return false;
  if (adobeOffset > facts.firstScan) return true;
  if (facts.adobeSegments > 1) return false;  // the last one decides
  return facts.components == 1 || (facts.components == 3 && (facts.jfif || !facts.rgbIds));
}

bool ColourProfileWrittenBack(std::span<const uint8_t> data, ColourState& state) {
  state.iccFlags |= ColourState::kSawProfile;
  const bool standard = std::any_of(std::begin(kStandardSrgbNames), std::end(kStandardSrgbNames),
                                    [&](std::string_view name) { return Contains(data, name); });
  if (standard) {
    state.iccFlags |= ColourState::kSawStandardSrgb;
    state.iccDropRest = true;
    return false;
  }
  if (!state.iccDropRest && !Contains(data, kCmykLabMark)) return true;
  state.iccDropRest = true;
  return false;
}

}  // namespace keelpack
