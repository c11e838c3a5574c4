#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace keelpack {

// What a decoder learns about a picture's colours from the segments before its first scan,
// and what a viewer learns about its density and orientation.
struct HeaderFacts {
  bool complete = false;  // the segments lead cleanly up to the first scan
  size_t firstScan = 0;   // offset of the first SOS marker
  int adobeSegments = 0;
  bool jfif = false;  // a JFIF APP0 segment, which makes a 3-component picture YCbCr
  int components = 0;
  bool rgbIds = false;       // the components are named 'R', 'G', 'B'
  bool jfifDensity = false;  // the first JFIF segment gives the picture a density
  int exifOrientation = 0;   // of the first Exif segment, 1 to 8; 0 for none
};

// Reads the segments of `file` (from its start, up to its first scan at least) from behind the
// SOI to the first SOS marker. A stray byte, a standalone marker or a segment that does not fit
// ends the reading: the facts are then not complete.
HeaderFacts ReadHeaderFacts(std::span<const uint8_t> file);

}  // namespace keelpack
