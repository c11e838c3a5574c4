#include "platform/file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace keelpack::platform {
namespace {

int OpenWith(int& fd, const std::string& path, int flags, mode_t mode = 0) {
  if (fd >= 0) ::close(fd);
  do {
    fd = ::open(path.c_str(), flags | O_CLOEXEC, mode);
  } while (fd < 0 && errno == EINTR);
  return fd >= 0 ? 0 : errno;
}

}  // namespace

File::~File() {
  if (fd_ >= 0) ::close(fd_);
}

File& File::operator=(File&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = other.fd_;
    other.fd_ = -1;
  }
  return *this;
}

int File::OpenForReading(const std::string& path) { return OpenWith(fd_, path, O_RDONLY); }
int File::OpenForUpdate(const std::string& path) { return OpenWith(fd_, path, O_RDWR); }
int File::Create(const std::string& path, mode_t mode) {
  return OpenWith(fd_, path, O_WRONLY | O_CREAT | O_TRUNC, mode);
}
int File::OpenFolder(const std::string& path) {
  return OpenWith(fd_, path, O_RDONLY | O_DIRECTORY);
}

int File::Size(int64_t& size) const {
  struct stat info {};
  if (::fstat(fd_, &info) != 0) return errno;
  size = info.st_size;
  return 0;
}

int File::ReadAll(std::vector<uint8_t>& data) {
  int64_t size = 0;
  if (int error = Size(size)) return error;
  data.resize(static_cast<size_t>(size));
  size_t filled = 0;
  while (filled < data.size()) {
    ssize_t got = ::read(fd_, data.data() + filled, data.size() - filled);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return errno;
    if (got == 0) break;  // the file shrank since we asked its size
    filled += static_cast<size_t>(got);
  }
  data.resize(filled);
  return 0;
}

int File::Write(std::span<const uint8_t> data) {
  const uint8_t* next = data.data();
  size_t left = data.size();
  while (left > 0) {
    ssize_t written = ::write(fd_, next, left);
    if (written < 0 && errno == EINTR) continue;
    if (written < 0) return errno;
    next += written;
    left -= static_cast<size_t>(written);
  }
  return 0;
}

int File::WriteAt(int64_t offset, std::span<const uint8_t> data) {
  const uint8_t* next = data.data();
  size_t left = data.size();
  while (left > 0) {
    ssize_t written = ::pwrite(fd_, next, left, offset);
    if (written < 0 && errno == EINTR) continue;
    if (written < 0) return errno;
    next += written;
    offset += written;
    left -= static_cast<size_t>(written);
  }
  return 0;
}

int File::Sync() { return ::fsync(fd_) == 0 ? 0 : errno; }

bool File::IsSameFileAs(const std::string& path) const {
  struct stat mine {}, theirs {};
  return ::fstat(fd_, &mine) == 0 && ::stat(path.c_str(), &theirs) == 0 &&
         mine.st_dev == theirs.st_dev && mine.st_ino == theirs.st_ino;
}

int File::Close() {
  if (fd_ < 0) return 0;
  int result = ::close(fd_) == 0 ? 0 : errno;
  fd_ = -1;
  return result;
}

}  // namespace keelpack::platform
