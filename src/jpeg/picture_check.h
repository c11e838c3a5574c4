#pragma once

#include <cstdint>
#include <span>

namespace keelpack {

namespace platform {
class File;
}

// True when libjpeg-turbo decodes the whole file without an error or a warning. A picture that
// cannot be decoded within a job's memory (a progressive one of a huge frame) is refused
// without decoding.
bool LoadsAsPicture(const platform::File& file);
// The same for a picture held in memory.
bool LoadsAsPicture(std::span<const uint8_t> bytes);

}  // namespace keelpack
