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

}  // namespace keelpack::platform
