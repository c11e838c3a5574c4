#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "jpeg/choices.h"
#include "jpeg/markers.h"

namespace keelpack {

class LogSink;

// What a rewrite writes for an APP1 "Exif" segment.
struct ExifSegmentPlan {
  enum class Fate {
    kWrite,   // the segment stays, holding `payload` when there is one
    kRemove,  // the remove list drops it
    kDrop,    // the reduction found no useful tag in it, and said so
  };
  Fate fate = Fate::kWrite;
  // A reduced or a minimal block, in place of the block read; none: the block as read.
  std::optional<std::vector<uint8_t>> payload;
};

// The Exif choice as a rewrite applies it to each Exif segment of a file.
struct ExifRule {
  ExifChoice choice = ExifChoice::kDelete;
  bool keepDpi = false;
  MarkerSet remove;  // the segments the rewrite drops; the choice may keep an Exif one

  // The block stays as it is read: kept, or not in the remove list.
  bool KeptWhole() const;

  // Reducing a block keeps what a photographer cares about, and drops the segment when no such
  // tag is in it; a block that cannot be reduced to something smaller that still fits in a
  // segment stays as it was. Deleting one keeps what shows the picture upright and, with Keep
  // DPI, prints it at its size unless a JFIF segment that stays gives it a density of its own
  // (`jfifDensity`, said of the file's first JFIF segment). The lines go to `log`; a failed
  // reduction names the photo `nameForLog`.
  ExifSegmentPlan Plan(LogSink& log, std::span<const uint8_t> payload, bool jfifDensity,
                       std::string_view nameForLog) const;
};

}  // namespace keelpack
