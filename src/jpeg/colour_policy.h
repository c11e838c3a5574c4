#pragma once

#include <cstdint>
#include <span>

#include "jpeg/header_facts.h"

namespace keelpack {

// What the rewriter has learnt about a file's colour profiles so far.
struct ColourState {
  static constexpr int kSawProfile = 2;  // an APP2 colour profile was met
  static constexpr int kSawStandardSrgb = 1;

  int iccFlags = 0;
  // Once set, every later colour-profile piece of the file stays removed, so that the pieces
  // of a profile split over several segments go together.
  bool iccDropRest = false;
};

// Whether an APP14 "Adobe" segment, removed by the keep decision, is written back. The
// transform flag (data byte 12) tells a decoder whether the picture is stored as YCbCr; a file
// whose only colour profiles are custom ones keeps the segment whatever the flag.
// `data` must begin "Ado" and hold at least kAdobeMinimumLength bytes.
inline constexpr size_t kAdobeMinimumLength = 12;
bool AdobeSegmentWrittenBack(std::span<const uint8_t> data, const ColourState& state);

// Whether a decoder takes the picture's colours right without the APP14 "Adobe" segment at
// `adobeOffset`, one that says YCbCr: it takes a grey picture, and three components with a JFIF
// segment or without the names 'R', 'G', 'B', as YCbCr (ITU T.872), but four components as
// CMYK, not YCCK. Once the first scan has begun, a decoder has settled the colours and the
// segment is idle.
bool ColoursKeptWithoutAdobe(const HeaderFacts& facts, size_t adobeOffset);

// Whether an APP2 "ICC" colour-profile segment, removed by the keep decision, is written back
// in automatic mode: standard sRGB profiles and CMYK/Lab profiles go, custom ones stay.
bool ColourProfileWrittenBack(std::span<const uint8_t> data, ColourState& state);

}  // namespace keelpack
