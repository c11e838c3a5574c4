#pragma once

#include <cstdint>
#include <span>

namespace keelpack {

// True when both JPEG files hold the same picture: the same frame and quantization tables and
// the same DCT coefficients (ITU T.81), however the picture data is coded (baseline or
// progressive, with the file's Huffman tables or optimised ones) and whatever other segments
// either carries. Pictures that the decoder finds fault with, or whose coefficients would not
// fit in a job's memory, are not the same.
bool SamePicture(std::span<const uint8_t> a, std::span<const uint8_t> b);

}  // namespace keelpack
