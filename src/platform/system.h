#pragma once

#include <string>

namespace keelpack::platform {

class File;

// The process id in decimal.
std::string ProcessId();

// True when libjpeg-turbo decodes the whole file without an error or a warning. A picture that
// cannot be decoded within a job's memory (a progressive one of a huge frame) is refused
// without decoding.
bool LoadsAsPicture(const File& file);

}  // namespace keelpack::platform
