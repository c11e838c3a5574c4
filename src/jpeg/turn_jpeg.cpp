#include "jpeg/turn_jpeg.h"

#include <turbojpeg.h>

#include <algorithm>
#include <array>
#include <memory>
#include <mutex>
#include <optional>
#include <string_view>

#include "jpeg/entropy_copy.h"
#include "jpeg/markers.h"
#include "jpeg/reencode.h"
#include "platform/memory_budget.h"
#include "platform/text.h"

namespace keelpack {
namespace {

using Segments = std::vector<std::span<const uint8_t>>;

// What the library needs to turn a picture stored with each Exif orientation upright
// (Exif 2.32, Orientation): 2 mirrors left to right, 3 turns by a half, 4 mirrors top to
// bottom, 5 mirrors along the main diagonal, 6 turns a quarter clockwise, 7 mirrors along the
// other diagonal, 8 turns a quarter anticlockwise.
constexpr std::array<int, 9> kTransformFor = {TJXOP_NONE,   TJXOP_NONE,       TJXOP_HFLIP,
                                              TJXOP_ROT180, TJXOP_VFLIP,      TJXOP_TRANSPOSE,
                                              TJXOP_ROT90,  TJXOP_TRANSVERSE, TJXOP_ROT270};

// The library holds every coefficient of the picture twice while it moves them, the source's
// and the turned, beside the picture it turns and the turned picture it makes. A picture that
// needs no more than a job's picture budget for that turns at once. A larger one, up to the
// coefficients of a 24-megapixel photo (4:2:0) or a 12-megapixel one without subsampling,
// which every phone takes, waits for the one turn at a time that may take this much: a run of
// many jobs then holds at most one such turn beside what its jobs hold anyway.
constexpr uint64_t kLargeTurnBudget = uint64_t{176} << 20;
std::mutex largeTurn;
constexpr uint64_t kCoefficientCopies = 2;
constexpr uint64_t kPictureCopies = 2;
constexpr uint64_t kMostComponents = 4;
constexpr uint64_t kBlockSide = 8;
constexpr uint64_t kPixelsPerBlock = kBlockSide * kBlockSide;
// A coded block takes at least one bit of entropy-coded data.
constexpr uint64_t kBlocksPerInputByte = 8;

bool IsMetadata(uint8_t code) { return (code >= kApp0 && code <= kApp0 + 15) || code == kCom; }

// The whole APPn and COM segments of `jpeg` in file order, among the tables and between scans,
// up to EOI; nothing when its segments cannot be followed that far.
std::optional<Segments> MetadataSegments(std::span<const uint8_t> jpeg) {
  Segments found;
  size_t at = 2;  // behind SOI
  for (;;) {
    const MarkerStep step = ReadMarkerStep(jpeg, at);
    if (step.kind == MarkerStep::Kind::kStandalone && step.code == kEoi) return found;
    if (step.kind == MarkerStep::Kind::kFillByte || step.kind == MarkerStep::Kind::kStandalone) {
      at = step.end;  // a fill byte, a restart or TEM marker
      continue;
    }
    if (!step.segment()) break;
    if (IsMetadata(step.code)) found.push_back(jpeg.subspan(at, step.end - at));
    at = step.end;
    if (step.code == kSos) {
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
  for (MarkerStep step = ReadMarkerStep(turned, at); step.segment() && IsMetadata(step.code);
       step = ReadMarkerStep(turned, at)) {
    at = step.end;
  }
  std::vector<uint8_t> result(turned.begin(), turned.begin() + 2);
  for (const std::span<const uint8_t> segment : metadata) platform::Append(result, segment);
  platform::Append(result, turned.subspan(std::min(at, turned.size())));
  return result;
}

// The DCT blocks of all the picture's components (ITU T.81, A.2): in each MCU, the luminance
// (and the black of a four-colour picture) has a block for every 8x8 of its pixels, each other
// component one block. A sampling the library does not name counts as four full components.
uint64_t Blocks(int width, int height, int subsampling, int colourspace) {
  const auto across = [](uint64_t pixels, uint64_t unit) { return (pixels + unit - 1) / unit; };
  const uint64_t lumaBlocks =
      across(uint64_t(width), kBlockSide) * across(uint64_t(height), kBlockSide);
  if (colourspace == TJCS_GRAY) return lumaBlocks;
  if (subsampling < 0 || subsampling >= TJ_NUMSAMP) return lumaBlocks * kMostComponents;
  const uint64_t mcuWidth = uint64_t(tjMCUWidth[subsampling]),
                 mcuHeight = uint64_t(tjMCUHeight[subsampling]);
  const uint64_t mcus = across(uint64_t(width), mcuWidth) * across(uint64_t(height), mcuHeight);
  const uint64_t lumaPerMcu = mcuWidth * mcuHeight / kPixelsPerBlock;
  const bool fourColours = colourspace == TJCS_CMYK || colourspace == TJCS_YCCK;
  return mcus * (lumaPerMcu * (fourColours ? 2 : 1) + 2);
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
// A turn that needs more than a job's picture budget holds `gate` locked, and the re-encoding of
// its result may take `budget`.
Turned Transform(std::span<const uint8_t> jpeg, int orientation, std::unique_lock<std::mutex>& gate,
                 uint64_t& budget) {
  Turned result;
  const std::unique_ptr<void, HandleCloser> handle(tjInitTransform());
  if (!handle) {
    result.declined = tjGetErrorStr2(nullptr);
    return result;
  }
  const auto size = static_cast<unsigned long>(jpeg.size());
  int width = 0, height = 0, subsampling = 0, colourspace = 0;
  if (tjDecompressHeader3(handle.get(), jpeg.data(), size, &width, &height, &subsampling,
                          &colourspace) != 0) {
    result.declined = tjGetErrorStr2(handle.get());
    return result;
  }
  // The blocks of the first component; every other has as many at most.
  const uint64_t blocks = uint64_t(width) * uint64_t(height) / kPixelsPerBlock;
  if (blocks > kBlocksPerInputByte * jpeg.size() + 64) {
    result.declined = "the picture is larger than its data";
    return result;
  }
  const uint64_t memory = kCoefficientCopies * Blocks(width, height, subsampling, colourspace) *
                              platform::kBytesPerBlock +
                          kPictureCopies * jpeg.size();
  if (memory > platform::kPictureWorkBudget) {
    if (memory > kLargeTurnBudget) {
      result.declined = kNoRoomToReencode;
      return result;
    }
    gate.lock();
    budget = kLargeTurnBudget;
  }

  // The library codes every coefficient, complete or not, as a sequential picture.
  if (LeavesCoefficientsIncomplete(jpeg)) {
    result.declined = kIncompleteProgression;
    return result;
  }

  tjtransform transform{};
  transform.op = kTransformFor[static_cast<size_t>(orientation)];
  transform.options = TJXOPT_PERFECT | TJXOPT_COPYNONE | TJXOPT_PROGRESSIVE;
  unsigned char* buffer = nullptr;
  unsigned long turnedSize = 0;
  const int status = tjTransform(handle.get(), jpeg.data(), size, 1, &buffer, &turnedSize,
                                 &transform, TJFLAG_STOPONWARNING | TJFLAG_LIMITSCANS);
  const std::unique_ptr<unsigned char, BufferFree> owned(buffer);
  if (status != 0) {
    const std::string message = tjGetErrorStr2(handle.get());
    if (message.find("not perfect") != std::string::npos && subsampling >= 0 &&
        subsampling < TJ_NUMSAMP) {
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

bool TurnMayFit(uint64_t bytes) { return kPictureCopies * bytes <= platform::kPictureWorkBudget; }

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
  std::unique_lock gate(largeTurn, std::defer_lock);
  uint64_t budget = platform::kPictureWorkBudget;
  result = Transform(jpeg, orientation, gate, budget);
  if (!result.declined.empty()) return result;
  result.bytes = WithMetadata(result.bytes, *metadata);

  // The coding asked for: sequential with tables made for the picture, or the re-encoder's
  // progressive scripts where they beat the library's. What the re-encoder declines (the
  // coefficients of damaged data that no decoder shows alike in every orientation, a picture
  // past a job's memory) is not turned either.
  const bool progressive = coding == OptimizeChoice::kProgressive;
  Reencoded reencoded = ReencodeJpeg(
      result.bytes, progressive ? OptimizeChoice::kProgressive : OptimizeChoice::kHuffman, budget);
  if (!reencoded.declined.empty()) return {{}, std::move(reencoded.declined)};
  if (!progressive || reencoded.bytes.size() < result.bytes.size())
    result.bytes = std::move(reencoded.bytes);
  return result;
}

namespace {

// Where the Exif segment stands in a JPEG, or where a new one would go.
struct ExifPlace {
  size_t from = 0;  // the segment's first byte; equal to `to` when there is none
  size_t to = 0;    // behind its last byte
};

// The first APP1 "Exif" segment before the first scan, or the place for one: right behind
// SOI, or behind the JFIF segment that JFIF puts first (Exif 2.32, 4.5.4). Nothing when the
// segments cannot be followed.
std::optional<ExifPlace> FindExifPlace(std::span<const uint8_t> jpeg) {
  if (jpeg.size() < 2) return std::nullopt;
  const auto begins = [](std::span<const uint8_t> data, std::string_view text) {
    return data.size() >= text.size() && std::equal(text.begin(), text.end(), data.begin());
  };
  size_t at = 2, behindSoi = 2;
  for (;;) {
    if (at + 4 > jpeg.size()) return std::nullopt;
    const MarkerStep step = ReadMarkerStep(jpeg, at);
    if (step.kind == MarkerStep::Kind::kFillByte || step.kind == MarkerStep::Kind::kStandalone) {
      at = step.end;  // a fill byte, a restart or TEM marker
      continue;
    }
    if (jpeg[at] == kMarkerLead && step.code == kSos) break;  // whatever its length says
    if (!step.segment()) return std::nullopt;
    if (step.code == kApp1 && begins(step.data, "Exif")) return ExifPlace{at, step.end};
    if (at == 2 && step.code == kApp0 && begins(step.data, std::string_view("JFIF\0", 5)))
      behindSoi = step.end;
    at = step.end;
  }
  return ExifPlace{behindSoi, behindSoi};
}

}  // namespace

std::optional<std::span<const uint8_t>> ExifPayloadOf(std::span<const uint8_t> jpeg) {
  const std::optional<ExifPlace> place = FindExifPlace(jpeg);
  if (!place || place->from == place->to) return std::nullopt;
  return jpeg.subspan(place->from + 4, place->to - place->from - 4);
}

std::optional<std::vector<uint8_t>> WithExifPayload(
    std::span<const uint8_t> jpeg, const std::optional<std::vector<uint8_t>>& payload) {
  if (payload && payload->size() > kMaxSegmentData) return std::nullopt;
  const std::optional<ExifPlace> place = FindExifPlace(jpeg);
  if (!place) return std::nullopt;
  std::vector<uint8_t> result(jpeg.begin(),
                              jpeg.begin() + static_cast<std::ptrdiff_t>(place->from));
  if (payload) {
    const size_t length = payload->size() + 2;
    platform::Append(result,
                     std::array<uint8_t, 4>{kMarkerLead, kApp1, static_cast<uint8_t>(length >> 8),
                                            static_cast<uint8_t>(length)});
    platform::Append(result, *payload);
  }
  platform::Append(result, jpeg.subspan(place->to));
  return result;
}

}  // namespace keelpack
