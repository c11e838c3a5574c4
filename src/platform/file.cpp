#include "platform/file.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <mutex>
#include <set>
#include <utility>

namespace keelpack::platform {
namespace {

// The files this process holds locked. A lock is held by an open file, not by a process: a
// second open of a locked file (a hard link, met under its other name) is refused as if
// another process held it, and only this list tells the two apart.
std::mutex heldMutex;
std::set<std::pair<dev_t, ino_t>> held;

keelpack::Status OpenWith(int& fd, std::optional<FileId>& id, const std::string& path, int flags,
                          mode_t mode = 0) {
  if (fd >= 0) ::close(fd);
  id.reset();
  do {
    fd = ::open(path.c_str(), flags | O_CLOEXEC, mode);
  } while (fd < 0 && errno == EINTR);
  return fd >= 0 ? keelpack::Status() : Failure::LastSystemError();
}

}  // namespace

File::~File() { Release(); }

void File::Release() {
  if (fd_ < 0) return;
  if (locked_) {
    const FileId id = Id();
    const std::lock_guard lock(heldMutex);
    held.erase({id.device, id.inode});
  }
  ::close(fd_);
  fd_ = -1;
  id_.reset();
  locked_ = false;
}

File& File::operator=(File&& other) noexcept {
  if (this != &other) {
    Release();
    fd_ = std::exchange(other.fd_, -1);
    id_ = std::exchange(other.id_, std::nullopt);
    locked_ = std::exchange(other.locked_, false);
  }
  return *this;
}

keelpack::Status File::OpenForReading(const std::string& path) {
  Release();
  return OpenWith(fd_, id_, path, O_RDONLY);
}
keelpack::Status File::Create(const std::string& path, mode_t mode) {
  Release();
  return OpenWith(fd_, id_, path, O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW, mode);
}
keelpack::Status File::OpenForAppending(const std::string& path, bool empty) {
  Release();
  return OpenWith(fd_, id_, path, O_WRONLY | O_CREAT | O_NOFOLLOW | (empty ? O_TRUNC : O_APPEND),
                  0600);
}
keelpack::Status File::OpenFolder(const std::string& path) {
  Release();
  return OpenWith(fd_, id_, path, O_RDONLY | O_DIRECTORY);
}

Result<int64_t> File::Size() const {
  struct stat info {};
  if (::fstat(fd_, &info) != 0) return Failure::LastSystemError();
  return int64_t{info.st_size};
}

Result<File::Status> File::GetStatus() const {
  struct stat info {};
  if (::fstat(fd_, &info) != 0) return Failure::LastSystemError();
  Status status;
  status.size = info.st_size;
  status.lastWrite = {info.st_mtim.tv_sec, info.st_mtim.tv_nsec};
  status.changed = {info.st_ctim.tv_sec, info.st_ctim.tv_nsec};
  status.attributes = {static_cast<unsigned>(info.st_mode & 07777), info.st_uid, info.st_gid};
  status.markedWritable = (info.st_mode & S_IWUSR) != 0;
  return status;
}

keelpack::Status File::Read(uint8_t* buffer, size_t size, size_t& got) {
  got = 0;
  while (got < size) {
    ssize_t n = ::read(fd_, buffer + got, size - got);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return Failure::LastSystemError();
    if (n == 0) break;
    got += static_cast<size_t>(n);
  }
  return {};
}

keelpack::Status File::ReadAll(std::vector<uint8_t>& data) {
  const Result<int64_t> size = Size();
  if (!size) return size.error();
  data.resize(static_cast<size_t>(*size));
  size_t filled = 0;
  while (filled < data.size()) {
    ssize_t got = ::read(fd_, data.data() + filled, data.size() - filled);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return Failure::LastSystemError();
    if (got == 0) break;  // the file shrank since we asked its size
    filled += static_cast<size_t>(got);
  }
  data.resize(filled);
  return {};
}

keelpack::Status File::Write(std::span<const uint8_t> data) {
  const uint8_t* next = data.data();
  size_t left = data.size();
  while (left > 0) {
    ssize_t written = ::write(fd_, next, left);
    if (written < 0 && errno == EINTR) continue;
    if (written < 0) return Failure::LastSystemError();
    next += written;
    left -= static_cast<size_t>(written);
  }
  return {};
}

keelpack::Status File::WriteGathered(std::span<const std::span<const uint8_t>> pieces) {
  std::vector<iovec> vectors;
  vectors.reserve(pieces.size());
  for (auto piece : pieces) {
    if (!piece.empty()) vectors.push_back({const_cast<uint8_t*>(piece.data()), piece.size()});
  }
  size_t next = 0;
  while (next < vectors.size()) {
    const int count = static_cast<int>(std::min<size_t>(vectors.size() - next, IOV_MAX));
    ssize_t written = ::writev(fd_, vectors.data() + next, count);
    if (written < 0 && errno == EINTR) continue;
    if (written < 0) return Failure::LastSystemError();
    if (written == 0) return Failure::System(EIO);
    // Step over what went out; a short write leaves the rest of a piece for the next call.
    size_t left = static_cast<size_t>(written);
    while (left > 0 && left >= vectors[next].iov_len) left -= vectors[next++].iov_len;
    if (left > 0) {
      vectors[next].iov_base = static_cast<uint8_t*>(vectors[next].iov_base) + left;
      vectors[next].iov_len -= left;
    }
  }
  return {};
}

keelpack::Status File::SetLastWriteTime(FileTime time) {
  const timespec times[2] = {{0, UTIME_OMIT}, {time.seconds, time.nanoseconds}};
  return ::futimens(fd_, times) == 0 ? keelpack::Status() : Failure::LastSystemError();
}

keelpack::Status File::SetAttributes(const FileAttributes& attributes) {
  struct stat info {};
  if (::fstat(fd_, &info) != 0) return Failure::LastSystemError();
  if (info.st_uid != attributes.owner || info.st_gid != attributes.group) {
    // Only the superuser may give a file away; anyone may keep it as it is.
    (void)::fchown(fd_, attributes.owner, attributes.group);
  }
  return ::fchmod(fd_, attributes.mode) == 0 ? keelpack::Status() : Failure::LastSystemError();
}

keelpack::Status File::Sync() {
  return ::fsync(fd_) == 0 ? keelpack::Status() : Failure::LastSystemError();
}

void File::StartWriteBack() { ::sync_file_range(fd_, 0, 0, SYNC_FILE_RANGE_WRITE); }

keelpack::Status File::SyncFileSystem() {
  return ::syncfs(fd_) == 0 ? keelpack::Status() : Failure::LastSystemError();
}

FileId File::Id() const {
  if (id_) return *id_;
  struct stat info {};
  if (::fstat(fd_, &info) != 0) return {};
  return {info.st_dev, info.st_ino};
}

keelpack::Status File::TryLock() {
  if (locked_) return {};
  while (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
    if (errno == EINTR) continue;
    const int error = errno;
    const FileId id = Id();
    const std::lock_guard lock(heldMutex);
    return Failure::System(error == EWOULDBLOCK && held.contains({id.device, id.inode}) ? EDEADLK
                                                                                        : error);
  }
  const FileId id = Id();
  const std::lock_guard lock(heldMutex);
  held.insert({id.device, id.inode});
  locked_ = true;
  return {};
}

keelpack::Status File::CopyContentFrom(const File& source) {
  const Result<int64_t> size = source.Size();
  if (!size) return size.error();
  return CopyRangeFrom(source, 0, *size);
}

keelpack::Status File::CopyRangeFrom(const File& source, int64_t offset, int64_t length) {
  off_t from = offset;
  const off_t end = offset + length;
  while (from < end) {
    // Inside the kernel, from one file's cache to the other's: no copy through our memory.
    const ssize_t copied =
        ::copy_file_range(source.fd_, &from, fd_, nullptr, static_cast<size_t>(end - from), 0);
    if (copied < 0 && errno == EINTR) continue;
    if (copied == 0) return Failure::System(EIO);  // cut short since its size was taken
    if (copied > 0) continue;
    if (errno != EXDEV && errno != ENOSYS && errno != EOPNOTSUPP && errno != EINVAL)
      return Failure::LastSystemError();
    // Where the kernel cannot copy between these files, plain reads and writes do.
    std::vector<uint8_t> buffer(static_cast<size_t>(std::min<off_t>(end - from, off_t{1} << 20)));
    while (from < end) {
      const size_t want =
          static_cast<size_t>(std::min<off_t>(end - from, static_cast<off_t>(buffer.size())));
      if (keelpack::Status status = source.ReadAt(from, {buffer.data(), want}); !status)
        return status;
      if (keelpack::Status status = Write({buffer.data(), want}); !status) return status;
      from += static_cast<off_t>(want);
    }
  }
  return {};
}

keelpack::Status File::ReadAt(int64_t offset, std::span<uint8_t> into) const {
  for (size_t got = 0; got < into.size();) {
    const ssize_t n =
        ::pread(fd_, into.data() + got, into.size() - got, static_cast<off_t>(offset + got));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return Failure::LastSystemError();
    if (n == 0) return Failure::System(EIO);  // cut short since its size was taken
    got += static_cast<size_t>(n);
  }
  return {};
}

keelpack::Status File::CopyExtendedAttributesFrom(const File& source,
                                                  std::vector<std::string>& refused) {
  ssize_t length = ::flistxattr(source.fd_, nullptr, 0);
  if (length < 0) return errno == ENOTSUP ? keelpack::Status() : Failure::LastSystemError();
  if (length == 0) return {};  // the usual case: nothing to list, nothing to set
  std::vector<char> names(static_cast<size_t>(length));
  length = ::flistxattr(source.fd_, names.data(), names.size());
  if (length < 0) return Failure::LastSystemError();
  std::vector<char> value;
  for (size_t at = 0; at < static_cast<size_t>(length);) {
    const std::string name(names.data() + at);
    at += name.size() + 1;
    ssize_t size = ::fgetxattr(source.fd_, name.c_str(), nullptr, 0);
    if (size >= 0) {
      value.resize(static_cast<size_t>(size));
      size = ::fgetxattr(source.fd_, name.c_str(), value.data(), value.size());
    }
    if (size < 0 ||
        ::fsetxattr(fd_, name.c_str(), value.data(), static_cast<size_t>(size), 0) != 0) {
      refused.push_back(name);
    }
  }
  return {};
}

keelpack::Status File::Flush() {
  // A close of a second descriptor does what the last close would: a network file system
  // sends what is written and reports a failure, while this descriptor (and its lock) stays.
  const int second = ::fcntl(fd_, F_DUPFD_CLOEXEC, 0);
  if (second < 0) return Failure::LastSystemError();
  return ::close(second) == 0 ? keelpack::Status() : Failure::LastSystemError();
}

keelpack::Status File::Close() {
  if (fd_ < 0) return {};
  if (locked_) {
    const FileId id = Id();
    const std::lock_guard lock(heldMutex);
    held.erase({id.device, id.inode});
    locked_ = false;
  }
  const keelpack::Status result =
      ::close(fd_) == 0 ? keelpack::Status() : Failure::LastSystemError();
  fd_ = -1;
  id_.reset();
  return result;
}

}  // namespace keelpack::platform
