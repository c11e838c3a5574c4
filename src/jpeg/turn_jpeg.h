#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "jpeg/choices.h"

namespace keelpack {

// What turning one picture gave: the turned picture, or why there is none.
struct Turned {
  std::vector<uint8_t> bytes;  // empty when declined
  std::string declined;        // the reason, for a log line; empty when `bytes` holds the picture
};

// Turns the complete JPEG `jpeg` so that it shows as a picture with the Exif `orientation`
// (2 to 8) would show: mirrored, turned, or both, by moving its DCT coefficients (libjpeg-turbo's
// lossless transform), never by decoding them. Where the blocks at the right or bottom edge
// cannot move without loss (the picture is not made of whole MCUs the way that turn needs), it
// declines and never trims. It declines too what the decoder warns about, a progressive picture
// whose scans leave coefficients incomplete (kIncompleteProgression), a picture whose
// coefficients are too many to be held twice (a picture a little larger than one a job may
// re-encode waits for the one larger turn a process makes at a time), anything the library cannot
// transform (12-bit samples, lossless coding), and orientation 1 or a value outside 1-8.
//
// Every APPn and COM segment reaches the turned picture unchanged and in its order, right after
// SOI, and nothing else is added: the Exif block may be edited before or after (its Orientation,
// see exif/orientation_exif.h). The picture data is coded afresh, with Huffman tables made for
// it (sequential, for `coding` kOff and kHuffman) or progressive (kProgressive, as ReencodeJpeg
// does); so the turned picture is about the size of the source re-encoded, and may be larger than
// a source that was coded more tightly. The caller compares sizes.
Turned TurnJpeg(std::span<const uint8_t> jpeg, int orientation, OptimizeChoice coding);

// False when a file of `bytes` bytes is too large to be turned within a job's memory, whatever
// its picture: the picture and its turned form alone would take more. TurnJpeg declines a
// picture whose coefficients would not fit either, with kNoRoomToReencode (jpeg/reencode.h).
bool TurnMayFit(uint64_t bytes);

// `jpeg` with its first APP1 "Exif" segment (before the first scan) holding `payload` instead,
// or without it when there is no payload; with no such segment, a new one goes right behind
// SOI, or behind the JFIF segment that stands there. For the Exif block of a turned picture,
// edited after the turn. Nothing when the payload does not fit in a segment, or the segments
// before the first scan cannot be followed.
std::optional<std::vector<uint8_t>> WithExifPayload(
    std::span<const uint8_t> jpeg, const std::optional<std::vector<uint8_t>>& payload);

// The payload of the Exif segment that WithExifPayload would replace; nothing when there is
// none, or the segments before the first scan cannot be followed.
std::optional<std::span<const uint8_t>> ExifPayloadOf(std::span<const uint8_t> jpeg);

}  // namespace keelpack
