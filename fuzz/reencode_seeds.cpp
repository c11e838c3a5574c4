// Writes first inputs for the re-encoder's fuzzer: real pictures of several layouts, with
// the segments a rewrite keeps.
#include <cstdio>
#include <string>

#include "jpeg/markers.h"
#include "support/jpeg_builder.h"
#include "support/pictures.h"
#include "support/temp_dir.h"

using namespace keelpack;
using namespace keelpack::test;

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <folder>\n", argv[0]);
    return 2;
  }
  const std::string folder = argv[1];
  int count = 0;
  auto seed = [&](uint8_t mode, const Bytes& file) {
    WriteFile(folder + "/seed" + std::to_string(count++), Concat({{mode}, file}));
  };
  const Bytes app1 = SegmentBytes(kApp1, ToBytes(std::string("Exif\0\0MM\0\x2A\0\0\0\x08\0\0\0\0\0\0", 20)));
  auto withSegment = [&](Bytes picture) {
    picture.insert(picture.begin() + 2, app1.begin(), app1.end());
    return picture;
  };
  seed(0, withSegment(EncodePicture({.width = 16, .height = 16})));
  seed(1, withSegment(EncodePicture({.width = 24, .height = 16, .progressive = true})));
  seed(0, EncodePicture({.width = 32, .height = 16, .restartInterval = 1}));
  seed(1, EncodePicture({.width = 16, .height = 24, .grayscale = true}));
  seed(1, EncodePicture({.width = 16, .height = 528, .quality = 50}));  // compared on samples
  return 0;
}
