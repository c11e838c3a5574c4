#pragma once

namespace keelpack {

// The choices a rewrite is steered by. Each one is also an option the user sets, stored as its
// number (0, 1 or 2 in the order below) in the settings file and used as the position of its
// control in the window, so the order is fixed.

// What survives of an APP1 "Exif" segment (settings key `exif`).
enum class ExifChoice {
  kKeep,    // the whole block, as it was
  kReduce,  // the tags a photographer cares about
  kDelete,  // nothing but what keeps the picture upright (and its resolution, when asked)
};

// Which colour profiles go (settings key `icc`, the three states of its check box).
enum class IccPolicy { kAutomatic, kKeepAll, kForceRemoval };

// How the entropy-coded data reaches the output (settings key `optimize`).
enum class OptimizeChoice {
  kOff,          // copied byte for byte
  kHuffman,      // coded again with Huffman tables made for it
  kProgressive,  // progressive, with tables made for each scan
};

}  // namespace keelpack
