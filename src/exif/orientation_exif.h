#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

// The Exif block around the picture's orientation: reading the Orientation tag, the minimal
// block that removing the Exif data leaves, and the edits that follow the picture when it is
// turned upright. Every function reads an APP1 payload beginning "Exif" held in memory and
// checks each read against it; the blocks they make keep the input's byte order.
namespace keelpack {

class LogSink;

// Orientation values (TIFF 6.0, Orientation; Exif 2.32, table 4): 1 is the picture as stored;
// 2 to 8 ask the viewer to mirror it, turn it, or both.
inline constexpr int kOrientationAsStored = 1;
inline constexpr int kOrientationLast = 8;

// The IFD0 Orientation of the payload, 1 to 8; 0 when the payload is no readable Exif block or
// holds no valid Orientation (one SHORT of value 1 to 8).
int ExifOrientation(std::span<const uint8_t> payload);

// What removing the Exif block must not lose, as the payload of a block of its own: IFD0 alone,
// no other directory, no thumbnail, holding
//   - the Orientation, when it is 2 to 8, so that the picture still shows upright;
//   - with `keepDpi` and no density in a JFIF segment (`jfifDensity` false, see
//     JfifGivesDensity in jpeg/markers.h), XResolution and YResolution with ResolutionUnit (when
//     the source has it), so that a scan still prints at its size. They make a block of their own,
//     with an Orientation of 1 or none as well.
// Nothing when there is nothing to keep or the payload is no readable Exif block. Logs at
// level 3 what it kept.
std::optional<std::vector<uint8_t>> MinimalExifBlock(LogSink& log, std::span<const uint8_t> payload,
                                                     bool keepDpi, bool jfifDensity);

// Turns a JPEG thumbnail the way its picture was turned: the new thumbnail, or nothing when it
// cannot turn without loss.
using ThumbnailTurner =
    std::function<std::optional<std::vector<uint8_t>>(std::span<const uint8_t>)>;

// A turned picture's Exif block, or why the block cannot follow the turn.
struct TurnedExif {
  std::vector<uint8_t> payload;  // the edited payload; empty when refused
  std::string refused;           // empty unless refused
};

// The edits for a picture that was turned by `orientation` (2 to 8; anything else leaves the
// payload as it is): Orientation 1, and for the orientations that turn by a quarter (5 to 8)
// the width and height tags swapped (IFD0 ImageWidth/ImageLength, the Exif IFD's
// PixelXDimension/PixelYDimension), with IFD0's XResolution/YResolution. Entries are edited in
// place, so the block keeps its size and layout.
// With `turnThumbnail`, a JPEG thumbnail (IFD1 JPEGInterchangeFormat/Length) is replaced by its
// turned form, and IFD1's Orientation and dimensions follow; refused when it cannot turn, or
// the block would outgrow an APP1 segment. Without it the thumbnail and IFD1 stay as they are:
// for a block that is reduced or deleted afterwards, which drops them.
// Refused when the payload is no readable Exif block. Logs at level 3 what it changed.
TurnedExif ExifForTurnedPicture(LogSink& log, std::span<const uint8_t> payload, int orientation,
                                const ThumbnailTurner& turnThumbnail);

}  // namespace keelpack
