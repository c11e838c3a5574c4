#pragma once

#include <string>

#include "platform/result.h"

// Path texts. Only "/" separates: on Linux "\" and ":" are ordinary characters of a name.
namespace keelpack {

constexpr bool IsSeparator(char c) { return c == '/'; }

// The path with "/" added unless it already ends in a separator; "" gives "/".
std::string AddTrailingSeparator(const std::string& path);

// Shrinks every run of separators after the first two characters to its first separator.
void CollapseSeparators(std::string& path);

// Removes one trailing "/".
void StripTrailingSeparator(std::string& path);

// Creates every missing folder of `path`, top down; a failure is that of the first step that
// failed. `path` is collapsed in place first.
Status CreateFolderPath(std::string& path);

}  // namespace keelpack
