#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <system_error>

namespace keelpack::platform {

// A file's last-write time to the nanosecond. Every value is a real time: 0 is the first
// second of 1970.
struct FileTime {
  int64_t seconds = 0;
  int64_t nanoseconds = 0;

  friend bool operator==(const FileTime&, const FileTime&) = default;
};

// The last-write time of `path`, or nothing when it cannot be read. Reports nothing.
std::optional<FileTime> SaveFileTime(const std::string& path);

}  // namespace keelpack::platform
