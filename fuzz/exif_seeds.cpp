// Writes the Exif fuzzer's first inputs into the folder given as the only argument: camera
// blocks in both byte orders, and blocks with the faults the reduction must survive.
#include <cstdio>
#include <string>

#include "support/exif_builder.h"
#include "support/temp_dir.h"

namespace {

using keelpack::test::Bytes;
using keelpack::test::ExifBuilder;
using keelpack::test::ToBytes;
constexpr int kIfd0 = ExifBuilder::kIfd0;

Bytes SelfPointing(bool bigEndian, bool byLink) {
  ExifBuilder b(bigEndian);
  const int exif = b.AddDirectory();
  b.Add(kIfd0, b.Ascii(272, "Loop")).Add(kIfd0, ExifBuilder::Pointer(34665, exif));
  b.Add(exif, b.Rational(33434, 1, 125));
  if (byLink) {
    b.Link(exif, exif);
  } else {
    b.Add(exif, ExifBuilder::Pointer(34665, exif));
  }
  return b.Build();
}

Bytes Malformed(bool bigEndian) {
  ExifBuilder b(bigEndian);
  const int exif = b.AddDirectory();
  const int gps = b.AddDirectory();
  b.Add(kIfd0, ExifBuilder::Raw(272, 2, 40, 0))         // offset 0
      .Add(kIfd0, ExifBuilder::Raw(271, 2, 40, 60000))  // past the end
      .Add(kIfd0, ExifBuilder::Raw(33434, 13, 1, 0))    // no such type
      .Add(kIfd0, ExifBuilder::Raw(33437, 5, 0xFFFFFFFF, 8))
      .Add(kIfd0, ExifBuilder::Pointer(34853, gps))
      .Add(kIfd0, ExifBuilder::Pointer(34665, exif))
      .Add(kIfd0, ExifBuilder::Raw(40965, 4, 1, 0xFFFFFFF0));
  b.Add(exif, b.Short(40961, 0xFFFF))
      .Add(exif, b.Short(274, 1))
      .Add(exif, ExifBuilder::Undefined(37510, ToBytes(std::string("ASCII\0\0\0oppo_32", 15))))
      .Add(exif, ExifBuilder::Undefined(
                     37510, ToBytes(std::string("ASCII\0\0\0", 8) + std::string(40, 'f'))))
      .Add(exif, ExifBuilder::Undefined(
                     37510, ToBytes(std::string("ASCII\0\0\0", 8) + std::string(201, 'A'))))
      .Add(exif, ExifBuilder::Undefined(37510, ToBytes("UNICODE\0 a comment ")))
      .Add(exif, ExifBuilder::Raw(40962, 4, 1, 4000))
      .Add(exif, b.Ascii(42033, "SN 12345"));
  b.Add(gps, b.Short(1, 0x4E));
  return b.Build();
}

Bytes ManyEntries(bool bigEndian, int count) {
  ExifBuilder b(bigEndian);
  for (int i = 0; i < count; ++i) b.Add(kIfd0, b.Short(static_cast<uint16_t>(50000 + i), 1));
  return b.Build();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <seed folder>\n", argv[0]);
    return 2;
  }
  const std::string folder = argv[1];
  int n = 0;
  const auto write = [&](const Bytes& payload) {
    keelpack::test::WriteFile(folder + "/seed" + std::to_string(n++) + ".bin", payload);
  };
  for (const bool bigEndian : {false, true}) {
    const Bytes camera = keelpack::test::CameraExifBlock(bigEndian);
    write(camera);
    write(Bytes(camera.begin(), camera.begin() + static_cast<long>(camera.size() / 3)));  // cut
    write(SelfPointing(bigEndian, true));
    write(SelfPointing(bigEndian, false));
    write(Malformed(bigEndian));
    write(ManyEntries(bigEndian, 201));
  }
  return 0;
}
