#include "support/exif_builder.h"

#include <algorithm>

namespace keelpack::test {
namespace {

constexpr uint32_t kEntry = 12;

}  // namespace

int ExifBuilder::AddDirectory() {
  directories_.emplace_back();
  return static_cast<int>(directories_.size()) - 1;
}

ExifBuilder& ExifBuilder::Add(int directory, ExifEntry entry) {
  directories_.at(directory).entries.push_back(std::move(entry));
  return *this;
}

ExifBuilder& ExifBuilder::Link(int directory, int next) {
  directories_.at(directory).next = next;
  return *this;
}

Bytes ExifBuilder::Pack(uint32_t value, int size) const {
  Bytes bytes;
  for (int i = 0; i < size; ++i) bytes.push_back(static_cast<uint8_t>(value >> (8 * i)));
  if (bigEndian_) std::reverse(bytes.begin(), bytes.end());
  return bytes;
}

Bytes ExifBuilder::Build() const {
  // First pass: where every directory and out-of-line value goes.
  std::vector<uint32_t> directoryAt, valueAt;
  uint32_t position = 8;
  for (const Directory& directory : directories_) {
    directoryAt.push_back(position);
    position += static_cast<uint32_t>(2 + kEntry * directory.entries.size() + 4);
    for (const ExifEntry& entry : directory.entries) {
      valueAt.push_back(position);
      if (entry.value.size() > 4) position += static_cast<uint32_t>(entry.value.size() + entry.value.size() % 2);
    }
  }
  Bytes tiff = Concat({ToBytes(bigEndian_ ? "MM" : "II"), Pack(42, 2), Pack(8, 4)});
  tiff.resize(position, 0);
  const auto put = [&](uint32_t at, const Bytes& bytes) { std::copy(bytes.begin(), bytes.end(), tiff.begin() + at); };
  size_t value = 0;
  for (size_t d = 0; d < directories_.size(); ++d) {
    const Directory& directory = directories_[d];
    uint32_t at = directoryAt[d];
    put(at, Pack(static_cast<uint32_t>(directory.entries.size()), 2));
    for (at += 2; const ExifEntry& entry : directory.entries) {
      put(at, Concat({Pack(entry.tag, 2), Pack(entry.type, 2), Pack(entry.count, 4)}));
      if (entry.field || entry.directory >= 0) {
        put(at + 8, Pack(entry.field ? *entry.field : directoryAt.at(entry.directory), 4));
      } else if (entry.value.size() <= 4) {
        put(at + 8, entry.value);
      } else {
        put(at + 8, Pack(valueAt[value], 4));
        put(valueAt[value], entry.value);
      }
      at += kEntry;
      ++value;
    }
    put(at, Pack(directory.next >= 0 ? directoryAt.at(directory.next) : 0, 4));
  }
  return Concat({ToBytes(std::string_view("Exif\0\0", 6)), tiff});
}

Bytes CameraExifBlock(bool bigEndian) {
  ExifBuilder b(bigEndian);
  const int exif = b.AddDirectory(), interop = b.AddDirectory(), thumbnail = b.AddDirectory();
  for (ExifEntry entry : {b.Ascii(271, "NIKON CORPORATION"), b.Ascii(272, "NIKON D70"), b.Short(274, 6),
                          b.Rational(282, 300, 1), b.Rational(283, 300, 1), b.Ascii(305, "Ver.2.00"),
                          b.Ascii(306, "2024:05:06 07:08:09"), ExifBuilder::Pointer(34665, exif)})
    b.Add(ExifBuilder::kIfd0, entry);
  for (ExifEntry entry : {b.Rational(33434, 1, 250), b.Rational(33437, 28, 10), b.Short(34855, 200),
                          b.Ascii(36867, "2024:05:06 07:08:09"),
                          ExifBuilder::Undefined(37500, ToBytes("private camera data")),
                          ExifBuilder::Pointer(40965, interop)})
    b.Add(exif, entry);
  b.Add(interop, b.Ascii(1, "R98")).Add(interop, ExifBuilder::Undefined(2, ToBytes("0100")));
  // The thumbnail's image as the value of its JPEGInterchangeFormat entry.
  b.Add(thumbnail, b.Short(259, 6))
      .Add(thumbnail, ExifBuilder::Undefined(513, {0xFF, 0xD8, 0xFF, 0xDB, 0x00, 0x43, 0x00, 0xFF, 0xD9}));
  return b.Link(ExifBuilder::kIfd0, thumbnail).Build();
}

std::optional<ExifSegment> FindExifSegment(const Bytes& jpeg) {
  for (size_t at = 2; at + 4 <= jpeg.size() && jpeg[0] == 0xFF && jpeg[1] == 0xD8 && jpeg[at] == 0xFF;) {
    const uint8_t code = jpeg[at + 1];
    const size_t length = size_t{jpeg[at + 2]} << 8 | jpeg[at + 3];
    if (code == 0xFF) {  // a fill byte before a marker
      ++at;
    } else if (code == 0xDA || code == 0xD9 || length < 2 || at + 2 + length > jpeg.size()) {
      break;
    } else if (code == 0xE1 && length >= 6 && std::equal(jpeg.begin() + static_cast<long>(at) + 4,
                                                         jpeg.begin() + static_cast<long>(at) + 8, "Exif")) {
      return ExifSegment{.start = at, .payloadLength = length - 2};
    } else {
      at += 2 + length;
    }
  }
  return std::nullopt;
}

}  // namespace keelpack::test
