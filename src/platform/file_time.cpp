#include "platform/file_time.h"

#include <fcntl.h>
#include <sys/stat.h>

namespace keelpack::platform {

std::optional<FileTime> SaveFileTime(const std::string& path) {
  struct stat info {};
  if (stat(path.c_str(), &info) != 0) return std::nullopt;
  return FileTime{info.st_mtim.tv_sec, info.st_mtim.tv_nsec};
}

void RestoreFileTime(const std::string& path, FileTime saved) {
  const timespec times[2] = {{0, UTIME_OMIT}, {saved.seconds, saved.nanoseconds}};
  utimensat(AT_FDCWD, path.c_str(), times, 0);
}

}  // namespace keelpack::platform
