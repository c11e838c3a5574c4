#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "exif/exif_reader.h"

// The writing half of the Exif reduction: a fresh IFD0, an Exif IFD and a packed data area.
namespace keelpack {

class LogSink;

// One entry the reduction keeps: its 12 raw bytes and, when its value does not fit in the
// entry, the value bytes (a view into the input block, which outlives the reduction).
struct KeptEntry {
  IfdEntry entry;
  std::span<const uint8_t> data;
};

// Appends the reduced block behind the header bytes already in `output`:
//   IFD0: rows 0 ... ifd0Rows-1, then an Exif IFD pointer entry, then a zero link (no
//         thumbnail directory);
//   Exif IFD at E = 12 * (ifd0Rows + 1) + 14: the other rows, then a zero link;
//   data area at D: the out-of-line values in row order, end to end.
// When no row is left for the Exif IFD, neither it nor its pointer is written: an empty
// directory would only make the block larger than a source that had none. Every row with data
// gets its new offset in its value-or-offset field. Fails (a content failure), adding nothing,
// when the block would be too large for 32-bit offsets.
Status WriteReducedBlock(std::vector<KeptEntry>& rows, size_t ifd0Rows, ByteOrder byteOrder,
                         std::vector<uint8_t>& output);

// One log line per kept row, with the offsets as written.
void LogKeptEntries(LogSink& log, const std::vector<KeptEntry>& rows, ByteOrder byteOrder);

}  // namespace keelpack
