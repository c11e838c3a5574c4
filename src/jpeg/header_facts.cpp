#include "jpeg/header_facts.h"

#include <string_view>

#include "exif/orientation_exif.h"
#include "jpeg/markers.h"

namespace keelpack {
namespace {

// A JFIF segment holds its identifier, version, units, densities and thumbnail size at least.
constexpr size_t kJfifHeaderLength = 14;
// A frame header: precision, height, width (2 bytes each), the number of components, then
// three bytes for each: its id, its sampling factors, its table.
constexpr size_t kFrameComponentsAt = 5;
constexpr size_t kFrameIdsAt = 6;
constexpr size_t kComponentSpecLength = 3;

bool IsFrameHeader(uint8_t code) {
  return code >= kSof0 && code <= 0xCF && code != kDht && code != 0xC8 && code != 0xCC;
}

}  // namespace

HeaderFacts ReadHeaderFacts(std::span<const uint8_t> file) {
  HeaderFacts facts;
  bool exifSeen = false;
  for (size_t at = 2; at + 4 <= file.size();) {
    // The first scan begins at its marker whatever its length says; the walk judges that.
    if (file[at] == kMarkerLead && file[at + 1] == kSos) {
      facts.complete = facts.components > 0;
      facts.firstScan = at;
      break;
    }
    const MarkerStep step = ReadMarkerStep(file, at);
    if (step.kind == MarkerStep::Kind::kFillByte) {
      at = step.end;
      continue;
    }
    if (!step.segment()) break;
    const std::span<const uint8_t> data = step.data;
    if (step.code == kApp0 && data.size() >= kJfifHeaderLength &&
        BeginsWith(data, std::string_view("JFIF\0", 5))) {
      if (!facts.jfif) facts.jfifDensity = JfifGivesDensity(data);
      facts.jfif = true;
    }
    if (step.code == kApp1 && !exifSeen && BeginsWith(data, "Exif")) {
      exifSeen = true;
      facts.exifOrientation = ExifOrientation(data);
    }
    if (step.code == kApp14 && BeginsWith(data, "Adobe")) ++facts.adobeSegments;
    if (IsFrameHeader(step.code) && data.size() > kFrameComponentsAt) {
      facts.components = data[kFrameComponentsAt];
      facts.rgbIds = facts.components == 3 &&
                     data.size() >= kFrameIdsAt + 3 * kComponentSpecLength &&
                     data[kFrameIdsAt] == 'R' && data[kFrameIdsAt + kComponentSpecLength] == 'G' &&
                     data[kFrameIdsAt + 2 * kComponentSpecLength] == 'B';
    }
    at = step.end;
  }
  return facts;
}

}  // namespace keelpack
