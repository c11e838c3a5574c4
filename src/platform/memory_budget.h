#pragma once

#include <cstdint>

namespace keelpack::platform {

// A file job holds its file, plus at most 64 MB. What the picture work that needs a whole
// picture's DCT coefficients in memory (re-encoding, comparing two pictures, decoding a
// progressive picture for the readability check) may take of that, copies of the picture's
// bytes included; the rest (about 6 MB measured) is the program's own and the decoder's.
inline constexpr uint64_t kPictureWorkBudget = uint64_t{56} << 20;

// The coefficients of one 8x8 block, as the decoder holds them: 64 values of 16 bits.
inline constexpr uint64_t kBytesPerBlock = 128;

}  // namespace keelpack::platform
