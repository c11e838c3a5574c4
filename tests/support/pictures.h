#pragma once

#include <gtest/gtest.h>

#include <optional>

#include "support/jpeg_builder.h"

namespace keelpack::test {

// A real picture, encoded by libjpeg-turbo, so that a rewritten file can be decoded and its
// pixels compared with the original's.
struct PictureRecipe {
  int width = 96;
  int height = 64;
  int quality = 90;
  bool progressive = false;
  int restartInterval = 0;  // in MCUs; 0 writes no restart markers
  bool grayscale = false;
  bool rgb = false;   // stored as RGB, not YCbCr: the encoder writes an Adobe segment saying so
  unsigned seed = 1;  // varies the picture's noise, and so its entropy data
};

Bytes EncodePicture(const PictureRecipe& recipe);

// A real picture with a comment segment of `commentLength` bytes right after its start
// marker: a file that a rewrite makes smaller while keeping every pixel.
inline Bytes ShrinkablePicture(const PictureRecipe& recipe, size_t commentLength = 16) {
  Bytes picture = EncodePicture(recipe);
  const Bytes comment = SegmentBytes(0xFE, Bytes(commentLength, 'c'));
  picture.insert(picture.begin() + 2, comment.begin(), comment.end());  // after SOI
  return picture;
}

// The decoded RGB pixels with width and height, or nothing when the decoder reports an error,
// or any warning when `strict`.
struct Pixels {
  int width = 0;
  int height = 0;
  Bytes rgb;
  friend bool operator==(const Pixels&, const Pixels&) = default;
};
std::optional<Pixels> DecodePixels(const Bytes& jpeg, bool strict = true);

// Whether `turned` is the picture `source` turned upright from this Exif orientation: decoded,
// its pixels are the source's as shown, within the rounding that moved blocks bring (the
// inverse DCT and the chroma upsampling round differently; a wrong turn differs by far more);
// and turned back, exactly the source's.
testing::AssertionResult TurnedFrom(const Bytes& source, const Bytes& turned, int orientation);

}  // namespace keelpack::test
