#include "jpeg/turn_jpeg.h"

#include <turbojpeg.h>

#include <algorithm>
#include <array>
#include <memory>
#include <optional>
#include <string_view>

#include "jpeg/entropy_copy.h"
#include "jpeg/markers.h"
#include "jpeg/reencode.h"
#include "platform/text.h"

namespace keelpack {
namespace {

using Segments = std::vector<std::span<const uint8_t>>;

// What the library needs to turn a picture stored with each Exif orientation upright
// (Exif 2.32, Orientation): 2 mirrors left to right, 3 turns by a half, 4 mirrors top to
// bottom, 5 mirrors along the main diagonal, 6 turns a quarter clockwise, 7 mirrors along the
// other diagonal, 8 turns a quarter anticlockwise.
constexpr std::array<int, 9> kTransformFor = {TJXOP_NONE,  TJXOP_NONE,      TJXOP_HFLIP,
                                              TJXOP_ROT180, TJXOP_VFLIP,    TJXOP_TRANSPOSE,
                                              TJXOP_ROT90,  TJXOP_TRANSVERSE, TJXOP_ROT270};

// The library holds every coefficient of the picture twice while it moves them, the source's
// and the turned; pictures that could need more memory than this are left as they are.
constexpr uint64_t kMemoryLimit = uint64_t{2} << 30;
constexpr uint64_t kCoefficientBytesPerBlock = 64 * 2;
constexpr uint64_t kCopiesHeld = 2;
constexpr uint64_t kMostComponents = 4;
constexpr uint64_t kPixelsPerBlock = 64;
// A coded block takes at least one bit of entropy-coded data.
constexpr uint64_t kBlocksPerInputByte = 8;

bool IsMetadata(uint8_t code) { return (code >= kApp0 && code <= kApp0 + 15) || code == kCom; }

// An APP1 segment's length field counts itself.
constexpr size_t kMaxSegmentData = 0xFFFF - 2;

size_t SegmentLength(std::span<const uint8_t> jpeg, size_t at) {
  return size_t{jpeg[at + 2]} << 8 | jpeg[at + 3];
}

// The whole APPn and COM segments of `jpeg` in file order, among the tables and between scans,
// up to EOI; nothing when its segments cannot be followed that far.
std::optional<Segments> MetadataSegments(std::span<const uint8_t> jpeg) {
  Segments found;
  size_t at = 2;  // behind SOI
  while (at + 2 <= jpeg.size() && jpeg[at] == kMarkerLead) {
    const uint8_t code = jpeg[at + 1];
    if (code == kEoi) return found;
    if (IsStandaloneMarker(code).standalone) {  // a fill byte, a restart or TEM marker
      at += code == kFill ? 1 : 2;
      continue;
    }
    if (at + 4 > jpeg.size()) break;
    const size_t length = SegmentLength(jpeg, at);
    if (length < 2 || at + 2 + length > jpeg.size()) break;
    if (IsMetadata(code)) found.push_back(jpeg.subspan(at, 2 + length));
    at += 2 + length;
    if (code == kSos) {
      const EntropyEnd end = FindEntropyEnd(jpeg.subspan(at), false, false);
      if (!end.markerFound) break;
      at += end.copied;
    }
  }
  return std::nullopt;
}

// `turned` with the segments the encoder put behind SOI (JFIF or Adobe, of its own making)
// replaced by `metadata`.
std::vector<uint8_t> WithMetadata(std::span<const uint8_t> turned, const Segments& metadata) {
  size_t at = 2;
  while (at + 4 <= turned.size() && turned[at] == kMarkerLead && IsMetadata(turned[at + 1])) {
    at += 2 + SegmentLength(turned, at);
  }
  std::vector<uint8_t> result(turned.begin(), turned.begin() + 2);
  for (const std::span<const uint8_t> segment : metadata) platform::Append(result, segment);
  platform::Append(result, turned.subspan(std::min(at, turned.size())));
  return result;
}

struct HandleCloser {
  void operator()(void* handle) const { tjDestroy(handle); }
};
struct BufferFree {
  void operator()(unsigned char* buffer) const { tjFree(buffer); }
};

// The library's turn: the picture data coded afresh as a progressive picture, and of the
// segments before the tables only the ones the encoder makes itself. Progressive coding takes
// every coefficient a decoder can read, also from damaged data that sequential coding cannot
// hold; the library's sequential coder with its standard tables would code such coefficients
// as something else without a word.
Turned Transform(std::span<const uint8_t> jpeg, int orientation) {
  Turned result;
  const std::unique_ptr<void, HandleCloser> handle(tjInitTransform());
  if (!handle) {
    result.declined = tjGetErrorStr2(nullptr);
    return result;
  }
  const auto size = static_cast<unsigned long>(jpeg.size());
  int width = 0, height = 0, subsampling = 0, colourspace = 0;
  if (tjDecompressHeader3(handle.get(), jpeg.data(), size, &width, &height, &subsampling, &colourspace) != 0) {
    result.declined = tjGetErrorStr2(handle.get());
    return result;
  }
  // The blocks of the first component; every other has as many at most.
  const uint64_t blocks = uint64_t(width) * uint64_t(height) / kPixelsPerBlock;
  if (blocks > kBlocksPerInputByte * jpeg.size() + 64) {
    result.declined = "the picture is larger than its data";
    return result;
  }
  if (blocks * kMostComponents * kCoefficientBytesPerBlock * kCopiesHeld > kMemoryLimit) {
    result.declined = "the picture is too large to turn in memory";
    return result;
  }

  tjtransform transform{};
  transform.op = kTransformFor[static_cast<size_t>(orientation)];
  transform.options = TJXOPT_PERFECT | TJXOPT_COPYNONE | TJXOPT_PROGRESSIVE;
  unsigned char* buffer = nullptr;
  unsigned long turnedSize = 0;
  const int status = tjTransform(handle.get(), jpeg.data(), size, 1, &buffer, &turnedSize, &transform,
                                 TJFLAG_STOPONWARNING | TJFLAG_LIMITSCANS);
  const std::unique_ptr<unsigned char, BufferFree> owned(buffer);
  if (status != 0) {
    const std::string message = tjGetErrorStr2(handle.get());
    if (message.find("not perfect") != std::string::npos && subsampling >= 0 && subsampling < TJ_NUMSAMP) {
      result.declined = "the edge blocks cannot turn without loss (" + std::to_string(width) + "x" +
                        std::to_string(height) + " pixels, blocks of " +
                        std::to_string(tjMCUWidth[subsampling]) + "x" +
                        std::to_string(tjMCUHeight[subsampling]) + ")";
    } else {
      result.declined = message;
    }
    return result;
  }
  result.bytes.assign(buffer, buffer + turnedSize);
  return result;
}

}  // namespace

Turned TurnJpeg(std::span<const uint8_t> jpeg, int orientation, OptimizeChoice coding) {
  Turned result;
  if (orientation < 2 || orientation >= static_cast<int>(kTransformFor.size())) {
    result.declined = "orientation " + std::to_string(orientation) + " asks for no turn";
    return result;
  }
  const std::optional<Segments> metadata = MetadataSegments(jpeg);
  if (!metadata) {
    result.declined = "the segments cannot be followed to the end marker";
    return result;
  }
  // The library codes every coefficient, complete or not, as a sequential picture.
  if (LeavesCoefficientsIncomplete(jpeg)) {
    result.declined = kIncompleteProgression;
    return result;
  }
  result = Transform(jpeg, orientation);
  if (!result.declined.empty()) return result;
  result.bytes = WithMetadata(result.bytes, *metadata);

  // The coding asked for: sequential with tables made for the picture, or the re-encoder's
  // progressive scripts where they beat the library's. What the re-encoder declines (the
  // coefficients of damaged data that no decoder shows alike in every orientation, a picture
  // past a job's memory) is not turned either.
  const bool progressive = coding == OptimizeChoice::kProgressive;
  Reencoded reencoded = ReencodeJpeg(result.bytes, progressive ? OptimizeChoice::kProgressive : OptimizeChoice::kHuffman);
  if (!reencoded.declined.empty()) return {{}, std::move(reencoded.declined)};
  if (!progressive || reencoded.bytes.size() < result.bytes.size()) result.bytes = std::move(reencoded.bytes);
  return result;
}

std::optional<std::vector<uint8_t>> WithExifPayload(std::span<const uint8_t> jpeg,
                                                    const std::optional<std::vector<uint8_t>>& payload) {
  if (jpeg.size() < 2 || (payload && payload->size() > kMaxSegmentData)) return std::nullopt;
  const auto begins = [&](size_t at, std::string_view text) {
    return SegmentLength(jpeg, at) >= 2 + text.size() && std::equal(text.begin(), text.end(), jpeg.begin() + static_cast<std::ptrdiff_t>(at + 4));
  };
  // Exif 2.32, 4.5.4: the Exif segment follows SOI, or the JFIF segment that JFIF puts first.
  size_t at = 2, from = 0, to = 0, behindSoi = 2;
  for (;;) {
    if (at + 4 > jpeg.size() || jpeg[at] != kMarkerLead) return std::nullopt;
    const uint8_t code = jpeg[at + 1];
    if (IsStandaloneMarker(code).standalone) {  // a fill byte, a restart or TEM marker
      at += code == kFill ? 1 : 2;
      continue;
    }
    const size_t end = at + 2 + SegmentLength(jpeg, at);
    if (code == kSos) break;
    if (end < at + 4 || end > jpeg.size()) return std::nullopt;
    if (code == kApp1 && begins(at, "Exif")) {
      from = at, to = end;
      break;
    }
    if (at == 2 && code == kApp0 && begins(at, std::string_view("JFIF\0", 5))) behindSoi = end;
    at = end;
  }
  if (to == 0) from = to = behindSoi;
  std::vector<uint8_t> result(jpeg.begin(), jpeg.begin() + static_cast<std::ptrdiff_t>(from));
  if (payload) {
    const size_t length = payload->size() + 2;
    platform::Append(result, std::array<uint8_t, 4>{kMarkerLead, kApp1, static_cast<uint8_t>(length >> 8), static_cast<uint8_t>(length)});
    platform::Append(result, *payload);
  }
  platform::Append(result, jpeg.subspan(to));
  return result;
}

}  // namespace keelpack
