#include "platform/file_time.h"

#include <fcntl.h>
#include <sys/stat.h>

#include "platform/failure.h"

namespace keelpack::platform {

std::optional<FileTime> SaveFileTime(const std::string& path) {
  struct stat info {};
  if (stat(path.c_str(), &info) != 0) return std::nullopt;
  return FileTime{info.st_mtim.tv_sec, info.st_mtim.tv_nsec};
}

std::error_code RestoreFileTime(const std::string& path, FileTime saved) {
  const timespec times[2] = {{0, UTIME_OMIT}, {saved.seconds, saved.nanoseconds}};
  return utimensat(AT_FDCWD, path.c_str(), times, 0) == 0 ? std::error_code() : LastSystemError();
}

}  // namespace keelpack::platform
