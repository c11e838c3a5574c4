#pragma once

#include <cstdint>
#include <string>

namespace keelpack::platform {

// A file's last-write time to the nanosecond. All zero means "none recorded".
struct FileTime {
  int64_t seconds = 0;
  int64_t nanoseconds = 0;

  bool IsNone() const { return seconds == 0 && nanoseconds == 0; }
  friend bool operator==(const FileTime&, const FileTime&) = default;
};

// The last-write time of `path`, or none when it cannot be read. Reports nothing.
FileTime SaveFileTime(const std::string& path);

// Gives `path` the last-write time `saved`, leaving its access time alone. Does nothing when
// `saved` is none or the file cannot be changed; reports nothing.
void RestoreFileTime(const std::string& path, FileTime saved);

}  // namespace keelpack::platform
