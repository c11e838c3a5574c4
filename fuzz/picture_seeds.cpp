// Writes first inputs for the rewriter's and the re-encoder's fuzzers: a choice byte, then real
// pictures of several layouts (with the segments a rewrite keeps, and Exif orientations to turn
// by) and hand-built segment mixes.
#include <cstdio>
#include <string>

#include "jpeg/markers.h"
#include "support/exif_builder.h"
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
  auto seed = [&](uint8_t options, const Bytes& file) {
    WriteFile(folder + "/seed" + std::to_string(count++), Concat({{options}, file}));
  };
  seed(0, EncodePicture({.width = 16, .height = 16}));
  seed(4, EncodePicture({.width = 24, .height = 16, .progressive = true}));
  seed(1, EncodePicture({.width = 32, .height = 16, .restartInterval = 1}));
  seed(2, JpegBuilder()
              .Soi()
              .Raw(SegmentBytes(kApp1,
                                ToBytes(std::string("Exif\0\0MM\0\x2A\0\0\0\x08\0\0\0\0\0\0", 20))))
              .Raw(SegmentBytes(kApp2, ToBytes(std::string("ICC_PROFILE\0\1\1 sRGB IEC", 24))))
              .Raw(SegmentBytes(kApp14, Bytes{'A', 'd', 'o', 'b', 'e', 0, 100, 0, 0, 0, 0, 1}))
              .Segment(kDqt, 65)
              .Segment(kDqt, 65)
              .Sof0()
              .Segment(kDht, 20)
              .Segment(kDht, 20)
              .Sos()
              .Entropy({1, 0xFF, 0, 2, 0xFF, 0xD0, 3})
              .Segment(kCom, 5)
              .Eoi()
              .Raw({9, 9, 9})
              .bytes());
  seed(0, Concat({{0xFF, 0xD8, 0xFF, 0xE1, 0x00, 0x10},
                  ToBytes(std::string("Exif\0\0MM\0\x2A\0\0\0\x08", 14)),
                  JpegBuilder().Sof0().Sos().Entropy({1, 2}).Raw({0xFF, 0xFF}).Eoi().bytes()}));
  const Bytes app1 =
      SegmentBytes(kApp1, ToBytes(std::string("Exif\0\0MM\0\x2A\0\0\0\x08\0\0\0\0\0\0", 20)));
  auto withSegment = [&](Bytes picture) {
    picture.insert(picture.begin() + 2, app1.begin(), app1.end());
    return picture;
  };
  seed(0, withSegment(EncodePicture({.width = 16, .height = 16})));
  seed(1, withSegment(EncodePicture({.width = 24, .height = 16, .progressive = true})));
  seed(1, EncodePicture({.width = 16, .height = 24, .grayscale = true}));
  seed(1, EncodePicture({.width = 16, .height = 528, .quality = 50}));  // compared on samples
  // Pictures to turn upright (option bit 16), with the Exif block kept and deleted.
  ExifBuilder turned;
  turned.Add(ExifBuilder::kIfd0, turned.Short(274, 6))
      .Add(ExifBuilder::kIfd0, turned.Rational(282, 300, 1));
  seed(16, WithExifFirst(EncodePicture({.width = 32, .height = 16}), turned.Build()));
  seed(18 + 32, WithExifFirst(EncodePicture({.width = 16, .height = 16, .progressive = true}),
                              turned.Build()));
  return 0;
}
