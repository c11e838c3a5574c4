#pragma once

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "platform/result.h"

// Exif reduction: rewrites the Exif block of an APP1 segment so that it keeps only the tags
// a photographer cares about, with fresh offsets, in the input's byte order.
namespace keelpack {

class LogSink;

// What a reduction that did not fail came to. kNotSmaller: the reduced block would come out
// larger than the block it replaces (a block that shares one value between entries, say).
// The caller keeps the block as it was, or drops it when it has no useful tag, for anything
// but kReduced; `usefulTags` is counted.
enum class ExifReduced { kReduced, kNotExifBlock, kNotSmaller };

// Reduces one APP1 payload beginning "Exif" held in memory. kReduced: `reduced` holds the new
// payload, never larger than `payload`. A failure is a content failure: the block holds more
// than a reduction takes.
// `usefulTags` is set to 0 at the start and counts the useful tags seen. `nameForLog` is the
// name that the failure line names: the photo the block comes from.
// Unless reduced, `reduced` holds no usable block: the header bytes written before the
// reduction stopped (nothing when the payload does not even start with the "Exif" prefix), or
// the block that came out too large.
Result<ExifReduced> ReduceExifBlock(LogSink& log, bool keepDpi, std::span<const uint8_t> payload,
                                    std::vector<uint8_t>& reduced, int& usefulTags,
                                    std::string_view nameForLog);

}  // namespace keelpack
